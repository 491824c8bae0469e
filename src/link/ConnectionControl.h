#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ConnectionEntry.h"
#include "app/Menus.h"
#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "link/CommSocket.h"
#include "link/LinkOps.h"
#include "link/SerialChannel.h"
#include "platform/Clock.h"
#include "platform/LifeToken.h"
#include "platform/ReadinessWatch.h"
#include "platform/SerialPortEnumerator.h"
#include "platform/Shell.h"
#include "platform/StreamSocket.h"

namespace tavrin {

struct Status;

// "Cannot connect to <host>:<port>: <reason>." in the current language (UTF-8): the line said
// before the Retry question and beside the reconnect notice.
std::string ConnectFailureText(const Status& failure);

// Commands of the Com menu (the identifiers live with the menu tables): 32796 the current
// connection, 32800 ... 32804 the history items "&1 ..." ... "&5 ...".
inline constexpr int kCmdConnectCurrent = kCmdConnectLast;

// The silence timer of the TCP/IP link.
inline constexpr int kSilenceTimerId = 2;

// A lost serial port's device is looked for once a second (where no device events arrive).
inline constexpr int kReopenCheckMs = 1000;
inline constexpr int kReopenCheckSlackMs = 50;

// The text that stands for no connection in the menus.
inline constexpr const char* kNoConnectionText = "---";

// Cuts text into the runs of characters that hold none of separators. A run of separators
// counts as one; a text that begins with a separator gives an empty first field; separators at
// the end give nothing.
std::vector<std::string> SplitFields(const std::string& text, const std::string& separators);

// Makes the entry whose Item equals item the most recent one (Order 0) and ages the other used
// entries; then sorts the list by Order (stable) and renumbers the used ones 0, 1, 2, ... Only the
// first 256 entries take part; entries with Order 999 stay unused. An item that matches nothing
// (the empty text after the Options dialog) only renumbers.
void MarkItemUsed(std::vector<ConnectionEntry>& connections, const std::string& item);

// Whether a connection text names a serial port: it starts with "COM", with '/' (a device
// path such as /dev/ttyUSB0 or a /dev/serial/by-id name) or with "rfc2217://" (a network serial
// port, "rfc2217://HOST:PORT:BAUD:DATA:STOP:PARITY").
bool IsSerialText(const std::string& text);

// Sets the document's connection from a connection text: serial when IsSerialText (five fields
// port:baud:data bits:stop bits:parity; a device path or a network address is kept whole; the
// address's own ':' are told from the frame's by counting from the end), TCP/IP otherwise (three fields
// address:port:name). A text of another field count leaves the fields empty. Texts are cut to
// the document's field sizes without splitting a two-byte character.
void ApplyConnectionText(CPelinDoc& doc, const std::string& text);

// The menu text of command 32796 (the current connection) or 32800 ... 32804 (history); empty
// for any other command.
std::string ConnectionMenuText(const std::vector<ConnectionEntry>& connections, int command);

// Whether a Com command is enabled while connected is as given; empty for other commands.
std::optional<bool> ComCommandEnabled(int command, int connected);

// What connection control needs of the parts above it; an empty hook does nothing.
struct ConnectionHooks {
    // Prints a terminal notice (CP932 bytes) through the receive interpreter.
    std::function<void(const std::string& cp932)> printLocalText;
    // Rebuilds the menus in the current language and refreshes the title.
    std::function<void()> setLanguageAndMenus;
    // The command button panel saves its state and hides.
    std::function<void()> panelSaveAndHide;
    // Tells the linked editor window the link state (1 up, 0 down); called only when one is
    // linked (hostWindow).
    std::function<void(int connected)> hostLinkState;
    // Tells the linked editor the address of a TCP/IP connection that came up.
    std::function<void(const std::string& ipAddress)> hostConnectedAddress;
    // Repaints the view and refreshes the title; without it the Shell is asked to repaint.
    std::function<void()> repaintView;
    // Drops what the transfer protocol carries over between TCP/IP chunks.
    std::function<void()> resetTransferState;
    // The link went down: a transfer under way cannot go on.
    std::function<void()> closeTransferFile;
    // A TCP/IP chunk received (a NUL follows its last byte): interpret it and collect it for the
    // macro watch. The bytes are valid for the call only.
    std::function<void(const uint8_t* data, size_t count)> onTcpChunk;
    // A connect has ended (connected 1 or 0), including a TCP/IP one that ran on in the event
    // loop and the Retry question after it.
    std::function<void(int connected)> connectFinished;
    // A network serial port's open, started by a connect or a reopen, has ended: opened tells
    // whether the link is up now. The owner then watches the port (or stops waiting for it).
    std::function<void(bool opened)> serialOpenSettled;
};

// Connection control: connects, disconnects and reconnects over the medium the document names,
// serves the Com menu and owns the TCP/IP socket (doc.socket points at it while it exists).
class CConnectionControl {
public:
    using SocketFactory = std::function<std::unique_ptr<StreamSocket>()>;

    // ports: the serial devices present, for a port's by-id name (nullptr: none known).
    CConnectionControl(CPelinDoc& doc, ViewState& view, CSerialChannel& serial, LinkOps& link, Shell& shell,
                       Clock& clock, SocketFactory makeSocket, SerialPortEnumerator* ports = nullptr,
                       ConnectionHooks hooks = {});
    ~CConnectionControl();
    CConnectionControl(const CConnectionControl&) = delete;
    CConnectionControl& operator=(const CConnectionControl&) = delete;

    void SetHooks(ConnectionHooks hooks) { hooks_ = std::move(hooks); }

    // Connects over the document's medium. silent = 0 asks Retry on a TCP/IP failure; 1 prints
    // "Reconnecting  ..." once per run of failures instead. A serial port is opened before this
    // returns; a TCP/IP connect runs on in the event loop, up to kConnectTimeoutSec seconds an
    // attempt, and ends in the connectFinished hook. Returns doc.connected.
    int ConnectLink(int silent);
    // Closes the current medium, tells the linked editor, repaints.
    void DisconnectLink();
    // The TCP/IP close sequence: transfer file closed, sending shut down, socket destroyed,
    // connected and promptSeen cleared. No repaint, no panel, no editor message.
    void CloseTcpLink();
    // Sets the connection from text, marks it used, refreshes the menus and connects (asking on
    // failure). "---" does nothing.
    void ConnectByItem(const std::string& text);

    // The commands 32796, 32800 ... 32804, 32868 and 32774. Returns 0, or -1 for any other
    // command (Connect by List and Options need their dialogs: see below).
    int OnComCommand(int command);
    // After the Select Connection dialog's OK (the connection is already set and marked used).
    void AfterSelectConnection();
    // After the Options dialog's OK (the list is already replaced).
    void AfterOptions();

    // The serial poll found the open device gone (SerialDevice::LineError): prints the line
    // naming the port, disconnects as the Disconnect command does, and, when IsSerialReopen is
    // on, watches for the device to come back.
    void OnSerialLineLost(int error);
    // Called on every timer tick: while a lost port is watched, looks for its device once a
    // second (kReopenCheckMs: the owner's timer need not tick more often) and reopens the
    // connection with the same frame when it is back. True when it reopened.
    bool ReopenTick();
    // Device events: the removal of the open port's device takes the link down as a failed
    // read does; the arrival of the device a lost port waits for reopens it at once. True when
    // the link went down or came up.
    bool OnSerialPortEvents(const std::vector<SerialPortEvent>& events);
    // The device a lost port waits for; empty when none is watched.
    const std::string& ReopenDevice() const { return reopenDevice_; }

    // The first idle turn: the "-C=" connection, else the current one when IsAutoConnect is on.
    // True when a connection was tried (doc.connected then tells whether it was made).
    bool StartupConnect();
    // The silence timer fired: on TCP/IP with IsAutoConnect on, disconnect and reconnect
    // silently.
    void OnSilenceTimer();
    // Starts the silence timer afresh with timeoutSec seconds (not at all when it is 0 or less).
    void RestartSilenceTimer();
    // The socket became readable: reads one chunk into doc.tcpChunk and hands it on, or runs
    // the close notification when the peer has closed.
    void OnSocketReadable();

    bool ReconnectNoticeShown() const { return reconnectNotice_; }
    // A connect (or its Retry question, or a network serial port's open) is under way.
    bool Connecting() const { return connecting_; }
    // The errno of the last failed TCP/IP connect attempt.
    int LastConnectError() const { return lastConnectError_; }
    // A network serial port is being opened (connect and negotiation under way).
    bool OpenPending() const { return openPending_; }
    // Carries a pending open on: the port's descriptor is ready or its time limit has passed.
    void ContinueSerialOpen();
    // Opens the current serial port again at baud (the macro statement that changes the rate).
    // 0, kOpenPending for a network port whose open goes on (its failure is reported as a
    // connect's), or -1.
    int ReopenSerialAt(int baud);

private:
    void WatchPendingOpen();
    void CancelPendingOpen();
    void SerialReopened();
    void ConnectTcp(int silent);
    void TryTcpConnect();
    void OnTcpConnectEnded(int error);
    void OnTcpConnected();
    int ConnectSerial();
    void FinishConnecting();
    void AbandonConnect();
    void SerialLinkUp();
    void ReportSerialOpenFailure();
    void Disconnect();
    void StopReopenWatch() { reopenDevice_.clear(); }
    int CommonEnding();
    void DestroySocket();
    void OnPeerClosed();
    void Print(const std::string& cp932);
    void Box(int code, BoxButtons buttons = BoxButtons::Ok, BoxIcon icon = BoxIcon::Exclamation);
    void Repaint();

    CPelinDoc& doc_;
    ViewState& view_;
    CSerialChannel& serial_;
    LinkOps& link_;
    Shell& shell_;
    Clock& clock_;
    SocketFactory makeSocket_;
    SerialPortEnumerator* ports_;
    ConnectionHooks hooks_;
    std::unique_ptr<CCommSocket> socket_;
    int watchedFd_ = -1;
    bool connecting_ = false;
    unsigned connectRun_ = 0;  // tells the answer of an earlier connect's question from this one's
    bool connectSilent_ = false;
    int connectPort_ = 0;
    int lastConnectError_ = 0;
    LifeToken life_;
    // Set after the first silent failure; cleared by a success or a declined retry.
    bool reconnectNotice_ = false;
    // The lost port: the device to look for, its COM name, and when it was last looked for.
    std::string reopenDevice_;
    std::string reopenPort_;
    // The open port's by-id name when it was opened through another path; empty otherwise.
    std::string openStableName_;
    int64_t lastReopenCheckMs_ = 0;
    // The network serial open under way: whether it is a reopen of a lost port, the descriptor
    // watched for it, and a count that tells its time-out from an earlier open's.
    bool openPending_ = false;
    bool openIsReopen_ = false;
    ReadinessWatch openWatch_{shell_};
    unsigned openGeneration_ = 0;
};

}  // namespace tavrin
