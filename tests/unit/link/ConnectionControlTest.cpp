#include "link/ConnectionControl.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "FakeStreamSocket.h"
#include "RecordingShell.h"
#include "app/Language.h"
#include "app/MessageTable.h"
#include "link/LinkChannel.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::FakeSerialDevice;
using testing::FakeStreamSocket;
using testing::ForwardingSocket;
using testing::RecordingShell;

// A shell that can act while a modal box is up, as a real event loop would.
class ReentrantShell : public RecordingShell {
public:
    BoxAnswer MessageBox(const std::string& text, BoxButtons buttons, BoxIcon icon) override {
        if (duringBox) duringBox();
        return RecordingShell::MessageBox(text, buttons, icon);
    }
    std::function<void()> duringBox;
};

class ConnectionControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetCurrentLanguage(1);
        ConnectionHooks hooks;
        hooks.printLocalText = [this](const std::string& t) { printed += t; };
        hooks.setLanguageAndMenus = [this] { ++menuBuilds; };
        hooks.panelSaveAndHide = [this] { ++panelHides; };
        hooks.hostLinkState = [this](int up) { hostStates.push_back(up); };
        hooks.hostConnectedAddress = [this](const std::string& ip) { hostAddresses.push_back(ip); };
        hooks.resetTransferState = [this] { ++transferResets; };
        hooks.closeTransferFile = [this] { ++transferCloses; };
        hooks.onTcpChunk = [this](const uint8_t* data, size_t count) {
            chunks.emplace_back(data, data + count);
            EXPECT_EQ(data[count], 0);
        };
        control.SetHooks(hooks);
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> out;
        for (const auto& b : shell.boxes) out.push_back(b.text);
        return out;
    }
    // Lets the event loop run out: answers of boxes, then time limits, until nothing is left.
    void Settle() {
        for (int turn = 0; turn < 20 && (!shell.posted.empty() || !shell.delayed.empty()); ++turn) {
            shell.RunPosted();
            shell.RunDelayed();
        }
    }
    // The event loop while a connect runs, in 10 ms turns for up to its time limit: the socket's
    // writability is offered each turn; then whatever is left settles.
    void FinishConnect() {
        for (int turn = 0; turn < 500 && control.Connecting() && shell.writeWatches.count(7); ++turn) {
            clock.Advance(10);
            auto handler = shell.writeWatches[7];
            handler();
        }
        Settle();
    }
    // Runs the socket's readiness handler as the event loop would.
    void SocketReadable() {
        ASSERT_EQ(shell.watches.count(7), 1u);
        auto handler = shell.watches[7];
        handler();
    }
    // Puts size bytes of a repeating alphabet in the socket; returns them.
    std::vector<uint8_t> FeedLetters(size_t size) {
        std::vector<uint8_t> data(size);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>('A' + i % 26);
        fake.Feed(data);
        return data;
    }
    void ConnectTcp(const char* text = "10.0.0.5:23:Cell") {
        fake.attempts.push_back({0, -1, 0});
        control.ConnectByItem(text);
        ASSERT_EQ(doc.connected, 1);
        fake.sent.clear();
        shell.boxes.clear();
    }

    CPelinDoc doc;
    ViewState view;
    FakeClock clock;
    ReentrantShell shell;
    FakeSerialDevice device;
    CSerialChannel serial{device, clock};
    CLinkChannel link{doc, serial, shell};
    FakeStreamSocket fake{clock};
    int socketsMade = 0;
    CConnectionControl control{doc, view, serial, link, shell, clock, [this] {
                                   ++socketsMade;
                                   return std::make_unique<ForwardingSocket>(fake);
                               }};
    std::string printed;
    int menuBuilds = 0, panelHides = 0, transferResets = 0, transferCloses = 0;
    std::vector<int> hostStates;
    std::vector<std::string> hostAddresses;
    std::vector<std::vector<uint8_t>> chunks;
};

TEST_F(ConnectionControlTest, ASerialConnectionOpensThePortAndSendsALineFeed) {
    control.ConnectByItem("COM2:19200:7:1:even");
    EXPECT_EQ(doc.connected, 1);
    ASSERT_EQ(device.openedPaths.size(), 1u);
    EXPECT_EQ(device.openedPaths[0], "/dev/ttyS1");
    const SerialParams& p = device.openedParams[0];
    EXPECT_EQ(p.baud, 19200);
    EXPECT_EQ(p.dataBits, 7);
    EXPECT_EQ(p.stopBitsCode, 0);  // the connection's "1", not the stop count of 2
    EXPECT_EQ(p.parityCode, 2);
    EXPECT_EQ(device.written, std::vector<uint8_t>{0x0A});
    EXPECT_EQ(menuBuilds, 1);
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_EQ(shell.repaintRequests, 1);
}

TEST_F(ConnectionControlTest, MalformedOrUnopenableSerialTextsReportTheOpenError) {
    struct Case {
        const char* text;
        int openError;  // what the device answers, if it is asked at all
        const char* reason;
    };
    const Case cases[] = {
        {"COM1:9600:8:2", 0, "No serial device is known"},  // four fields: no port name
        {"COMPUTER:23:x", 0, "No serial device is known"},
        {"COM3:9600:8:2:none", EACCES, "dialout"},
        {"COM3:9600:8:2:none", ENOENT, "/dev/ttyS2 does not exist"},
    };
    for (const Case& c : cases) {
        shell.boxes.clear();
        printed.clear();
        device.failures.clear();
        device.failures.push_back(c.openError);
        control.ConnectByItem(c.text);
        EXPECT_EQ(doc.connected, 0) << c.text;
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"COM device open error.\n\r"}) << c.text;
        EXPECT_EQ(printed.find("COM device open error.\n\r"), 0u) << printed;
        EXPECT_NE(printed.find(c.reason), std::string::npos) << printed;
        EXPECT_TRUE(device.written.empty());
    }
}

TEST_F(ConnectionControlTest, TcpTextsThatCannotConnectSayWhyAndLeaveNoSocket) {
    struct Case {
        const char* text;
        std::deque<int> createResults;
        const char* box;
    };
    const Case cases[] = {
        {"192.168.0.2:23:Robot:1", {}, "IP address not defined."},  // ':' in the name
        {"192.168.0.2:0:Robot", {}, "Port number not defined."},
        {"192.168.0.2:x:Robot", {}, "Port number not defined."},
        {"192.168.0.2:70000:Robot", {}, "Port number not defined."},  // beyond the port range
        {"192.168.0.2:23:Robot", {EMFILE}, "Failed to create a socket."},
    };
    for (const Case& c : cases) {
        shell.boxes.clear();
        fake.createResults = c.createResults;
        control.ConnectByItem(c.text);
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.box}) << c.text;
        EXPECT_EQ(doc.connected, 0);
        EXPECT_EQ(doc.socket, nullptr);
        EXPECT_TRUE(shell.watches.empty());
    }
    EXPECT_TRUE(fake.hosts.empty());  // none of them tried to connect
}

TEST_F(ConnectionControlTest, ConnectingSendsTheTelnetOfferOfTheChosenMode) {
    struct Case {
        int linuxTelnet;
        std::vector<uint8_t> offer;
    };
    const Case cases[] = {
        {0, {0xFF, 0xFB, 0x18}},
        {1, {0xFF, 0xFB, 0x18, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x01, 0xFF, 0xFB, 0x1F}},
    };
    view.hostWindow = 99;
    for (const Case& c : cases) {
        doc.isLinuxTelnet = c.linuxTelnet;
        fake.sent.clear();
        hostStates.clear();
        hostAddresses.clear();
        fake.attempts.push_back({0, -1, 0});
        control.ConnectByItem("10.0.0.5:2323:Cell");
        EXPECT_EQ(doc.connected, 1);
        EXPECT_EQ(fake.sent, c.offer);
        EXPECT_EQ(fake.hosts.back(), "10.0.0.5");
        EXPECT_EQ(fake.ports.back(), 2323);
        EXPECT_NE(doc.socket, nullptr);
        EXPECT_EQ(shell.watches.count(7), 1u);
        EXPECT_TRUE(shell.boxes.empty());
        EXPECT_EQ(hostStates, std::vector<int>{1});
        EXPECT_EQ(hostAddresses, std::vector<std::string>{"10.0.0.5"});
        control.DisconnectLink();
        EXPECT_EQ(doc.socket, nullptr);
    }
}

TEST_F(ConnectionControlTest, AShortOfferIsReportedAndTheConnectionKept) {
    fake.attempts.push_back({0, -1, 0});
    fake.sendError = EPIPE;
    control.ConnectByItem("10.0.0.5:23:Cell");
    EXPECT_EQ(doc.connected, 1);
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{"Failed to transmit Terminal type(Telnet Option) setting request."});
    EXPECT_NE(doc.socket, nullptr);
}

TEST_F(ConnectionControlTest, AFailedConnectAsksToRetryUntilTheUserDeclines) {
    struct Case {
        std::vector<FakeStreamSocket::Attempt> attempts;
        std::deque<BoxAnswer> answers;
        int connected;
        size_t questions;
    };
    const Case cases[] = {
        {{{ECONNREFUSED, -1, 0}}, {BoxAnswer::No}, 0, 1},
        {{{ECONNREFUSED, -1, 0}, {EINPROGRESS, -1, 0}}, {BoxAnswer::Yes, BoxAnswer::No}, 0, 2},
        {{{ECONNREFUSED, -1, 0}, {0, -1, 0}}, {BoxAnswer::Yes}, 1, 1},
    };
    for (const Case& c : cases) {
        shell.boxes.clear();
        fake.attempts.assign(c.attempts.begin(), c.attempts.end());
        shell.answers = c.answers;
        control.ConnectByItem("10.0.0.5:23:Cell");
        Settle();
        EXPECT_EQ(doc.connected, c.connected);
        EXPECT_FALSE(control.Connecting());
        ASSERT_GE(shell.boxes.size(), c.questions);
        for (size_t i = 0; i < c.questions; ++i) {
            EXPECT_EQ(shell.boxes[i].text.substr(shell.boxes[i].text.find('\n') + 1),
                      "Connection failed. Retry ?");
            EXPECT_EQ(shell.boxes[i].buttons, BoxButtons::YesNo);
            EXPECT_EQ(shell.boxes[i].icon, BoxIcon::Question);
        }
        EXPECT_EQ(doc.socket != nullptr, c.connected == 1);
        if (c.connected) control.DisconnectLink();
    }
}

TEST_F(ConnectionControlTest, SilentReconnectionPrintsItsNoticeOncePerRunOfFailures) {
    doc.isTcp = 1;
    doc.ipAddress = "10.0.0.5";
    const std::string notice = "Reconnecting  ...\r\n";
    auto attempt = [&](bool succeeds) {
        fake.attempts.push_back(succeeds ? FakeStreamSocket::Attempt{0, -1, 0}
                                         : FakeStreamSocket::Attempt{ECONNREFUSED, -1, 0});
        return control.ConnectLink(1);
    };
    EXPECT_EQ(attempt(false), 0);
    EXPECT_EQ(attempt(false), 0);
    EXPECT_EQ(attempt(false), 0);
    const std::string why = "Cannot connect to 10.0.0.5:23: Connection refused.\r\n";
    EXPECT_EQ(printed, notice + why);
    EXPECT_EQ(clock.sleptMs, 0);  // the silence timer paces the attempts: nothing sleeps
    EXPECT_EQ(doc.socket, nullptr);
    EXPECT_EQ(attempt(true), 1);
    control.DisconnectLink();
    EXPECT_EQ(attempt(false), 0);
    EXPECT_EQ(attempt(false), 0);
    EXPECT_EQ(printed, notice + why + notice + why);
    EXPECT_TRUE(shell.boxes.empty());  // never a box
}

// The Retry question says where the terminal tried to connect and why it could not, in the
// language of the menus.
TEST_F(ConnectionControlTest, TheRetryQuestionNamesTheAddressAndTheReason) {
    struct Case {
        int language;
        FakeStreamSocket::Attempt attempt;
        const char* item;
        const char* question;
    };
    const Case cases[] = {
        {1,
         {ECONNREFUSED, -1, 0},
         "10.0.0.5:23:Cell",
         "Cannot connect to 10.0.0.5:23: Connection refused.\nConnection failed. Retry ?"},
        {1,
         {EINPROGRESS, 20, EHOSTUNREACH},
         "10.0.0.5:2323:Cell",
         "Cannot connect to 10.0.0.5:2323: No route to host.\nConnection failed. Retry ?"},
        {1,
         {EINPROGRESS, -1, 0},
         "10.0.0.5:23:Cell",
         "Cannot connect to 10.0.0.5:23: Connection timed out.\nConnection failed. Retry ?"},
        {1,
         {EHOSTUNREACH, -1, 0, "Name or service not known"},
         "cell-7.plant:23:Cell",
         "Cannot connect to cell-7.plant:23: Name or service not known.\nConnection failed. Retry ?"},
        {0,
         {ECONNREFUSED, -1, 0},
         "10.0.0.5:23:Cell",
         "接続できません: 10.0.0.5:23: 接続を拒否されました (Connection refused)。\n"
         "通信接続に失敗しました。再試行しますか？"},
        {0,
         {EHOSTUNREACH, -1, 0, "Name or service not known"},
         "cell-7.plant:23:Cell",
         "接続できません: cell-7.plant:23: ホスト名が見つかりません (Name or service not known)。\n"
         "通信接続に失敗しました。再試行しますか？"},
    };
    for (const Case& c : cases) {
        SetCurrentLanguage(c.language);
        shell.boxes.clear();
        fake.attempts.assign(1, c.attempt);
        shell.answers = {BoxAnswer::No};
        control.ConnectByItem(c.item);
        FinishConnect();
        ASSERT_EQ(shell.boxes.size(), 1u) << c.question;
        EXPECT_EQ(shell.boxes[0].text, c.question);
    }
    SetCurrentLanguage(1);
}

TEST_F(ConnectionControlTest, DecliningARetryStartsANewRunOfSilentNotices) {
    doc.isTcp = 1;
    fake.attempts.push_back({ECONNREFUSED, -1, 0});
    control.ConnectLink(1);
    EXPECT_TRUE(control.ReconnectNoticeShown());
    fake.attempts.push_back({ECONNREFUSED, -1, 0});
    shell.answers = {BoxAnswer::No};
    control.ConnectLink(0);
    EXPECT_TRUE(control.Connecting());  // the question is open
    shell.RunPosted();
    EXPECT_FALSE(control.Connecting());
    EXPECT_FALSE(control.ReconnectNoticeShown());
}

TEST_F(ConnectionControlTest, ReceivedChunksReachTheTerminalAndRestartTheSilenceTimer) {
    doc.timeoutSec = 600;
    ConnectTcp();
    FeedLetters(5000);
    SocketReadable();
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].size(), 4096u);
    EXPECT_EQ(chunks[1].size(), 904u);
    EXPECT_EQ(shell.timers.at(kSilenceTimerId), 600000);
    SocketReadable();  // nothing waiting: nothing happens
    EXPECT_EQ(chunks.size(), 2u);
    EXPECT_EQ(doc.connected, 1);

    struct Case {
        int timeoutSec;
        int period;  // 0: no timer
    };
    const Case cases[] = {{1, 1000}, {0, 0}, {-5, 0}, {3000000, 2147483000 / 1000 * 1000}};
    for (const Case& c : cases) {
        doc.timeoutSec = c.timeoutSec;
        control.RestartSilenceTimer();
        EXPECT_EQ(shell.timers.count(kSilenceTimerId) ? shell.timers[kSilenceTimerId] : 0, c.period)
            << c.timeoutSec;
    }
}

// One readiness reads the socket once and hands what came on a chunk at a time, each before the
// next; a link that goes down while a chunk is handled ends the turn, and a close that follows
// the data is found at the next readiness, once the data has been shown.
TEST_F(ConnectionControlTest, OneReadinessTakesSeveralChunksInOrder) {
    doc.timeoutSec = 600;
    ConnectTcp();
    const std::vector<uint8_t> data = FeedLetters(16 * 4096 + 100);
    SocketReadable();
    ASSERT_EQ(chunks.size(), 16u);
    shell.timers.clear();
    SocketReadable();
    ASSERT_EQ(chunks.size(), 17u);
    EXPECT_EQ(shell.timers.at(kSilenceTimerId), 600000);
    std::vector<uint8_t> joined;
    for (const auto& chunk : chunks) joined.insert(joined.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(joined, data);

    chunks.clear();
    fake.Feed(std::vector<uint8_t>(3 * 4096, 'x'));
    fake.peerClosed = true;
    SocketReadable();
    EXPECT_EQ(chunks.size(), 3u);
    EXPECT_EQ(doc.connected, 1);
    SocketReadable();
    EXPECT_EQ(doc.connected, 0);
    EXPECT_NE(printed.find(GetMessageTextCp932(kControllerClosedCode)), std::string::npos);

    ConnectTcp();
    fake.peerClosed = false;
    chunks.clear();
    fake.Feed(std::vector<uint8_t>(3 * 4096, 'y'));
    ConnectionHooks hooks;
    hooks.onTcpChunk = [this](const uint8_t*, size_t) {
        chunks.emplace_back();
        control.DisconnectLink();  // a macro's or the user's disconnect while the chunk is shown
    };
    control.SetHooks(hooks);
    shell.timers.clear();
    SocketReadable();
    EXPECT_EQ(chunks.size(), 1u);
    EXPECT_EQ(doc.connected, 0);
    EXPECT_EQ(shell.timers.count(kSilenceTimerId), 0u);  // a link that is down waits for no silence
}

TEST_F(ConnectionControlTest, ThePeerClosingPrintsTheCloseLinesAndDropsTheLinkQuietly) {
    ConnectTcp();
    doc.promptSeen = 1;
    view.hostWindow = 99;
    const int repaints = shell.repaintRequests;
    const int panels = panelHides;
    fake.peerClosed = true;
    SocketReadable();
    EXPECT_EQ(printed, "\r\nCommunication error(remorte terminal).\n\r" +
                           GetMessageTextCp932(kControllerClosedCode) + "\r\n");
    EXPECT_EQ(doc.connected, 0);
    EXPECT_EQ(doc.promptSeen, 0);
    EXPECT_EQ(doc.socket, nullptr);
    EXPECT_TRUE(shell.watches.empty());
    EXPECT_EQ(fake.shutdowns, 1);
    EXPECT_FALSE(fake.open);
    EXPECT_EQ(transferCloses, 1);
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_TRUE(hostStates.empty());
    EXPECT_EQ(shell.repaintRequests, repaints);
    EXPECT_EQ(panelHides, panels);
    // Afterwards the link sends nothing and raises nothing.
    fake.sent.clear();
    link.SendLinkBytes(reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_TRUE(fake.sent.empty());
    EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(ConnectionControlTest, AResetConnectionEndsLikeAClose) {
    ConnectTcp();
    fake.receiveError = ECONNRESET;
    SocketReadable();
    EXPECT_EQ(doc.connected, 0);
    EXPECT_EQ(doc.socket, nullptr);
    EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(ConnectionControlTest, DisconnectClosesTheMediumTellsTheEditorAndRepaints) {
    struct Case {
        const char* text;
        intptr_t hostWindow;
        std::vector<int> hostStates;
    };
    const Case cases[] = {
        {"COM1:9600:8:2:none", 0, {}}, {"COM1:9600:8:2:none", 5, {1, 0}}, {"10.0.0.5:23:Cell", 5, {1, 0}}};
    for (const Case& c : cases) {
        view.hostWindow = c.hostWindow;
        hostStates.clear();
        fake.attempts.push_back({0, -1, 0});
        control.ConnectByItem(c.text);
        ASSERT_EQ(doc.connected, 1) << c.text;
        doc.promptSeen = 1;
        const int panels = panelHides, repaints = shell.repaintRequests;
        EXPECT_EQ(control.OnComCommand(kCmdDisconnect), 0);
        EXPECT_EQ(doc.connected, 0);
        EXPECT_EQ(doc.promptSeen, 0);
        EXPECT_FALSE(device.open);
        EXPECT_EQ(doc.socket, nullptr);
        EXPECT_EQ(panelHides, panels + 1);
        EXPECT_EQ(shell.repaintRequests, repaints + 1);
        EXPECT_EQ(hostStates, c.hostStates) << c.text;
    }
}

TEST_F(ConnectionControlTest, TheSilenceTimerReconnectsOnlyOnTcpWithAutoConnect) {
    ConnectTcp();
    const int madeBefore = socketsMade;
    doc.isAutoConnect = 0;
    control.OnSilenceTimer();
    EXPECT_EQ(socketsMade, madeBefore);
    EXPECT_EQ(doc.connected, 1);

    doc.isAutoConnect = 1;
    fake.attempts.push_back({0, -1, 0});
    control.OnSilenceTimer();
    EXPECT_EQ(socketsMade, madeBefore + 1);
    EXPECT_EQ(doc.connected, 1);
    EXPECT_TRUE(shell.boxes.empty());

    // A failing reconnect stays silent.
    fake.attempts.push_back({EINPROGRESS, -1, 0});
    control.OnSilenceTimer();
    Settle();  // its time limit
    EXPECT_EQ(doc.connected, 0);
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_NE(printed.find("Reconnecting  ..."), std::string::npos);

    // On the serial medium the timer does nothing.
    doc.isTcp = 0;
    const int made = socketsMade;
    control.OnSilenceTimer();
    EXPECT_EQ(socketsMade, made);
    EXPECT_TRUE(device.openedPaths.empty());
}

TEST_F(ConnectionControlTest, AUserDisconnectStopsTheSilenceTimerAReconnectKeepsIt) {
    doc.isAutoConnect = 1;
    ConnectTcp();
    fake.Feed({'>'});
    SocketReadable();
    ASSERT_EQ(shell.timers.count(kSilenceTimerId), 1u);
    fake.attempts.push_back({0, -1, 0});
    EXPECT_EQ(control.OnComCommand(kCmdReconnect), 0);
    EXPECT_EQ(doc.connected, 1);
    EXPECT_EQ(shell.timers.count(kSilenceTimerId), 1u);
    EXPECT_EQ(control.OnComCommand(kCmdDisconnect), 0);
    EXPECT_EQ(shell.timers.count(kSilenceTimerId), 0u);
}

TEST_F(ConnectionControlTest, TheSilenceTimerFiringDuringTheRetryQuestionStartsNoSecondConnect) {
    doc.isAutoConnect = 1;
    doc.isTcp = 1;
    fake.attempts = {{ECONNREFUSED, -1, 0}, {0, -1, 0}};
    shell.answers = {BoxAnswer::Yes};
    shell.duringBox = [&] { control.OnSilenceTimer(); };
    control.ConnectByItem("10.0.0.5:23:Cell");
    control.OnSilenceTimer();  // and again while the answer is on its way
    shell.RunPosted();
    EXPECT_EQ(doc.connected, 1);
    EXPECT_EQ(socketsMade, 1);
    EXPECT_EQ(fake.hosts.size(), 2u);
    EXPECT_NE(doc.socket, nullptr);
}

// The connect runs on in the event loop: the call returns at once, the terminal goes on, other
// connects are refused meanwhile, and its end comes once, through the hook.
TEST_F(ConnectionControlTest, AConnectInProgressHoldsNothingUpAndEndsThroughTheHook) {
    std::vector<int> ends;
    ConnectionHooks hooks;
    hooks.connectFinished = [&](int connected) { ends.push_back(connected); };
    control.SetHooks(hooks);
    fake.attempts = {{EINPROGRESS, 800, 0}};
    const int64_t start = clock.NowMs();
    control.ConnectByItem("10.0.0.5:23:Cell");
    EXPECT_EQ(clock.NowMs(), start);
    EXPECT_EQ(doc.connected, 0);
    EXPECT_TRUE(control.Connecting());
    EXPECT_TRUE(ends.empty());
    clock.Advance(800);
    ASSERT_EQ(shell.writeWatches.count(7), 1u);
    shell.writeWatches.at(7)();
    EXPECT_EQ(doc.connected, 1);
    EXPECT_EQ(ends, std::vector<int>{1});
    EXPECT_EQ(shell.watches.count(7), 1u);  // reading from now on
    EXPECT_FALSE(control.Connecting());
    EXPECT_EQ(fake.sent, std::vector<uint8_t>(std::begin(kPlainTelnetOffer), std::end(kPlainTelnetOffer)));
}

// The operator choosing another connection while one is being made gives that one up: the
// Retry question still open answers nothing, and the new connect goes its own way.
TEST_F(ConnectionControlTest, AnotherChoiceReplacesAConnectUnderWay) {
    fake.attempts = {{ECONNREFUSED, -1, 0}, {EINPROGRESS, -1, 0}};
    shell.answers = {BoxAnswer::Yes};
    control.ConnectByItem("10.0.0.5:23:Cell");  // refused: the Retry question opens
    ASSERT_TRUE(control.Connecting());
    control.ConnectByItem("10.0.0.9:23:Other");
    EXPECT_EQ(doc.ipAddress, "10.0.0.9");
    EXPECT_EQ(fake.hosts, (std::vector<std::string>{"10.0.0.5", "10.0.0.9"}));
    shell.RunPosted();                 // the first question's Yes
    EXPECT_EQ(fake.hosts.size(), 2u);  // no retry of the first
    EXPECT_TRUE(control.Connecting());
    control.DisconnectLink();  // and Disconnect gives up the second
    EXPECT_FALSE(control.Connecting());
    EXPECT_EQ(doc.socket, nullptr);
    EXPECT_TRUE(shell.writeWatches.empty());
}

TEST_F(ConnectionControlTest, ComCommandsFollowTheMenuTextsAndTheEnableRules) {
    doc.connections = {};
    ConnectionEntry a;
    a.Item = "COM1:9600:8:2:none";
    a.Order = 0;
    ConnectionEntry b;
    b.Item = "10.0.0.9:23:B";
    b.Order = 999;
    doc.connections = {a, b};

    EXPECT_EQ(control.OnComCommand(kCmdHistoryFirst + 1), 0);  // "&2 ---": nothing
    EXPECT_EQ(menuBuilds, 0);
    EXPECT_TRUE(device.openedPaths.empty());
    EXPECT_EQ(control.OnComCommand(kCmdConnectByList), -1);
    EXPECT_EQ(control.OnComCommand(kCmdOptions), -1);
    EXPECT_EQ(control.OnComCommand(12345), -1);
    EXPECT_EQ(control.OnComCommand(kCmdDisconnect), 0);  // disabled while down
    EXPECT_EQ(panelHides, 0);

    EXPECT_EQ(control.OnComCommand(kCmdHistoryFirst), 0);
    EXPECT_EQ(doc.connected, 1);
    EXPECT_EQ(device.openedPaths, std::vector<std::string>{"/dev/ttyS0"});
    EXPECT_EQ(control.OnComCommand(kCmdConnectCurrent), 0);  // disabled while up
    EXPECT_EQ(device.openedPaths.size(), 1u);
}

TEST_F(ConnectionControlTest, StartupConnectsTheCommandLineConnectionFirst) {
    struct Case {
        const char* startConnection;
        int autoConnect;
        std::vector<std::string> opened;
    };
    const Case cases[] = {
        {"COM4:9600:8:2:none", 0, {"/dev/ttyS3"}},  // not in the list: connects all the same
        {"COM4:9600:8:2:none", 1, {"/dev/ttyS3"}},  // only the named one
        {"", 1, {"/dev/ttyS1"}},                    // the current connection
        {"", 0, {}},
    };
    for (const Case& c : cases) {
        ConnectionEntry cur;
        cur.Item = "COM2:9600:8:2:none";
        cur.Order = 0;
        ConnectionEntry old;
        old.Item = "COM3:9600:8:2:none";
        old.Order = 1;
        doc.connections = {cur, old};
        doc.startConnection = c.startConnection;
        doc.isAutoConnect = c.autoConnect;
        device.openedPaths.clear();
        control.StartupConnect();
        EXPECT_EQ(device.openedPaths, c.opened) << c.startConnection;
        EXPECT_EQ(doc.connections[0].Item, "COM2:9600:8:2:none");  // no recency changed
        EXPECT_EQ(doc.connections[0].Order, 0);
        EXPECT_EQ(doc.connections[1].Order, 1);
        control.DisconnectLink();
    }
}

TEST_F(ConnectionControlTest, AfterTheDialogsTheListIsRenumberedAndTheMenusRebuilt) {
    ConnectionEntry a, b, c;
    a.Item = "A";
    a.Order = 4;
    b.Item = "B";
    b.Order = 999;
    c.Item = "C";
    c.Order = 2;
    doc.connections = {a, b, c};
    control.AfterOptions();
    EXPECT_EQ(menuBuilds, 1);
    ASSERT_EQ(doc.connections.size(), 3u);
    EXPECT_EQ(doc.connections[0].Item, "C");
    EXPECT_EQ(doc.connections[0].Order, 0);
    EXPECT_EQ(doc.connections[1].Item, "A");
    EXPECT_EQ(doc.connections[1].Order, 1);
    EXPECT_EQ(doc.connections[2].Order, 999);

    ApplyConnectionText(doc, "COM1:9600:8:2:none");
    control.AfterSelectConnection();
    EXPECT_EQ(menuBuilds, 2);
    EXPECT_EQ(doc.connected, 1);
}

TEST_F(ConnectionControlTest, ConnectingAgainWhileUpDropsTheOldLinkFirst) {
    ConnectTcp();
    fake.attempts.push_back({ECONNREFUSED, -1, 0});
    EXPECT_EQ(control.ConnectLink(1), 0);
    EXPECT_EQ(doc.connected, 0);
    EXPECT_EQ(doc.socket, nullptr);
    EXPECT_TRUE(shell.watches.empty());
    EXPECT_EQ(fake.shutdowns, 1);
}

TEST_F(ConnectionControlTest, EveryConnectForgetsAHalfReceivedTransferRecord) {
    doc.isTcp = 1;
    doc.ipAddress = "";
    control.ConnectLink(0);  // even one that fails at once
    EXPECT_EQ(transferResets, 1);
}

}  // namespace
}  // namespace tavrin
