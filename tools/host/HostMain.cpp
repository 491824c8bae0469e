// tavrin-host: the host side of Tavrin's editor link, for any editor.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "HostControl.h"
#include "HostEdit.h"
#include "HostServer.h"
#include "platform/HostChannel.h"

namespace {

constexpr const char* kUsage =
    "Usage: tavrin-host [--socket PATH] COMMAND [ARGUMENTS]\n"
    "\n"
    "The host side of Tavrin's editor link. Start `serve`, then start terminals with\n"
    "`tavrin -N` (or `tavrin --headless -N`); each is numbered 1, 2, ... as it attaches.\n"
    "\n"
    "Commands:\n"
    "  serve                 listen for terminals; print one line per event\n"
    "  type N TEXT           type TEXT into terminal N (\\r is Enter; also \\n \\t \\\\ \\xHH)\n"
    "  move N L T R B        move terminal N's window to the rectangle (left top right bottom)\n"
    "  close N               ask terminal N to close (its operator answers the question)\n"
    "  unlink N              unlink terminal N from the host for the rest of its run\n"
    "  program N NAME        name the program for terminal N's \"Save and Open in Editor\"\n"
    "  delete-after N FILE   terminal N deletes FILE once its next typed transfer is done\n"
    "  edit N PROGRAM        save PROGRAM from terminal N's controller, open it in $VISUAL or\n"
    "                        $EDITOR, and load it back when it was changed\n"
    "\n"
    "Every command but serve talks to the running serve; without one it fails with status 2.\n"
    "The socket is $TAVRIN_HOST_SOCKET, else $XDG_RUNTIME_DIR/tavrin/host.sock.\n"
    "\n"
    "Options:\n"
    "  --socket PATH         use PATH as the host socket\n"
    "  -h, --help            this text\n"
    "  --version             the version\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "tavrin-host: %s\n\n%s", problem, kUsage);
    return 64;
}

bool ParseNumber(const std::string& text, int& out) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < -2147483647L || value > 2147483647L) return false;
    out = static_cast<int>(value);
    return true;
}

int Report(int rc, const std::string& reply) {
    std::fprintf(rc == 0 ? stdout : stderr, rc == 0 ? "%s\n" : "tavrin-host: %s\n", reply.c_str());
    return rc;
}

std::string LittleEndianRect(const int (&v)[4]) {
    std::string bytes;
    for (int x : v)
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>((static_cast<uint32_t>(x) >> (8 * i)) & 0xFF);
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavrin;
    using namespace tavrin::host;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string socket = HostSocketPath();
    while (!args.empty() && args[0].rfind("-", 0) == 0) {
        if (args[0] == "-h" || args[0] == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (args[0] == "--version") {
            std::puts("tavrin-host 1.2.8");
            return 0;
        }
        if (args[0] == "--socket" && args.size() >= 2) {
            socket = args[1];
            args.erase(args.begin(), args.begin() + 2);
            continue;
        }
        return Usage(("unknown option " + args[0]).c_str());
    }
    if (args.empty()) return Usage("no command");
    if (socket.empty())
        return Usage("no socket: set TAVRIN_HOST_SOCKET or XDG_RUNTIME_DIR, or give --socket");

    const std::string command = args[0];
    if (command == "serve") {
        if (args.size() != 1) return Usage("serve takes no arguments");
        CHostServer server(socket);
        if (server.Start() != 0) return 1;
        return server.Run();
    }

    int terminal = 0;
    if (args.size() < 2 || !ParseNumber(args[1], terminal) || terminal <= 0)
        return Usage((command + " needs a terminal number").c_str());
    std::string reply;
    if (command == "type" && args.size() == 3)
        return Report(Request(socket, kCtlType, terminal, Unescape(args[2]), reply), reply);
    if (command == "program" && args.size() == 3)
        return Report(Request(socket, kCtlProgram, terminal, args[2], reply), reply);
    if (command == "delete-after" && args.size() == 3)
        return Report(Request(socket, kCtlDeleteAfter, terminal, args[2], reply), reply);
    if (command == "close" && args.size() == 2)
        return Report(Request(socket, kCtlClose, terminal, "", reply), reply);
    if (command == "unlink" && args.size() == 2)
        return Report(Request(socket, kCtlUnlink, terminal, "", reply), reply);
    if (command == "move" && args.size() == 6) {
        int rect[4];
        for (int i = 0; i < 4; ++i)
            if (!ParseNumber(args[2 + i], rect[i])) return Usage("move needs four numbers");
        return Report(Request(socket, kCtlMove, terminal, LittleEndianRect(rect), reply), reply);
    }
    if (command == "edit" && args.size() == 3) return EditOnController(socket, terminal, args[2]);
    return Usage(("wrong arguments for " + command).c_str());
}
