#include "HostEdit.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "HostControl.h"

namespace tavrin::host {

namespace {

// How long a save or a load may take before the controller is given up on.
constexpr int64_t kTransferLimitMs = 120000;

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Types a command line and waits until the controller is back at its prompt. Enter follows the
// line at once: the terminal holds it until the controller's echo of the line is on the screen.
int RunCommand(const std::string& socket, int terminal, const std::string& line, std::string& why) {
    if (Request(socket, kCtlType, terminal, line, why) != 0) return -1;
    return Request(socket, kCtlRun, terminal, "\r", why, kTransferLimitMs) == 0 ? 0 : -1;
}

// Saves the program into folder/program; its bytes, or nothing with why.
std::optional<std::string> SaveProgram(const std::string& socket, int terminal, const std::string& program,
                                       const std::string& folder, std::string& why) {
    const std::string path = folder + "/" + program;
    if (RunCommand(socket, terminal, "save " + path, why) != 0) return std::nullopt;
    auto bytes = ReadFile(path);
    if (!bytes) why = "the controller saved no file (is there a program " + program + "?)";
    return bytes;
}

int RunEditor(const std::string& path, std::string& why) {
    const char* editor = std::getenv("VISUAL");
    if (!editor || !*editor) editor = std::getenv("EDITOR");
    if (!editor || !*editor) {
        why = "neither VISUAL nor EDITOR is set";
        return -1;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        why = "cannot start the editor";
        return -1;
    }
    if (child == 0) {
        // The editor command may carry its own arguments ("code --wait").
        ::execl("/bin/sh", "sh", "-c", (std::string(editor) + " \"$1\"").c_str(), "sh", path.c_str(),
                nullptr);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        why = std::string("the editor (") + editor + ") failed";
        return -1;
    }
    return 0;
}

int Fail(const std::string& why, const std::string& folder) {
    std::printf("edit failed: %s; the controller's program is untouched\n", why.c_str());
    if (!folder.empty()) std::printf("files kept in %s\n", folder.c_str());
    return 1;
}

void RemoveFolder(const std::string& folder, const std::string& program) {
    ::unlink((folder + "/" + program).c_str());
    ::unlink((folder + "/check/" + program).c_str());
    ::rmdir((folder + "/check").c_str());
    ::rmdir(folder.c_str());
}

}  // namespace

int EditOnController(const std::string& socket, int terminal, const std::string& program) {
    if (program.empty() || program.find('/') != std::string::npos || program == "." || program == "..") {
        std::printf("edit failed: %s is not a program name\n", program.c_str());
        return 1;
    }
    std::string why;
    if (Request(socket, kCtlState, terminal, "", why) != 0) return Fail(why, "");
    if (why == "busy") return Fail("the controller is busy", "");

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavrin-edit-XXXXXX";
    if (!::mkdtemp(pattern.data())) return Fail("cannot make a temporary folder", "");
    const std::string folder = pattern;
    const std::string path = folder + "/" + program;

    auto original = SaveProgram(socket, terminal, program, folder, why);
    if (!original) return Fail(why, folder);
    std::printf("saved %s from terminal %d to %s (%zu bytes)\n", program.c_str(), terminal, path.c_str(),
                original->size());
    std::fflush(stdout);

    if (RunEditor(path, why) != 0) return Fail(why, folder);
    const auto edited = ReadFile(path);
    if (!edited) return Fail("the edited file is gone", folder);
    if (*edited == *original) {
        std::printf("%s unchanged; nothing loaded\n", program.c_str());
        RemoveFolder(folder, program);
        return 0;
    }

    // The terminal deletes the file once the typed load has transferred it.
    if (Request(socket, kCtlDeleteAfter, terminal, path, why) != 0) return Fail(why, folder);
    if (RunCommand(socket, terminal, "load " + path, why) != 0) return Fail(why, folder);

    // Saved once more, the controller's program must read as the edited file.
    ::mkdir((folder + "/check").c_str(), 0700);
    const auto check = SaveProgram(socket, terminal, program, folder + "/check", why);
    if (!check || *check != *edited) {
        std::ofstream keep(path, std::ios::binary);
        keep << *edited;
        std::printf("load of %s could not be confirmed: %s; the edited file is kept in %s\n", program.c_str(),
                    check ? "the controller holds other bytes" : why.c_str(), path.c_str());
        return 1;
    }
    std::printf("loaded %s into terminal %d (%zu bytes, checked)\n", program.c_str(), terminal,
                edited->size());
    RemoveFolder(folder, program);
    return 0;
}

}  // namespace tavrin::host
