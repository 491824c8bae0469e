#pragma once
#include <termios.h>
#include <QObject>
#include <functional>

namespace tavrin {

// SIGTERM, SIGINT and SIGHUP end the run in order instead of killing it: the signal handler
// only writes a byte to a socket pair, whose reading end a QSocketNotifier watches, and
// onSignal(signal) runs on the event-loop thread at its next turn. Nothing in the program polls
// a flag for it. The handlers interrupt a blocking read (no SA_RESTART), so a prompt that waits
// for a line gives way.
//
// The orderly end has kOrderlyEndMs: should a handler hold the event loop longer, or a second
// signal come, the process ends at once with the status given to SetForcedExitStatus (the
// user's terminal restored first). SIGPIPE is ignored, so a peer that went away shows as a
// failed write. Call once per process.
void HandleTerminationSignals(QObject* context, std::function<void(int signal)> onSignal);

// The time the event loop has to finish the run after a termination signal.
inline constexpr int kOrderlyEndMs = 900;

// Called by an event loop that, after a termination signal, still turns but waits for work that
// must not be cut short (a save's last steps, which a slow disk may stretch past
// kOrderlyEndMs): the orderly end gets another kOrderlyEndMs from now. A loop that stops
// turning is still ended by the deadline, and a second signal still ends the process at once.
// Does nothing before a signal.
void ExtendOrderlyEnd();

// The exit status of an end forced after a termination signal (128 + the signal until set).
void SetForcedExitStatus(int status);

// The terminal mode to put back on fd should the end be forced (a console in raw keys mode);
// nullptr forgets it. The mode is copied.
void RestoreTerminalOnForcedExit(int fd, const termios* mode);

}  // namespace tavrin
