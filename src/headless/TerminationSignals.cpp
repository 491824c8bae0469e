#include "headless/TerminationSignals.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>

namespace tavrin {

namespace {

int signalPair[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char c = 1;
    ssize_t ignored = write(signalPair[1], &c, 1);
    (void)ignored;
}

}  // namespace

void HandleTerminationSignals(QObject* context, std::function<void()> onSignal) {
    std::signal(SIGPIPE, SIG_IGN);
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPair) != 0) return;
    auto* notifier = new QSocketNotifier(signalPair[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [cb = std::move(onSignal)] {
        char c;
        ssize_t ignored = read(signalPair[0], &c, 1);
        (void)ignored;
        cb();
    });
    std::signal(SIGTERM, OnTerminationSignal);
    std::signal(SIGINT, OnTerminationSignal);
    std::signal(SIGHUP, OnTerminationSignal);
}

}  // namespace tavrin
