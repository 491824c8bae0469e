#include "link/ConnectionControl.h"

#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>

#include "app/Cp932.h"
#include "app/Language.h"
#include "app/MessageTable.h"
#include "app/StatusText.h"
#include "link/ConnectionListStore.h"
#include "link/LinkChannel.h"
#include "link/SerialPortList.h"
#include "platform/NetworkSerialAddress.h"

namespace tavrin {

namespace {

// Sizes of the document's connection fields, as the settings and the title expect them.
constexpr size_t kComPortChars = 7;
constexpr size_t kBaudRateChars = 7;
constexpr size_t kIpAddressChars = 15;
constexpr size_t kTelnetPortChars = 7;
constexpr int kMaxTcpPort = 65535;

// Marks a connect as running for as long as it lives.
class ConnectingScope {
public:
    explicit ConnectingScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~ConnectingScope() { flag_ = false; }
    ConnectingScope(const ConnectingScope&) = delete;
    ConnectingScope& operator=(const ConnectingScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

std::vector<std::string> SplitFields(const std::string& text, const std::string& separators) {
    std::vector<std::string> fields;
    auto isSeparator = [&](char c) { return separators.find(c) != std::string::npos; };
    size_t i = 0;
    if (!text.empty() && isSeparator(text[0])) fields.emplace_back();
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i])) ++i;
        if (i >= text.size()) break;
        size_t start = i;
        while (i < text.size() && !isSeparator(text[i])) ++i;
        fields.push_back(text.substr(start, i - start));
    }
    return fields;
}

void MarkItemUsed(std::vector<ConnectionEntry>& connections, const std::string& item) {
    const size_t n = std::min(connections.size(), static_cast<size_t>(kRecencyEntries));
    for (size_t i = 0; i < n; ++i) {
        ConnectionEntry& e = connections[i];
        if (e.Item == item) {
            e.Order = 0;
        } else if (e.Order != kNeverUsed) {
            ++e.Order;
        }
    }
    std::stable_sort(connections.begin(), connections.end(),
                     [](const ConnectionEntry& a, const ConnectionEntry& b) { return a.Order < b.Order; });
    int next = 0;
    for (size_t i = 0; i < n; ++i) {
        if (connections[i].Order != kNeverUsed) connections[i].Order = next++;
    }
}

bool IsSerialText(const std::string& text) {
    return text.compare(0, 3, "COM") == 0 || (!text.empty() && text[0] == '/') || IsNetworkSerialPath(text);
}

void ApplyConnectionText(CPelinDoc& doc, const std::string& text) {
    std::vector<std::string> f = SplitFields(text, ":");
    if (IsSerialText(text)) {
        if (IsNetworkSerialPath(text)) {
            std::string path;
            std::string frame;
            f.clear();
            if (SplitNetworkSerialText(text, path, frame)) {
                f = SplitFields(frame, ":");
                f.insert(f.begin(), path);
            }
        }
        if (f.size() != 5) f.assign(5, std::string());
        doc.dataBits = static_cast<uint8_t>(DecimalValue(f[2]));
        doc.stopBits = f[3] == "1" ? 0 : f[3] == "1.5" ? 1 : 2;
        doc.parity = f[4] == "none" ? 0 : f[4] == "odd" ? 1 : f[4] == "even" ? 2 : f[4] == "mark" ? 3 : 4;
        // A device path or a network address is used whole: cutting it would name another port.
        doc.comPort =
            f[0].compare(0, 1, "/") == 0 || IsNetworkSerialPath(f[0]) ? f[0] : CutCp932(f[0], kComPortChars);
        doc.baudRate = CutCp932(f[1], kBaudRateChars);
        doc.isTcp = 0;
    } else {
        if (f.size() != 3) f.assign(3, std::string());
        doc.tcpName = f[2];
        doc.ipAddress = CutCp932(f[0], kIpAddressChars);
        doc.telnetPort = CutCp932(f[1], kTelnetPortChars);
        doc.isTcp = 1;
    }
}

std::string ConnectionMenuText(const std::vector<ConnectionEntry>& connections, int command) {
    if (command == kCmdConnectCurrent) {
        if (!connections.empty() && connections[0].Order != kNeverUsed) return connections[0].Item;
        return kNoConnectionText;
    }
    if (command < kCmdHistoryFirst || command > kCmdHistoryLast) return {};
    const size_t k = static_cast<size_t>(command - kCmdHistoryFirst);
    std::string text = "&";
    text += static_cast<char>('1' + k);
    text += ' ';
    if (k < connections.size() && connections[k].Order != kNeverUsed) return text + connections[k].Item;
    return text + kNoConnectionText;
}

std::optional<bool> ComCommandEnabled(int command, int connected) {
    switch (command) {
        case kCmdConnectCurrent:
        case kCmdConnectByList:
        case kCmdOptions: return connected == 0;
        case kCmdReconnect:
        case kCmdDisconnect: return connected != 0;
        default: break;
    }
    if (command >= kCmdHistoryFirst && command <= kCmdHistoryLast) return connected == 0;
    return std::nullopt;
}

CConnectionControl::CConnectionControl(CPelinDoc& doc, ViewState& view, CSerialChannel& serial, LinkOps& link,
                                       Shell& shell, Clock& clock, SocketFactory makeSocket,
                                       SerialPortEnumerator* ports, ConnectionHooks hooks)
    : doc_(doc),
      view_(view),
      serial_(serial),
      link_(link),
      shell_(shell),
      clock_(clock),
      makeSocket_(std::move(makeSocket)),
      ports_(ports),
      hooks_(std::move(hooks)) {}

CConnectionControl::~CConnectionControl() {
    openWatch_.Unwatch();
    DestroySocket();
}

void CConnectionControl::Print(const std::string& cp932) {
    if (hooks_.printLocalText) hooks_.printLocalText(cp932);
}

std::string ConnectFailureText(const Status& failure) {
    return LocalizedUtf8("Cannot connect to ", "接続できません: ") + StatusDetail(failure);
}

void CConnectionControl::Box(int code, BoxButtons buttons, BoxIcon icon) {
    shell_.AskLater(GetMessageText(code), buttons, icon);
}

void CConnectionControl::Repaint() {
    if (hooks_.repaintView) {
        hooks_.repaintView();
    } else {
        shell_.RequestRepaint();
    }
}

void CConnectionControl::DestroySocket() {
    if (watchedFd_ >= 0) {
        shell_.UnwatchDescriptor(watchedFd_);
        watchedFd_ = -1;
    }
    socket_.reset();
    doc_.socket = nullptr;
}

int CConnectionControl::ConnectLink(int silent) {
    // While a connect runs (or its Retry question is open), a silence-timer reconnect or a
    // macro must not start a second one.
    if (connecting_) return doc_.connected;
    connecting_ = true;
    ++connectRun_;
    // Connecting anew (elsewhere or to the same port) ends the wait for a lost port and an open
    // still under way.
    CancelPendingOpen();
    StopReopenWatch();
    if (doc_.isTcp != 0) {
        ConnectTcp(silent);
    } else {
        ConnectSerial();
        // A network serial port's open goes on in the event loop and finishes there.
        if (!openPending_) FinishConnecting();
    }
    return doc_.connected;
}

// The operator chose another connection, or none, while one was being made: that one is given
// up without a word (its Retry question, if open, answers nothing any more).
void CConnectionControl::AbandonConnect() {
    if (!connecting_) return;
    ++connectRun_;
    connecting_ = false;
    CancelPendingOpen();
    if (socket_ && doc_.connected == 0) DestroySocket();
}

void CConnectionControl::FinishConnecting() {
    connecting_ = false;
    if (hooks_.connectFinished) hooks_.connectFinished(doc_.connected);
}

int CConnectionControl::ConnectSerial() {
    const int baud = DecimalValue(doc_.baudRate);
    openStableName_.clear();
    const int rc = serial_.OpenComPort(doc_.comPort, baud, 2, doc_.dataBits, doc_.stopBits, doc_.parity);
    if (rc == CSerialChannel::kOpenPending) {
        // A network serial port: the link comes up (or the failure is reported) when the server
        // has answered; nothing waits for it here.
        doc_.connected = 0;
        openIsReopen_ = false;
        WatchPendingOpen();
        Repaint();
        return 0;
    }
    if (rc == 0) {
        doc_.connected = 1;
        // A port opened by its kernel name is waited for by its by-id name after an unplug, so
        // that another adapter taking the kernel name meanwhile is not opened in its place.
        if (ports_ != nullptr) {
            for (const SerialPortInfo& p : ports_->ListPorts())
                if (p.device == serial_.OpenNode() && p.stableName != serial_.OpenDevice())
                    openStableName_ = p.stableName;
        }
        SerialLinkUp();
    } else {
        ReportSerialOpenFailure();
        Box(-10);
    }
    return CommonEnding();
}

// The port is open: the link is up, and the controller gets a line feed to show its prompt.
void CConnectionControl::SerialLinkUp() {
    doc_.connected = 1;
    const uint8_t lineFeed = 0x0A;
    link_.SendLinkBytes(&lineFeed, 1);
}

void CConnectionControl::ReportSerialOpenFailure() {
    doc_.connected = 0;
    Print(GetMessageTextCp932(-10));
    Print(Utf8ToCp932(DescribeSerialOpenFailure(serial_.LastOpenFailure())) + "\n\r");
}

void CConnectionControl::ConnectTcp(int silent) {
    if (hooks_.resetTransferState) hooks_.resetTransferState();
    if (doc_.ipAddress.empty()) {
        Box(-210);
        FinishConnecting();
        return;
    }
    const int port = DecimalValue(doc_.telnetPort);
    if (port <= 0 || port > kMaxTcpPort) {
        Box(-220);
        FinishConnecting();
        return;
    }
    // A link still up goes down first, so a failed attempt never leaves connected set.
    if (socket_) CloseTcpLink();
    std::unique_ptr<StreamSocket> raw = makeSocket_ ? makeSocket_() : nullptr;
    if (raw) socket_ = std::make_unique<CCommSocket>(std::move(raw), shell_);
    if (!socket_ || socket_->Create() != 0) {
        Box(-230);
        DestroySocket();
        FinishConnecting();
        return;
    }
    doc_.socket = socket_.get();
    connectSilent_ = silent != 0;
    connectPort_ = port;
    TryTcpConnect();
}

// One attempt. The event loop goes on while it runs; its end comes to OnTcpConnectEnded.
void CConnectionControl::TryTcpConnect() {
    const int rc =
        socket_->BeginConnect(doc_.ipAddress, connectPort_, [this](int error) { OnTcpConnectEnded(error); });
    if (rc != EINPROGRESS) OnTcpConnectEnded(rc);
}

void CConnectionControl::OnTcpConnectEnded(int error) {
    if (error == 0) {
        OnTcpConnected();
        return;
    }
    lastConnectError_ = error;
    const std::string failure = ConnectFailureText(socket_->ConnectFailure());
    if (connectSilent_) {
        if (!reconnectNotice_) Print(GetMessageTextCp932(-270) + "\r\n" + Utf8ToCp932(failure) + "\r\n");
        reconnectNotice_ = true;
        DestroySocket();
        FinishConnecting();
        return;
    }
    // The question is open while the terminal goes on; the connect counts as running until it
    // has been answered.
    shell_.AskLater(failure + "\n" + GetMessageText(-240), BoxButtons::YesNo, BoxIcon::Question,
                    [this, run = connectRun_, alive = life_.Watch()](BoxAnswer answer) {
                        if (alive.expired() || run != connectRun_ || !socket_) return;
                        if (answer == BoxAnswer::Yes) {
                            TryTcpConnect();
                            return;
                        }
                        DestroySocket();
                        reconnectNotice_ = false;
                        FinishConnecting();
                    });
}

void CConnectionControl::OnTcpConnected() {
    reconnectNotice_ = false;
    doc_.connected = 1;
    watchedFd_ = socket_->Descriptor();
    shell_.WatchDescriptor(watchedFd_, [this] { OnSocketReadable(); });
    const uint8_t* offer = doc_.isLinuxTelnet != 0 ? kLinuxTelnetOffer : kPlainTelnetOffer;
    const size_t length = doc_.isLinuxTelnet != 0 ? sizeof kLinuxTelnetOffer : sizeof kPlainTelnetOffer;
    if (socket_->Send(offer, length) != static_cast<ssize_t>(length)) Box(-250);
    CommonEnding();
    FinishConnecting();
}

int CConnectionControl::CommonEnding() {
    if (view_.hostWindow != 0) {
        if (doc_.connected != 0) {
            if (hooks_.hostLinkState) hooks_.hostLinkState(1);
            if (doc_.isTcp != 0 && hooks_.hostConnectedAddress) hooks_.hostConnectedAddress(doc_.ipAddress);
        } else if (hooks_.hostLinkState) {
            hooks_.hostLinkState(0);
        }
    }
    Repaint();
    return doc_.connected;
}

void CConnectionControl::CloseTcpLink() {
    if (hooks_.closeTransferFile) hooks_.closeTransferFile();
    if (socket_) {
        socket_->ShutdownSend();
        DestroySocket();
    }
    doc_.connected = 0;
    doc_.promptSeen = 0;
}

void CConnectionControl::DisconnectLink() {
    AbandonConnect();
    // The user ended the link: a lost port is no longer waited for.
    StopReopenWatch();
    Disconnect();
}

void CConnectionControl::Disconnect() {
    CancelPendingOpen();
    if (hooks_.panelSaveAndHide) hooks_.panelSaveAndHide();
    if (doc_.isTcp != 0) {
        CloseTcpLink();
        serial_.CloseComPort();
    } else {
        serial_.CloseComPort();
        // A socket left from a TCP/IP connection made before the medium changed goes too.
        if (socket_) CloseTcpLink();
        // The serial line is gone or given up: a transfer in progress cannot go on, and a save
        // left open must be dropped (and said so) now, not when the program ends.
        if (hooks_.closeTransferFile) hooks_.closeTransferFile();
    }
    doc_.connected = 0;
    if (view_.hostWindow != 0 && hooks_.hostLinkState) hooks_.hostLinkState(0);
    doc_.promptSeen = 0;
    Repaint();
}

void CConnectionControl::ConnectByItem(const std::string& text) {
    // A connect under way finishes (or is declined) before another connection is chosen.
    if (text == kNoConnectionText) return;
    // The operator's choice replaces a connect still under way.
    AbandonConnect();
    // A device path holding ':' (the by-path names) splits into too many fields.
    if (!text.empty() && text[0] == '/') {
        const std::vector<std::string> f = SplitFields(text, ":");
        if (f.size() > 5) {
            const size_t end = text.size() - (f[f.size() - 4].size() + f[f.size() - 3].size() +
                                              f[f.size() - 2].size() + f.back().size() + 4);
            const std::string refusal = ColonPathRefusal(text.substr(0, end));
            Print(Utf8ToCp932(refusal) + "\n\r");
            shell_.Tell(refusal, BoxIcon::Exclamation);
            return;
        }
    }
    ApplyConnectionText(doc_, text);
    MarkItemUsed(doc_.connections, text);
    if (hooks_.setLanguageAndMenus) hooks_.setLanguageAndMenus();
    ConnectLink(0);
}

int CConnectionControl::OnComCommand(int command) {
    std::optional<bool> enabled = ComCommandEnabled(command, doc_.connected);
    if (!enabled || command == kCmdConnectByList || command == kCmdOptions) return -1;
    // A disabled command (reached by a key while its menu item is grey) does nothing.
    if (!*enabled) return 0;
    if (command == kCmdConnectCurrent) {
        ConnectByItem(ConnectionMenuText(doc_.connections, command));
    } else if (command >= kCmdHistoryFirst && command <= kCmdHistoryLast) {
        // The history item reads "&1 " + the connection text.
        ConnectByItem(ConnectionMenuText(doc_.connections, command).substr(3));
    } else if (command == kCmdReconnect) {
        if (doc_.connected != 0) DisconnectLink();
        ConnectLink(0);
    } else if (command == kCmdDisconnect) {
        DisconnectLink();
        // The user ended the link: the silence timer must not bring it back.
        shell_.StopTimer(kSilenceTimerId);
    }
    return 0;
}

void CConnectionControl::AfterSelectConnection() {
    if (hooks_.setLanguageAndMenus) hooks_.setLanguageAndMenus();
    ConnectLink(0);
}

void CConnectionControl::AfterOptions() {
    MarkItemUsed(doc_.connections, "");
    if (hooks_.setLanguageAndMenus) hooks_.setLanguageAndMenus();
}

bool CConnectionControl::StartupConnect() {
    if (!doc_.startConnection.empty()) {
        ConnectByItem(doc_.startConnection);
        return true;
    }
    if (doc_.isAutoConnect == 0) return false;
    const std::string current = ConnectionMenuText(doc_.connections, kCmdConnectCurrent);
    ConnectByItem(current);
    return current != kNoConnectionText;
}

void CConnectionControl::RestartSilenceTimer() {
    if (doc_.timeoutSec <= 0) {
        shell_.StopTimer(kSilenceTimerId);
        return;
    }
    const int seconds = std::min(doc_.timeoutSec, INT_MAX / 1000);
    shell_.StartTimer(kSilenceTimerId, seconds * 1000);
}

void CConnectionControl::OnSilenceTimer() {
    if (connecting_ || doc_.isTcp == 0 || doc_.isAutoConnect == 0) return;
    if (doc_.connected != 0) DisconnectLink();
    ConnectLink(1);
}

// One readiness reads the socket once (up to 64 KB) and hands what came on a chunk at a time,
// each chunk interpreted before the next is taken: whatever reads the link itself meanwhile (a
// transfer command waiting for its echo) takes the bytes that follow, in order. Nothing read is
// left over at the end of the turn, and the silence timer is restarted once for all of it.
void CConnectionControl::OnSocketReadable() {
    bool received = false;
    bool readSocket = false;
    while (socket_ && doc_.connected != 0) {
        if (socket_->Held() == 0) {
            if (readSocket) break;  // the next read is the next readiness's
            readSocket = true;
        }
        // A chunk of its own for each hand-off: nothing that runs inside one can refill it.
        std::array<uint8_t, kTcpChunkSize + 1> chunk;
        const ssize_t n = socket_->ReceiveNow(chunk.data(), kTcpChunkSize);
        if (n > 0) {
            chunk[static_cast<size_t>(n)] = 0;
            received = true;
            if (hooks_.onTcpChunk) hooks_.onTcpChunk(chunk.data(), static_cast<size_t>(n));
            continue;
        }
        if (n < 0) {
            const int err = socket_->LastError();
            if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) break;
            // A reset is the controller going away, as a close is; any other error is told.
            if (err != ECONNRESET) shell_.Tell(CLinkChannel::kReceiveErrorText);
        }
        // The peer closed the connection (or reset it).
        OnPeerClosed();
        return;
    }
    if (received && socket_ && doc_.connected != 0) RestartSilenceTimer();
}

void CConnectionControl::OnPeerClosed() {
    Print("\r\n");
    Print(GetMessageTextCp932(-100));
    Print(GetMessageTextCp932(kControllerClosedCode));
    Print("\r\n");
    CloseTcpLink();
}

}  // namespace tavrin

namespace tavrin {

namespace {

std::string PortAndDevice(const std::string& port, const std::string& device) {
    if (port.empty() || port == device) return device;
    return port + " (" + device + ")";
}

}  // namespace

void CConnectionControl::OnSerialLineLost(int error) {
    if (doc_.isTcp != 0 || doc_.connected == 0) return;
    const std::string device = serial_.OpenDevice();
    const std::string port = doc_.comPort;
    const std::string named = PortAndDevice(port, device);
    const bool network = IsNetworkSerialPath(device);
    Print("\r\n");
    if (network) {
        const std::string why = serial_.LineFailureText();
        if (error == EBUSY) {
            Print(Utf8ToCp932(CurrentLanguage() != 0
                                  ? named + " is in use by another client of the server: disconnected."
                                  : named + " はサーバーの他のクライアントが使用中です。接続を切りました。") +
                  "\n\r");
        } else {
            Print(Utf8ToCp932(CurrentLanguage() != 0 ? named + " was lost: disconnected."
                                                     : named + " が切断されました。接続を切りました。") +
                  "\n\r");
        }
        if (!why.empty()) Print(Utf8ToCp932(why) + "\n\r");
    } else {
        Print(Utf8ToCp932(CurrentLanguage() != 0
                              ? named + " was unplugged or hung up: disconnected."
                              : named + " が取り外されたか切断されました。接続を切りました。") +
              "\n\r");
    }
    Disconnect();
    // A server that gave the port to another client would take it back from that client at the
    // next connect: no reconnect then.
    if (doc_.isSerialReopen != 0 && !device.empty() && !(network && error == EBUSY)) {
        reopenDevice_ = openStableName_.empty() ? device : openStableName_;
        reopenPort_ = port;
        lastReopenCheckMs_ = clock_.NowMs();
        Print(Utf8ToCp932(CurrentLanguage() != 0 ? "Waiting for " + reopenDevice_ + " to come back."
                                                 : reopenDevice_ + " が戻るのを待っています。") +
              "\n\r");
    }
}

bool CConnectionControl::OnSerialPortEvents(const std::vector<SerialPortEvent>& events) {
    auto names = [](const SerialPortEvent& e, const std::string& path) {
        return !path.empty() &&
               (e.device == path || std::find(e.links.begin(), e.links.end(), path) != e.links.end());
    };
    for (const SerialPortEvent& e : events) {
        if (!e.added && doc_.isTcp == 0 && doc_.connected != 0 && serial_.IsOpen() &&
            (names(e, serial_.OpenNode()) || names(e, serial_.OpenDevice()))) {
            OnSerialLineLost(ENODEV);
            return true;
        }
        if (e.added && !reopenDevice_.empty() &&
            (names(e, reopenDevice_) || e.device == ResolveDevicePath(reopenDevice_))) {
            lastReopenCheckMs_ = clock_.NowMs() - kReopenCheckMs;
            return ReopenTick();
        }
    }
    return false;
}

bool CConnectionControl::ReopenTick() {
    if (reopenDevice_.empty() || connecting_) return false;
    if (doc_.connected != 0 || doc_.isTcp != 0) {
        StopReopenWatch();
        return false;
    }
    const int64_t now = clock_.NowMs();
    // The owner's timer ticks once a check is due; a tick a little early still counts.
    if (now - lastReopenCheckMs_ < kReopenCheckMs - kReopenCheckSlackMs) return false;
    lastReopenCheckMs_ = now;
    if (openPending_) return false;
    const bool network = IsNetworkSerialPath(reopenDevice_);
    // A stat once a second: light enough to run where no device events arrive.
    if (!network && access(reopenDevice_.c_str(), F_OK) != 0) return false;
    const int rc = serial_.ReopenDevice(reopenDevice_);
    if (rc == CSerialChannel::kOpenPending) {
        // The server is asked again; the answer comes on the port's readiness.
        openIsReopen_ = true;
        WatchPendingOpen();
        return false;
    }
    if (rc != 0) return false;  // not ready yet (permissions, busy)
    // A node that lingers after its device went (a pty whose far end closed) opens but is hung up.
    if (serial_.LineError() != 0) {
        serial_.CloseComPort();
        return false;
    }
    SerialReopened();
    return true;
}

void CConnectionControl::SerialReopened() {
    ConnectingScope scope(connecting_);
    const std::string named = PortAndDevice(reopenPort_, reopenDevice_);
    StopReopenWatch();
    doc_.connected = 1;
    Print(Utf8ToCp932(CurrentLanguage() != 0 ? named + " is back: reconnected."
                                             : named + " が戻りました。再接続しました。") +
          "\n\r");
    const uint8_t lineFeed = 0x0A;
    link_.SendLinkBytes(&lineFeed, 1);
    CommonEnding();
}

}  // namespace tavrin
