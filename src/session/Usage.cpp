#include "session/Usage.h"

#include "TavrinGitDescription.h"

namespace tavrin {

std::string VersionText(const std::string& exeName) {
    return exeName + " " + kVersionNumber + " (" + TAVRIN_GIT_DESCRIPTION + ")\n";
}

std::string UsageText(const std::string& exeName, const std::string& settingsFile,
                      const std::string& guideFile, const std::string& japaneseGuideFile) {
    return "Usage: " + exeName +
           " [OPTION]...\n"
           "An operator's terminal for robot controllers on a serial line or telnet.\n"
           "\n"
           "Options of this program:\n"
           "  --headless        run in this terminal: controller output on stdout, keys to the\n"
           "                    controller, messages on stderr (Ctrl+] quits); also used when\n"
           "                    there is no display\n"
           "  --demo            start the built-in demo controller (tavrin-sim) and connect to it\n"
           "  --run FILE        run macro FILE after the controller's first prompt; with\n"
           "                    --headless, exit when it ends (see the exit status below)\n"
           "  --report FILE     append a JSON line to FILE for every file transfer and one when\n"
           "                    the program ends (with its exit status)\n"
           "  --list-ports      print the serial ports present and their COM names, then exit\n"
           "  -h, --help        print this help and exit\n"
           "  --version         print the version and exit\n"
           "\n"
           "The controller terminal's own options:\n"
           "  -C=CONNECTION     connect at start, e.g. -C=COM1:9600:8:1:none or\n"
           "                    -C=192.168.0.2:23:Robot1 (a network serial port:\n"
           "                    -C=rfc2217://10.0.4.17:4001:115200:8:1:none)\n"
           "  -FFILE, -F FILE   use FILE as the settings file (e.g. -F /home/op/line2.ini)\n"
           "  -N                link to a host editor (tavrin-host)\n"
           "  -DFFILE, -DF FILE use FILE as the command button panel file (default MacroDlg.INI)\n"
           "  MACRO.uas         a macro file named on its own runs as with --run\n"
           "Options come in any order; given twice, the last one counts. A value is its whole\n"
           "argument, blanks and commas included. An unknown option, a missing value or any\n"
           "other argument is refused with one line on stderr and exit status 2.\n"
           "\n"
           "Settings live in " +
           exeName +
           ".ini in the working folder when that file exists there,\n"
           "else in $XDG_CONFIG_HOME/tavrin/ (~/.config/tavrin/), unless -F names a file.\n"
           "Started here, the settings file is:\n"
           "  " +
           settingsFile +
           "\n"
           "\n"
           "User guide: " +
           guideFile + "\n" + "  (in Japanese: " + japaneseGuideFile +
           ")\n"
           "\n"
           "Exit status:\n"
           "  0  success (with --run: the macro ended by itself)\n"
           "  1  with --headless, the start-up connection could not be made (when stdin is\n"
           "     not a terminal, or with --run); or the program could not start (its\n"
           "     settings file, the --report file or the demo controller)\n"
           "  2  a command line that cannot be used, or a --run macro that was stopped\n";
}

}  // namespace tavrin
