// The view's wiring: the hooks through which its subsystems reach one another and the view.
#include "app/Language.h"
#include "app/ScreenRows.h"
#include "app/Settings.h"
#include "automation/MacroExecution.h"
#include "session/PelinView.h"
#include "session/PelinViewParts.h"
#include "session/RunReport.h"

namespace tavrin {

void CPelinView::WireParts() {
    Parts& p = *parts_;

    InterpreterHooks& ih = p.interpreter.Hooks();
    ih.transferStarted = [this](const uint8_t* rest, size_t count) {
        return parts_->transfer.OnEnq(rest, count);
    };
    // Every completed row passes here: the front end may show it, the log records it.
    ih.logOpen = [] { return true; };
    ih.writeLogRow = [this](const uint8_t* row) {
        if (parts_->rowObserver) parts_->rowObserver(row);
        if (!parts_->log.IsLogOpen()) return true;
        return parts_->log.WriteLogLine({row, kColumns});
    };
    ih.clearMacroTransferFlag = [this] {
        parts_->macro.OnControllerPrompt();
        parts_->transfer.ControllerPrompted();
    };
    ih.postChars = [this](const std::string& chars) {
        for (char c : chars) shell_.Post([this, c] { OnChar(static_cast<uint8_t>(c)); });
    };
    ih.caretMoved = [this] { shell_.UpdateCaret(); };
    ih.reportHostBusy = [this](int busy) { parts_->host.ReportBusy(busy); };
    p.transfer.Files().notifyHostSaved = [this](const std::string& name) {
        parts_->host.NotifyHostSaved(name);
    };

    HostLinkHooks& hh = p.host.Hooks();
    // Text from the host takes the same way as the window's typed characters, paced by the link.
    hh.typeChar = [this](uint8_t c) { OnChar(c); };
    hh.readyToType = [this] { return !parts_->keyboard.KeysPending() && !parts_->link.Backlogged(); };
    hh.linkChanged = [this] {
        if (hostWindow == 0) shell_.SetTitle(TitleText());
        shell_.MenusChanged();
        UpdateTitle();
    };
    hh.confirmClose = [this] { return ConfirmClose(); };
    hh.closeWindow = [this] { shell_.CloseFrame(); };
    hh.moveWindow = [this](int x, int y, int w, int h) { shell_.MoveFrame(x, y, w, h); };
    hh.printLocal = [this](const std::string& cp932) { PrintLocal(cp932); };

    hh.askTransfer = [this](bool workingFolder) { parts_->transfer.Ask("", !workingFolder); };

    p.keyboard.Hooks().sendTransferCommand = [this](const std::string& line) {
        return parts_->transfer.SendCommand(line, false);
    };
    // Keys wait while the controller's answer to a command line is dropped and while an
    // exchange runs: on the serial line a typed byte would land inside the protocol.
    p.keyboard.Hooks().transferBusy = [this] { return parts_->transfer.WantsBytes(); };

    p.transfer.Files().printText = [this](const std::string& cp932) { PrintLocal(cp932); };
    TransferSessionHooks& th = p.transfer.Hooks();
    th.printText = [this](const std::string& cp932) { parts_->interpreter.InterpretText(cp932); };
    th.deadlineChanged = [this] { ArmTransferTimer(); };
    th.busyChanged = [this] { UpdateTransferProgress(true); };
    th.transferEnded = [this](const TransferOutcome& outcome) {
        if (parts_->report)
            parts_->report->Transfer(MakeTransferReportLine(outcome, doc_, WallClockMs(), CurrentFolder()));
    };

    p.watch.SetMacroRunning([this] { return parts_->macro.IsRunning(); });
    p.macro.UseWatchBuffer(p.watch);

    ConnectionHooks ch;
    ch.printLocalText = [this](const std::string& cp932) { PrintLocal(cp932); };
    ch.setLanguageAndMenus = [this] { SetLanguageAndMenus(CurrentLanguage()); };
    ch.repaintView = [this] {
        shell_.RequestRepaint();
        UpdateTitle();
    };
    ch.resetTransferState = [this] { parts_->transfer.ResetTcpState(); };
    ch.closeTransferFile = [this] { parts_->transfer.LinkLost(); };
    ch.onTcpChunk = [this](const uint8_t* data, size_t count) {
        OnReceived(data, count);
        NoteReception();
    };
    ch.panelSaveAndHide = [this] { parts_->panel.StopAndHide(); };
    ch.hostLinkState = [this](int up) { parts_->host.ReportConnection(up); };
    ch.hostConnectedAddress = [this](const std::string& ip) { parts_->host.ReportAddress(ip); };
    ch.connectFinished = [this](int) {
        if (parts_->startupConnectPending) StartupConnectEnded();
        ScheduleIdle();
    };
    ch.serialOpenSettled = [this](bool) {
        RefreshSerialWatch();
        UpdateTitle();
        shell_.MenusChanged();
        ScheduleIdle();
    };
    p.connection.SetHooks(std::move(ch));

    p.log.onStateChanged = [this] {
        UpdateTitle();
        shell_.MenusChanged();
    };
    // Not modal: the write failed inside the handling of received bytes.
    p.log.onWriteFailed = [this](const Status& failure) {
        shell_.ShowModelessMessage(LogStoppedText(failure));
    };
}

MacroHooks CPelinView::MakeMacroHooks() {
    MacroHooks mh;
    mh.sendTransferCommand = [this](const std::string& line) {
        return parts_->transfer.SendCommand(line, true);
    };
    // Macro texts go through the interpreter like received text, so they are logged.
    mh.printLocalText = [this](const std::string& cp932) { parts_->interpreter.InterpretText(cp932); };
    mh.reopenSerial = [this](int baud) {
        // A network serial port reopens in steps: the statement has done its part once they started.
        int rc = parts_->connection.ReopenSerialAt(baud);
        RefreshSerialWatch();
        return rc == CSerialChannel::kOpenPending ? 0 : rc;
    };
    mh.clearReceivedText = [this] { parts_->watch.Clear(); };
    mh.checkWaitPatterns = [this](const std::string& awaited, const std::string& error) {
        return parts_->watch.CheckWaitPatterns(awaited, error);
    };
    mh.onStopped = [this](int endStatus) {
        parts_->panel.OnMacroStopped(endStatus);
        ScheduleIdle();  // the panel's buttons come back
        UpdateTitle();
        if (parts_->batchStarted && parts_->batchFinished) parts_->batchFinished(BatchExitStatus(endStatus));
    };
    mh.onOperatorAnswered = [this] { ScheduleIdle(); };
    return mh;
}

}  // namespace tavrin
