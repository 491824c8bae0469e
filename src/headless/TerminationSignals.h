#pragma once
#include <QObject>
#include <functional>

namespace tavrin {

// SIGTERM, SIGINT and SIGHUP end the run in order instead of killing it: onSignal runs on the
// event-loop thread (the signal handler only writes a byte to a socket pair). SIGPIPE is
// ignored, so a peer that went away shows as a failed write. Call once per process.
void HandleTerminationSignals(QObject* context, std::function<void()> onSignal);

}  // namespace tavrin
