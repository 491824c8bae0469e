#pragma once
#include <string>

#include "session/LaunchOptions.h"
#include "session/RunReport.h"

namespace tavrin {

// The Qt window front end. Transfers go to
// report when it is not nullptr.
int RunGui(int argc, char** argv, const LaunchOptions& options, CRunReport* report);

}  // namespace tavrin
