#pragma once
#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "platform/HostRecord.h"

namespace tavrin::host {

// `tavrin-host serve`: the host side of the editor link. Terminals started with "-N" connect to
// the host socket; each is numbered 1, 2, ... as it attaches, and every event is printed as one
// line on stdout. The other commands of tavrin-host reach the terminals through the control
// socket beside it.
class CHostServer {
public:
    explicit CHostServer(std::string socketPath);
    ~CHostServer();
    CHostServer(const CHostServer&) = delete;
    CHostServer& operator=(const CHostServer&) = delete;

    // Listens on both sockets. 0, or -1 with why on stderr.
    int Start();
    // Serves until SIGINT, SIGTERM or SIGHUP; the socket files are removed on the way out.
    int Run();

private:
    struct Terminal {
        int fd = -1;
        int number = 0;  // 0 until the terminal has attached
        int64_t id = 0;  // the terminal's own id from its messages
        int busy = -1;   // last reported: 1 busy, 0 at the prompt, -1 not known
        CHostRecordDecoder decoder;
    };
    struct Control {
        int fd = -1;
        CHostRecordDecoder decoder;
        // A run request waits for its terminal to go busy and come back to the prompt.
        int waitTerminal = 0;
        bool sawBusy = false;
        std::chrono::steady_clock::time_point deadline;
    };

    void AcceptTerminal();
    void AcceptControl();
    // false when the terminal has gone.
    bool ReadTerminal(Terminal& t);
    void HandleTerminal(Terminal& t, const HostRecord& r);
    // false when the control connection is finished.
    bool ReadControl(Control& c);
    bool HandleControl(Control& c, const HostRecord& r);
    void Reply(Control& c, uint32_t status, const std::string& text);
    void FinishWaits(int terminalNumber, int busy);
    void FailWaits(int terminalNumber, const std::string& why);
    void ExpireWaits();
    Terminal* ByNumber(int number);
    int SendTo(Terminal& t, uint32_t message, int64_t wParam, int64_t lParam, const std::string& data = {});
    void Print(const std::string& line);
    void Gone(Terminal& t);

    std::string socketPath_;
    std::string controlPath_;
    int listenFd_ = -1;
    int controlFd_ = -1;
    int nextNumber_ = 1;
    std::map<int, std::unique_ptr<Terminal>> terminals_;  // by descriptor
    std::map<int, std::unique_ptr<Control>> controls_;    // by descriptor
};

}  // namespace tavrin::host
