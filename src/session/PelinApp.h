#pragma once
#include <string>

namespace tavrin {

class CPelinView;
struct CPelinDoc;

// The application object: the command line, the settings file path and the one view and
// document of the run.
class CPelinApp {
public:
    // rawCommandLine is the text after the program name (front-end options removed); exeName
    // the program file's name without folder and extension.
    CPelinApp(std::string rawCommandLine, std::string exeName);

    // Fixes profilePath just before the main frame is created: the "-F" value when given,
    // otherwise, the first time only, DefaultSettingsFile (the working folder's exeName + ".ini"
    // when it exists, else the user's configuration folder, which is created here).
    void FixProfilePath();
    // Replaces profilePath (Save setup / Restore setup, "-F" applied again at view creation).
    void ReplaceProfilePath(const std::string& path);

    std::string rawCommandLine;
    std::string profilePath;  // the settings file every read and write uses
    std::string exeName;
    // The "-F" settings file, made absolute in the working folder of the start; empty: none.
    std::string commandLineProfilePath;
    CPelinView* view = nullptr;
    CPelinDoc* document = nullptr;
};

}  // namespace tavrin
