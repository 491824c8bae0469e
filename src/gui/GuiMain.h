#pragma once
#include <string>

#include "session/LaunchOptions.h"

namespace tavrin {

// The Qt window front end.
int RunGui(int argc, char** argv, const LaunchOptions& options, const std::string& commandLine);

}  // namespace tavrin
