// The view's inbound byte pipeline and the transfer around it: every chunk read from the serial
// port or the socket is handed on once, to the transfer session while it wants bytes, else to
// the receive interpreter (and from there the screen, the log and, at ENQ, the session), and to
// the macros' watch buffer.
#include "session/PelinView.h"
#include "session/PelinViewParts.h"
#include "transfer/TransferProgressText.h"

namespace tavrin {

void CPelinView::OnReceived(const uint8_t* data, size_t count) {
    Parts& p = *parts_;
    const bool tcp = doc_.isTcp != 0;
    size_t at = 0;
    while (at < count) {
        if (p.transfer.WantsBytes()) {
            const size_t taken = p.transfer.Feed(data + at, count - at);
            if (tcp) p.watch.CollectReceivedText(data + at, taken);
            at += taken;
            if (taken == 0) break;  // nothing the session could take: it would take nothing again
            continue;
        }
        int position = static_cast<int>(at);
        int length = static_cast<int>(count);
        p.interpreter.InterpretReceived(data, position, length);
        p.watch.CollectReceivedText(data + at, count - at);
        at = count;
    }
    if (!p.transfer.WantsBytes()) ScheduleIdle();
}

void CPelinView::ArmTransferTimer() {
    const int64_t deadline = parts_->transfer.NextDeadline();
    if (deadline == kNoDeadline) {
        shell_.StopTimer(kTransferTimerId);
        return;
    }
    const int64_t wait = deadline - clock_.NowMs();
    shell_.StartTimer(kTransferTimerId, static_cast<int>(std::clamp<int64_t>(wait, 1, kReceiveStepMs)));
}

void CPelinView::OnTransferTimer() {
    shell_.StopTimer(kTransferTimerId);
    parts_->transfer.OnTimer();
    ArmTransferTimer();
    // An exchange that ended here lets the keys waiting behind it go.
    ScheduleIdle();
}

void CPelinView::UpdateTransferProgress(bool busyChanged) {
    Parts& p = *parts_;
    if (!p.transfer.Busy()) {
        if (p.progressShown) {
            shell_.StopTimer(kProgressTimerId);
            shell_.HideTransferProgress();
            p.progressShown = false;
        }
        return;
    }
    if (busyChanged && !p.progressShown) {
        shell_.StartTimer(kProgressTimerId, kProgressPeriodMs);
        p.progressShown = true;
    }
    const TransferProgress progress = p.transfer.Progress();
    shell_.ShowTransferProgress(DescribeTransferProgress(progress), ProgressPercent(progress));
}

void CPelinView::CancelTransfer() {
    if (parts_->destroyed) return;
    parts_->transfer.Cancel();
    UpdateTransferProgress(true);
    ScheduleIdle();
}

bool CPelinView::TransferBusy() const {
    return parts_->transfer.Busy();
}

bool CPelinView::SaveCommitting() const {
    return parts_->transfer.Committing();
}

}  // namespace tavrin
