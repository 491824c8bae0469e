#pragma once
#include <string>

#include "session/LaunchOptions.h"
#include "session/RunReport.h"

namespace tavrin {

// The console front end: screen rows on stdout, keys from stdin, message boxes on stderr. Transfers go to
// report when it is not nullptr.
int RunHeadless(int argc, char** argv, const LaunchOptions& options, CRunReport* report);

}  // namespace tavrin
