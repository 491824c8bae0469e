#include "HostServer.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "HostControl.h"
#include "HostSocket.h"

namespace tavrin::host {

namespace {

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

// serve's own id in the messages it sends: its process id.
int64_t ServerId() {
    return static_cast<int64_t>(::getpid());
}

std::string Num(int n) {
    return std::to_string(n);
}

}  // namespace

CHostServer::CHostServer(std::string socketPath)
    : socketPath_(std::move(socketPath)), controlPath_(ControlSocketPath(socketPath_)) {}

CHostServer::~CHostServer() {
    for (auto& [fd, t] : terminals_) ::close(fd);
    for (auto& [fd, c] : controls_) ::close(fd);
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(socketPath_.c_str());
    }
    if (controlFd_ >= 0) {
        ::close(controlFd_);
        ::unlink(controlPath_.c_str());
    }
}

int CHostServer::Start() {
    std::string error = PrepareSocketFolder(socketPath_);
    if (error.empty()) listenFd_ = ListenAt(socketPath_, error);
    if (listenFd_ >= 0) controlFd_ = ListenAt(controlPath_, error);
    if (controlFd_ < 0) {
        std::fprintf(stderr, "tavrin-host: %s\n", error.c_str());
        return -1;
    }
    Print("listening on " + socketPath_);
    return 0;
}

void CHostServer::Print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int CHostServer::Run() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    while (!stopRequested) {
        std::vector<pollfd> fds{{listenFd_, POLLIN, 0}, {controlFd_, POLLIN, 0}};
        for (auto& [fd, t] : terminals_) fds.push_back({fd, POLLIN, 0});
        for (auto& [fd, c] : controls_) fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR) break;
        ExpireWaits();
        for (const pollfd& p : fds) {
            if (p.revents == 0) continue;
            if (p.fd == listenFd_) {
                AcceptTerminal();
            } else if (p.fd == controlFd_) {
                AcceptControl();
            } else if (auto t = terminals_.find(p.fd); t != terminals_.end()) {
                if (!ReadTerminal(*t->second)) {
                    Gone(*t->second);
                    ::close(p.fd);
                    terminals_.erase(t);
                }
            } else if (auto c = controls_.find(p.fd); c != controls_.end()) {
                if (!ReadControl(*c->second)) {
                    ::close(p.fd);
                    controls_.erase(c);
                }
            }
        }
    }
    Print("stopped");
    return 0;
}

void CHostServer::AcceptTerminal() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    if (!PeerIsSameUser(fd)) {
        ::close(fd);
        Print("refused a terminal of another user");
        return;
    }
    // A terminal that stops reading cannot hold the host for long.
    timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    auto t = std::make_unique<Terminal>();
    t->fd = fd;
    terminals_[fd] = std::move(t);
}

void CHostServer::AcceptControl() {
    const int fd = ::accept4(controlFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    if (!PeerIsSameUser(fd)) {
        // Said before closing, so the other user's command does not take it for a missing serve.
        // One short record into an empty socket: it never waits.
        ControlIo::SendAll(fd, EncodeHostRecord({kReplyRefused, 0, 0,
                                                 "refused: this tavrin-host serve belongs to another user"}));
        ::close(fd);
        return;
    }
    auto c = std::make_unique<Control>();
    c->fd = fd;
    controls_[fd] = std::move(c);
}

int CHostServer::SendTo(Terminal& t, uint32_t message, int64_t wParam, int64_t lParam,
                        const std::string& data) {
    return ControlIo::SendAll(t.fd, EncodeHostRecord({message, wParam, lParam, data}));
}

bool CHostServer::ReadTerminal(Terminal& t) {
    uint8_t buffer[4096];
    const ssize_t n = ::recv(t.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
    t.decoder.Feed(buffer, static_cast<size_t>(n));
    HostRecord r;
    while (t.decoder.Next(r)) HandleTerminal(t, r);
    return !t.decoder.Broken();
}

void CHostServer::HandleTerminal(Terminal& t, const HostRecord& r) {
    const std::string who = "terminal " + Num(t.number);
    switch (r.message) {
        case kHostMsgAttached:
            if (t.number != 0) break;
            t.number = nextNumber_++;
            t.id = r.wParam;
            Print("terminal " + Num(t.number) + " attached (id " + std::to_string(t.id) + ")");
            if (SendTo(t, kHostMsgNumber, t.number, 0) == 0) Print("terminal " + Num(t.number) + " numbered");
            break;
        case kHostMsgConnection: Print(who + (r.lParam ? " connected" : " disconnected")); break;
        case kHostMsgBusy:
            t.busy = r.lParam ? 1 : 0;
            Print(who + (t.busy ? " busy" : " idle"));
            FinishWaits(t.number, t.busy);
            break;
        case kHostMsgDetached:
            Print(who + " detached");
            t.number = -t.number;  // told already; the closing socket says no more
            break;
        case kHostMsgCopyData:
            if (r.lParam == kHostKindAddress) Print(who + " address " + r.data);
            if (r.lParam == kHostKindSaved) Print(who + " saved " + r.data);
            break;
        default: break;
    }
}

void CHostServer::Gone(Terminal& t) {
    if (t.number > 0) Print("terminal " + Num(t.number) + " detached");
    if (t.number > 0) FailWaits(t.number, "terminal " + Num(t.number) + " detached");
    if (t.number < 0) FailWaits(-t.number, "terminal " + Num(-t.number) + " detached");
}

CHostServer::Terminal* CHostServer::ByNumber(int number) {
    for (auto& [fd, t] : terminals_)
        if (number > 0 && t->number == number) return t.get();
    return nullptr;
}

bool CHostServer::ReadControl(Control& c) {
    uint8_t buffer[4096];
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
    c.decoder.Feed(buffer, static_cast<size_t>(n));
    HostRecord r;
    if (c.waitTerminal == 0 && c.decoder.Next(r)) return HandleControl(c, r);
    return !c.decoder.Broken();
}

void CHostServer::Reply(Control& c, uint32_t status, const std::string& text) {
    ControlIo::SendAll(c.fd, EncodeHostRecord({status, 0, 0, text}));
    // One request per connection: the client reads the answer and goes.
    ::shutdown(c.fd, SHUT_WR);
}

bool CHostServer::HandleControl(Control& c, const HostRecord& r) {
    const int number = static_cast<int>(r.wParam);
    Terminal* t = ByNumber(number);
    if (!t) {
        Reply(c, kReplyError, "no terminal " + Num(number) + " is attached");
        return true;
    }
    int rc = 0;
    std::string done;
    switch (r.message) {
        case kCtlType: rc = SendTo(*t, kHostMsgCopyData, ServerId(), 0, r.data), done = "typed"; break;
        case kCtlProgram:
            rc = SendTo(*t, kHostMsgCopyData, ServerId(), kHostKindProgramName, r.data), done = "program set";
            break;
        case kCtlDeleteAfter:
            rc = SendTo(*t, kHostMsgCopyData, ServerId(), kHostKindDeleteAfter, r.data), done = "delete set";
            break;
        case kCtlMove:
            rc = SendTo(*t, kHostMsgCopyData, ServerId(), kHostKindMove, r.data), done = "moved";
            break;
        case kCtlClose: rc = SendTo(*t, kHostMsgCloseRequest, ServerId(), 0), done = "close requested"; break;
        case kCtlUnlink: rc = SendTo(*t, kHostMsgNumber, 0, 0), done = "unlinked"; break;
        case kCtlState:
            Reply(c, kReplyOk, t->busy == 0 ? "idle" : t->busy == 1 ? "busy" : "unknown");
            return true;
        case kCtlRun:
            // Already busy (the echo of a line typed before): the next prompt ends the wait.
            c.waitTerminal = number;
            c.sawBusy = t->busy == 1;
            c.deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(r.lParam > 0 ? r.lParam : 60000);
            if (SendTo(*t, kHostMsgCopyData, ServerId(), 0, r.data) != 0) {
                c.waitTerminal = 0;
                Reply(c, kReplyError, "terminal " + Num(number) + " does not answer");
            }
            return true;
        default: Reply(c, kReplyError, "unknown request"); return true;
    }
    Reply(c, rc == 0 ? kReplyOk : kReplyError,
          rc == 0 ? done : "terminal " + Num(number) + " does not answer");
    return true;
}

void CHostServer::FinishWaits(int terminalNumber, int busy) {
    for (auto& [fd, c] : controls_) {
        if (c->waitTerminal != terminalNumber || terminalNumber == 0) continue;
        if (busy == 1) {
            c->sawBusy = true;
        } else if (c->sawBusy) {
            c->waitTerminal = 0;
            Reply(*c, kReplyOk, "back at the prompt");
        }
    }
}

void CHostServer::FailWaits(int terminalNumber, const std::string& why) {
    for (auto& [fd, c] : controls_) {
        if (c->waitTerminal != terminalNumber) continue;
        c->waitTerminal = 0;
        Reply(*c, kReplyError, why);
    }
}

void CHostServer::ExpireWaits() {
    const auto now = std::chrono::steady_clock::now();
    for (auto& [fd, c] : controls_) {
        if (c->waitTerminal == 0 || now < c->deadline) continue;
        c->waitTerminal = 0;
        Reply(*c, kReplyError, "the controller did not come back to its prompt in time");
    }
}

}  // namespace tavrin::host
