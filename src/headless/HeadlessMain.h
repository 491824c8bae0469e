#pragma once
#include <string>

#include "session/LaunchOptions.h"

namespace tavrin {

// The console front end: screen rows on stdout, keys from stdin, message boxes on stderr.
int RunHeadless(int argc, char** argv, const LaunchOptions& options, const std::string& commandLine);

}  // namespace tavrin
