#pragma once
#include <string>

#include "transfer/TransferSession.h"

namespace tavrin {

inline constexpr int kTransferTimerId = 4;  // the transfer's next deadline
inline constexpr int kProgressTimerId = 5;  // the progress display while a transfer runs
inline constexpr int kProgressPeriodMs = 250;

// One line for the progress display, in the current language (UTF-8): direction, file, bytes
// so far (of the total on a load), rate and elapsed time.
std::string DescribeTransferProgress(const TransferProgress& progress);
// 0-100 on a load of known size, -1 when the total is not known (a save).
int ProgressPercent(const TransferProgress& progress);

}  // namespace tavrin
