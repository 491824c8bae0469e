// The serial line as the view watches it: readiness of the open device, its loss when it is
// unplugged, and udev's reports of devices coming and going.
#include <vector>

#include "platform/SerialPortEnumerator.h"
#include "session/PelinView.h"
#include "session/PelinViewParts.h"

namespace tavrin {

size_t CPelinView::SerialPoll() {
    if (doc_.connected != 1 || !parts_->serial.IsOpen()) return 0;
    const size_t got = parts_->serial.DrainComPort(
        [this](const uint8_t* chunk, int length) { OnReceived(chunk, static_cast<size_t>(length)); });
    if (got > 0) NoteReception();
    return got;
}

void CPelinView::OnSerialReadable() {
    if (doc_.connected != 1 || doc_.isTcp != 0) return;
    // Readable with nothing to read: the device may have gone (the link then goes down), or the
    // line hung up for a moment: stop watching; the poll timer goes on and watches again on its
    // next tick. Nothing to read on a live line only means the poll tick took the bytes first;
    // the watch stays, so the next ENQ is answered at once.
    if (SerialPoll() == 0 && !CheckSerialLine() && parts_->serial.LineHungUp()) UnwatchSerial();
    ScheduleIdle();
}

void CPelinView::OnSerialPortEvents() {
    if (parts_->destroyed || !parts_->serialPortEvents) return;
    const std::vector<SerialPortEvent> events = parts_->serialPortEvents->TakeEvents();
    if (events.empty() || !parts_->connection.OnSerialPortEvents(events)) return;
    RefreshSerialWatch();
    UpdateTitle();
    shell_.MenusChanged();
    ScheduleIdle();
}

bool CPelinView::CheckSerialLine() {
    if (doc_.connected != 1 || doc_.isTcp != 0 || !parts_->serial.IsOpen()) return false;
    const int error = parts_->serial.LineError();
    if (error == 0) return false;
    // No more readiness from a dead descriptor: it would report the hang-up forever.
    UnwatchSerial();
    parts_->connection.OnSerialLineLost(error);
    UpdateTitle();
    shell_.MenusChanged();
    return true;
}

void CPelinView::RefreshSerialWatch() {
    const int fd =
        (doc_.isTcp == 0 && doc_.connected && parts_->serial.IsOpen()) ? parts_->serial.Descriptor() : -1;
    if (fd == parts_->watchedSerialFd) return;
    UnwatchSerial();
    if (fd >= 0) {
        parts_->watchedSerialFd = fd;
        shell_.WatchDescriptor(fd, [this] { OnSerialReadable(); });
    }
}

void CPelinView::UnwatchSerial() {
    if (parts_->watchedSerialFd >= 0) {
        shell_.UnwatchDescriptor(parts_->watchedSerialFd);
        parts_->watchedSerialFd = -1;
    }
}

}  // namespace tavrin
