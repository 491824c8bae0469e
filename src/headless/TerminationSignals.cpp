#include "headless/TerminationSignals.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace tavrin {

namespace {

int signalPair[2] = {-1, -1};
// Written on the event-loop thread, read in the handlers: plain values of lock-free types.
volatile sig_atomic_t forcedStatus = -1;
volatile sig_atomic_t signalsSeen = 0;
volatile sig_atomic_t firstSignal = SIGTERM;
volatile sig_atomic_t restoreFd = -1;
termios restoreMode{};

[[noreturn]] void ForceEnd(int signal) {
    if (restoreFd >= 0) ::tcsetattr(restoreFd, TCSANOW, &restoreMode);
    ::_exit(forcedStatus >= 0 ? forcedStatus : 128 + signal);
}

void OnDeadline(int) {
    ForceEnd(firstSignal);
}

// The event loop gets kOrderlyEndMs from now; then the alarm ends the process.
void ArmDeadline() {
    itimerval deadline{};
    deadline.it_value.tv_usec = kOrderlyEndMs * 1000;
    ::setitimer(ITIMER_REAL, &deadline, nullptr);
}

void OnTerminationSignal(int signal) {
    const int saved = errno;
    if (signalsSeen != 0) ForceEnd(signal);
    signalsSeen = 1;
    firstSignal = signal;
    ArmDeadline();
    const char c = static_cast<char>(signal);
    ssize_t ignored = ::write(signalPair[1], &c, 1);
    (void)ignored;
    errno = saved;
}

void Install(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking read returns EINTR
    ::sigaction(signal, &action, nullptr);
}

}  // namespace

void ExtendOrderlyEnd() {
    if (signalsSeen != 0) ArmDeadline();
}

void SetForcedExitStatus(int status) {
    forcedStatus = status;
}

void RestoreTerminalOnForcedExit(int fd, const termios* mode) {
    restoreFd = -1;
    if (mode == nullptr) return;
    restoreMode = *mode;
    restoreFd = fd;
}

void HandleTerminationSignals(QObject* context, std::function<void(int signal)> onSignal) {
    std::signal(SIGPIPE, SIG_IGN);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPair) != 0) return;
    auto* notifier = new QSocketNotifier(signalPair[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [cb = std::move(onSignal)] {
        char c = 0;
        if (::read(signalPair[0], &c, 1) != 1) return;
        cb(static_cast<unsigned char>(c));
    });
    Install(SIGALRM, OnDeadline);
    Install(SIGTERM, OnTerminationSignal);
    Install(SIGINT, OnTerminationSignal);
    Install(SIGHUP, OnTerminationSignal);
}

}  // namespace tavrin
