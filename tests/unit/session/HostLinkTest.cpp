// The host editor link of the terminal against a channel in memory: what each message from the
// host does to the terminal, and what the terminal tells the host.
#include "session/HostLink.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <regex>

#include "RecordingShell.h"
#include "app/PelinDoc.h"

namespace tavrin {
namespace {

using testing::RecordingShell;

class FakeHostChannel : public HostChannel {
public:
    int Open(const std::string& path) override {
        openedPath = path;
        open = openResult == kHostOpened;
        return openResult;
    }
    int Send(const HostRecord& record) override {
        if (!open) return -1;
        if (refuseSends) {
            open = false;
            return -1;
        }
        sent.push_back(record);
        return 0;
    }
    int Receive(std::vector<HostRecord>& out) override {
        for (auto& r : incoming) out.push_back(r);
        incoming.clear();
        if (hostGone) open = false;
        return hostGone ? -1 : 0;
    }
    int Descriptor() const override { return open ? 42 : -1; }
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }

    int openResult = kHostOpened;
    bool open = false;
    bool refuseSends = false;
    bool hostGone = false;
    std::string openedPath;
    std::vector<HostRecord> sent;
    std::vector<HostRecord> incoming;
};

struct HostLinkScene {
    HostLinkScene() {
        auto owned = std::make_unique<FakeHostChannel>();
        channel = owned.get();
        link = std::make_unique<CHostLink>(view, doc, shell, std::move(owned));
        HostLinkHooks& h = link->Hooks();
        h.typeChar = [this](uint8_t c) { typed += static_cast<char>(c); };
        h.linkChanged = [this] { ++linkChanges; };
        h.confirmClose = [this] { return closeAnswer; };
        h.closeWindow = [this] { ++closes; };
        h.moveWindow = [this](int x, int y, int w, int hgt) { moves.push_back({x, y, w, hgt}); };
        h.printLocal = [this](const std::string& s) { printed += s; };
        h.askTransfer = [this](bool workingFolder) { asked.push_back(workingFolder); };
        h.readyToType = [this] { return takesKeys > 0 ? (--takesKeys, true) : false; };
    }
    // Linked and, with n != 0, numbered by the host.
    void Link(int n) {
        ASSERT_EQ(link->Attach("/run/user/1/tavrin/host.sock"), kHostOpened);
        if (n) Receive({kHostMsgNumber, n, 0, ""});
    }
    // A record arrives and is handled, nothing more.
    void Deliver(HostRecord r) {
        channel->incoming.push_back(std::move(r));
        shell.watches.at(42)();
    }
    // A record arrives; the typing turns it starts run.
    void Receive(HostRecord r) {
        Deliver(std::move(r));
        shell.RunPosted();
    }
    void CopyData(int64_t kind, std::string data) { Receive({kHostMsgCopyData, 99, kind, std::move(data)}); }

    ViewState view;
    CPelinDoc doc;
    RecordingShell shell;
    FakeHostChannel* channel = nullptr;
    std::unique_ptr<CHostLink> link;
    std::string typed, printed;
    std::vector<bool> asked;  // each transfer asked for: into the working folder or not
    int linkChanges = 0, closes = 0;
    bool closeAnswer = false;
    std::vector<std::array<int, 4>> moves;
    // How many more characters the terminal takes before it is busy (a held Enter, a
    // controller that reads nothing).
    size_t takesKeys = SIZE_MAX;
};

struct HostLinkTest : ::testing::Test, HostLinkScene {};

TEST_F(HostLinkTest, NumberSetsTheNumberedTitleAndZeroUnlinksForGood) {
    struct Case {
        const char* name;
        int connected, isTcp;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"serial", 1, 0, "Tavrin #07 - [COM3]"},
        {"TCP/IP", 1, 1, "Tavrin #07 - [192.168.0.2 23]"},
        {"not connected", 0, 1, "Tavrin #07"},
    };
    for (const Case& c : cases) {
        HostLinkScene t;
        t.doc.connected = c.connected;
        t.doc.isTcp = c.isTcp;
        t.doc.comPort = "COM3";
        t.doc.ipAddress = "192.168.0.2";
        t.doc.telnetPort = "23";
        t.Link(7);
        EXPECT_EQ(t.shell.title, c.expected) << c.name;
        EXPECT_TRUE(t.link->Numbered()) << c.name;
    }

    Link(7);
    view.hostBusy = 1;
    view.saveForEditorPending = 1;
    view.hostTypedPending = 1;
    const int before = linkChanges;
    Receive({kHostMsgNumber, 0, 0, ""});
    EXPECT_EQ(view.hostWindow, 0);
    EXPECT_EQ(view.terminalNumber, 0);
    EXPECT_EQ(view.hostBusy + view.saveForEditorPending + view.hostTypedPending, 0);
    EXPECT_FALSE(channel->IsOpen());
    EXPECT_GT(linkChanges, before);
    // Nothing goes to the host any more, and host text is no longer typed.
    link->ReportConnection(1);
    link->TypeHostText("dir\r");
    shell.RunPosted();
    EXPECT_EQ(typed, "");
}

TEST_F(HostLinkTest, CopyDataByKind) {
    Link(3);
    CopyData(0, "ID\r");
    EXPECT_EQ(typed, "ID\r") << "kind 0 is typed as if the user typed ID and Enter";
    EXPECT_EQ(view.hostTypedPending, 1);

    CopyData(42, "here\r");
    EXPECT_EQ(typed, "ID\rhere\r") << "every unknown kind is text to type";

    CopyData(kHostKindProgramName, "pick.as");
    EXPECT_EQ(view.hostProgramName, "pick.as");
    CopyData(kHostKindProgramName, std::string(300, 'p'));
    EXPECT_EQ(view.hostProgramName.size(), 259u);

    CopyData(kHostKindDeleteAfter, "/tmp/edit/pick.as");
    EXPECT_EQ(view.hostDeleteFile, "/tmp/edit/pick.as");

    std::string rect;
    for (int v : {100, 50, 740, 530})
        for (int i = 0; i < 4; ++i) rect += static_cast<char>((v >> (8 * i)) & 0xFF);
    CopyData(kHostKindMove, rect);
    CopyData(kHostKindMove, rect.substr(0, 12));  // too short to be a rectangle: ignored
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0], (std::array<int, 4>{100, 50, 640, 480}));

    typed.clear();
    CopyData(0, std::string(300, 'a'));
    EXPECT_EQ(typed.size(), 259u) << "text is cut to 259 bytes";
}

TEST_F(HostLinkTest, TextIsNotTypedUntilTheHostHasNumberedTheTerminal) {
    Link(0);
    CopyData(0, "dir\r");
    EXPECT_EQ(typed, "");
    EXPECT_EQ(view.hostTypedPending, 0);
    CopyData(kHostKindProgramName, "pick.as");  // still handled while not numbered
    EXPECT_EQ(view.hostProgramName, "pick.as");
}

TEST_F(HostLinkTest, BusyGoesOutOnlyWhenItChangesKeepingTheSequenceOfStates) {
    Link(1);
    channel->sent.clear();
    for (int busy : {1, 1, 1, 0, 0, 1, 0, 0}) link->ReportBusy(busy);
    std::vector<int64_t> states;
    for (const HostRecord& r : channel->sent) {
        EXPECT_EQ(r.message, kHostMsgBusy);
        EXPECT_EQ(r.wParam, static_cast<int64_t>(getpid())) << "the terminal's id is its process id";
        states.push_back(r.lParam);
    }
    EXPECT_EQ(states, (std::vector<int64_t>{1, 0, 1, 0}));
}

TEST_F(HostLinkTest, ReportsConnectionAddressSavedFileAndDestruction) {
    Link(5);
    link->OnFirstPaint();
    link->OnFirstPaint();
    link->ReportConnection(1);
    link->ReportAddress("127.0.0.1");
    link->NotifyHostSaved("sv1A.tmp");
    link->Detach();
    const std::string cwd = std::filesystem::current_path().string();
    const std::vector<HostRecord> expected{
        {kHostMsgAttached, getpid(), 0, ""},
        {kHostMsgConnection, getpid(), 1, ""},
        {kHostMsgCopyData, getpid(), kHostKindAddress, "127.0.0.1"},
        {kHostMsgCopyData, getpid(), kHostKindSaved, cwd + "/sv1A.tmp"},
        {kHostMsgDetached, getpid(), 5, ""},
    };
    EXPECT_EQ(channel->sent, expected);
    EXPECT_FALSE(channel->IsOpen());
}

TEST_F(HostLinkTest, CloseRequestYesClosesLaterNoUnlinks) {
    Link(2);
    closeAnswer = true;
    Deliver({kHostMsgCloseRequest, 0, 0, ""});
    EXPECT_EQ(closes, 0) << "the window is not destroyed inside the link's own handler";
    shell.RunPosted();
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(link->Linked());

    closeAnswer = false;
    Receive({kHostMsgCloseRequest, 0, 0, ""});
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(link->Linked());
    EXPECT_EQ(view.terminalNumber, 0);
}

TEST_F(HostLinkTest, AHostThatGoesOrStopsReadingLeavesTheTerminalUnlinked) {
    Link(2);
    channel->refuseSends = true;
    link->ReportBusy(1);
    EXPECT_FALSE(link->Linked());
    EXPECT_EQ(shell.watches.count(42), 0u) << "the socket is no longer watched";

    HostLinkScene t;
    t.Link(2);
    t.channel->hostGone = true;
    t.CopyData(0, "ver\r");  // what arrived before the host went is still handled
    EXPECT_EQ(t.typed, "ver\r");
    EXPECT_FALSE(t.link->Linked());
}

TEST_F(HostLinkTest, RefusedSocketIsToldMissingOneIsNot) {
    channel->openResult = kHostNoSocket;
    EXPECT_EQ(link->Attach(""), kHostNoSocket);
    EXPECT_EQ(printed, "");
    channel->openResult = kHostForeignOwner;
    EXPECT_EQ(link->Attach("/tmp/x/host.sock"), kHostForeignOwner);
    EXPECT_NE(printed.find("another user"), std::string::npos);
    EXPECT_FALSE(link->Linked());
}

TEST_F(HostLinkTest, SaveAndOpenInEditorTypesTheSaveIntoANewTempFile) {
    char pattern[] = "/tmp/tavrin-svtest-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);

    link->SaveAndOpenInEditor();
    shell.RunPosted();
    EXPECT_EQ(typed, "") << "not linked: nothing";

    Link(4);
    CopyData(kHostKindProgramName, "pick.as");
    asked.clear();
    link->SaveAndOpenInEditor();
    shell.RunPosted();
    const std::string first = view.editorTempFile;
    EXPECT_TRUE(std::regex_match(first, std::regex("sv[0-9A-F]{1,4}\\.tmp"))) << first;
    EXPECT_TRUE(std::filesystem::exists(folder + "/" + first));
    EXPECT_EQ(typed, "SAVE pick.as " + first + "\n");
    EXPECT_EQ(view.saveForEditorPending, 1);
    EXPECT_EQ(asked, std::vector<bool>{true})
        << "the save is asked for, into the working folder the host is told";

    link->SaveAndOpenInEditor();
    EXPECT_NE(view.editorTempFile, first) << "each save gets a file of its own";

    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}

// A host that types faster than the terminal can send: the queue stops at its bound, the socket
// is left unread meanwhile (the host's sends then block), and reading goes on once the terminal
// has typed its way down.
TEST_F(HostLinkTest, AFullQueueStopsReadingTheHostAndADrainedOneReadsAgain) {
    Link(1);
    takesKeys = 0;  // the controller takes nothing
    const std::string text(200, 'k');
    size_t records = 0;
    while (shell.watches.count(42) != 0 && records < 10000) {
        Receive({kHostMsgCopyData, 99, 0, text});
        ++records;
    }
    EXPECT_TRUE(link->ReadingPaused());
    EXPECT_GT(link->TypedPending(), kHostTypedMax - kHostTypedReserve);
    EXPECT_LE(link->TypedPending(), kHostTypedMax);
    EXPECT_EQ(link->TypedPending(), records * text.size()) << "nothing taken is lost";
    EXPECT_EQ(typed, "");
    // Waiting costs no turns of the loop: one look later, nothing posted meanwhile.
    EXPECT_TRUE(shell.posted.empty());
    EXPECT_EQ(shell.delayed.size(), 1u);
    EXPECT_EQ(shell.delayed[0].first, kHostTypeRetryMs);

    struct Step {
        size_t keysTaken;
        bool reading;
    };
    const size_t queued = link->TypedPending();
    const Step steps[] = {
        {0, false},
        {queued - kHostTypedResume - 1, false},  // one byte above the mark: still unread
        {1, true},                               // down to the mark: read again
        {kHostTypedResume, true},
    };
    size_t typedSoFar = 0;
    for (const Step& step : steps) {
        takesKeys = step.keysTaken;
        shell.RunDelayed();
        typedSoFar += step.keysTaken;
        EXPECT_EQ(typed.size(), typedSoFar);
        EXPECT_EQ(shell.watches.count(42) != 0, step.reading) << typedSoFar;
        EXPECT_EQ(link->ReadingPaused(), !step.reading) << typedSoFar;
    }
    EXPECT_EQ(link->TypedPending(), 0u);
    EXPECT_EQ(typed, std::string(records * text.size(), 'k'));
}

// A host that never lets the queue run dry: it fills, drains to the mark, fills again, for ever.
TEST_F(HostLinkTest, AQueueThatNeverRunsDryStaysWithinItsBound) {
    Link(1);
    size_t sent = 0;
    for (int cycle = 0; cycle < 50; ++cycle) {
        takesKeys = 0;
        while (shell.watches.count(42) != 0) {
            Receive({kHostMsgCopyData, 99, 0, std::string(200, 'k')});
            sent += 200;
        }
        takesKeys = link->TypedPending() - kHostTypedResume;
        shell.RunDelayed();
        ASSERT_EQ(shell.watches.count(42), 1u);
        EXPECT_LT(link->TypedHeld(), 2 * kHostTypedMax) << cycle;
    }
    EXPECT_EQ(typed.size() + link->TypedPending(), sent);
}

TEST_F(HostLinkTest, HostTextAndTheEditorSaveAreTypedInTheirOrderAcrossBusySpells) {
    Link(1);
    takesKeys = 3;
    CopyData(0, "dir\r");
    EXPECT_EQ(typed, "dir") << "the Enter waits while the terminal is busy";
    link->SaveAndOpenInEditor();
    shell.RunPosted();
    EXPECT_EQ(typed, "dir");
    takesKeys = SIZE_MAX;
    shell.RunDelayed();
    EXPECT_EQ(typed, "dir\rSAVE  " + view.editorTempFile + "\n");
    std::filesystem::remove(view.editorTempFile);
}

TEST_F(HostLinkTest, TheEndOfTheTerminalDropsWhatIsStillQueued) {
    Link(1);
    takesKeys = 0;
    CopyData(0, "never typed");
    link->Detach();
    takesKeys = SIZE_MAX;
    shell.RunDelayed();
    EXPECT_EQ(typed, "");
    EXPECT_EQ(link->TypedPending(), 0u);

    // A turn still posted when the link itself is gone does nothing.
    HostLinkScene t;
    t.Link(1);
    t.takesKeys = 0;
    t.CopyData(0, "x");
    t.link.reset();
    t.takesKeys = SIZE_MAX;
    t.shell.RunDelayed();
    EXPECT_EQ(t.typed, "");
}

}  // namespace
}  // namespace tavrin
