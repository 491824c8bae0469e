#pragma once
#include <string>

namespace tavrin {

// The user guide's start page for a language (1 English, 0 Japanese): "<guide>/en/index.html"
// or "<guide>/ja/index.html", where <guide> is the installed guide beside the program
// (<program's folder>/../share/doc/tavrin/guide) or, for a program run from its build tree, the
// guide built there. When neither exists the installed path is given, so the browser says what
// is missing.
std::string GuideFile(int language);

// The guide folders looked at, in order, for a program at exePath.
std::string GuideFileFor(int language, const std::string& exePath, const std::string& buildGuideFolder);

// The running program's own path (from /proc/self/exe), or empty when it cannot be read.
std::string RunningProgramPath();

}  // namespace tavrin
