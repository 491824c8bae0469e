#pragma once
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace tavrin {

class CPelinView;
struct CPelinDoc;

// The application object: the command line, the settings file path and the one view and
// document of the run.
class CPelinApp {
public:
    // options: the command line as read at start; exeName the program file's name without
    // folder and extension.
    CPelinApp(CommandLineOptions options, std::string exeName);

    // Fixes profilePath just before the main frame is created: the "-F" value when given,
    // otherwise, the first time only, ChooseSettingsFile (the working folder's exeName + ".ini"
    // when it exists and may be trusted, else the user's configuration folder, which is created
    // here; a passed-over file adds a line to startupNotices). False when the file chosen cannot
    // be used at all (a FIFO, another user's file, ...): profileRefusal says why, and the
    // program must not start on it.
    bool FixProfilePath();
    // Replaces profilePath (Save setup / Restore setup, "-F" applied again at view creation).
    void ReplaceProfilePath(const std::string& path);

    CommandLineOptions options;
    std::string profilePath;  // the settings file every read and write uses
    std::string exeName;
    // The "-F" settings file, made absolute in the working folder of the start; empty: none.
    std::string commandLineProfilePath;
    // Lines for stderr at start-up (a settings file passed over), and why the settings file
    // cannot be used (empty: it can).
    std::vector<std::string> startupNotices;
    std::string profileRefusal;
    CPelinView* view = nullptr;
    CPelinDoc* document = nullptr;

private:
    bool profilePathFixed_ = false;  // the default settings file is chosen once per run
};

}  // namespace tavrin
