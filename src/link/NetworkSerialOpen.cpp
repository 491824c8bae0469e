// The open of a network serial port under connection control: it goes on at the port's
// readiness and within its time limit, and ends in a link that is up or a failure reported as a
// port that did not open.
#include <algorithm>

#include "app/Cp932.h"
#include "app/MessageTable.h"
#include "link/ConnectionControl.h"

namespace tavrin {

void CConnectionControl::WatchPendingOpen() {
    openPending_ = true;
    openWatch_.Watch(serial_.Descriptor(), serial_.OpenWaitsForWrite(), [this] { ContinueSerialOpen(); });
    if (serial_.Descriptor() < 0) return;
    // The time limit: one check when it has passed (a later step sets its own).
    const unsigned generation = ++openGeneration_;
    const int wait = std::max(serial_.OpenTimeLeftMs(), 0) + 1;
    shell_.PostAfter(wait, [this, alive = life_.Watch(), generation] {
        if (alive.expired()) return;
        if (openPending_ && generation == openGeneration_) ContinueSerialOpen();
    });
}

void CConnectionControl::CancelPendingOpen() {
    if (!openPending_) return;
    openWatch_.Unwatch();
    openPending_ = false;
    ++openGeneration_;
    serial_.CloseComPort();
}

void CConnectionControl::ContinueSerialOpen() {
    if (!openPending_) return;
    const int deadlineBefore = serial_.OpenTimeLeftMs();
    const int rc = serial_.ContinueOpen();
    if (rc == CSerialChannel::kOpenPending) {
        // A new step (the connect done, the negotiation begun) waits for other readiness and has
        // a time limit of its own.
        if (!openWatch_.Is(serial_.Descriptor(), serial_.OpenWaitsForWrite()) ||
            serial_.OpenTimeLeftMs() > deadlineBefore)
            WatchPendingOpen();
        return;
    }
    openWatch_.Unwatch();
    openPending_ = false;
    ++openGeneration_;
    if (openIsReopen_) {
        // A server that does not answer yet is asked again at the next check.
        if (rc == 0) SerialReopened();
        if (hooks_.serialOpenSettled) hooks_.serialOpenSettled(rc == 0 && doc_.connected != 0);
        return;
    }
    if (rc == 0) {
        SerialLinkUp();
    } else {
        ReportSerialOpenFailure();
    }
    CommonEnding();
    if (hooks_.serialOpenSettled) hooks_.serialOpenSettled(doc_.connected != 0);
    if (rc != 0) Box(-10);
    if (connecting_) FinishConnecting();
}

int CConnectionControl::ReopenSerialAt(int baud) {
    CancelPendingOpen();
    serial_.CloseComPort();
    const int rc = serial_.OpenComPort(doc_.comPort, baud, 2, doc_.dataBits, doc_.stopBits, doc_.parity);
    if (rc == CSerialChannel::kOpenPending) {
        doc_.connected = 0;
        openIsReopen_ = false;
        WatchPendingOpen();
    }
    return rc;
}

}  // namespace tavrin
