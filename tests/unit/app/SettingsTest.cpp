#include "app/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "LanguageGuard.h"
#include "app/IniFile.h"
#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::CLanguageGuard;
using testing::CTempFolder;

// Puts the working folder back after a test that loads a "Folder".
class CFolderGuard {
public:
    CFolderGuard() : saved_(CurrentFolder()) {}
    ~CFolderGuard() {
        (void)chdir(saved_.c_str());
        ForgetCurrentFolder();
    }
    CFolderGuard(const CFolderGuard&) = delete;
    CFolderGuard& operator=(const CFolderGuard&) = delete;

private:
    std::string saved_;
};

TEST(SettingsTest, LoadAppliesEachKeyByItsRule) {
    CTempFolder dir;
    CFolderGuard folderGuard;
    CLanguageGuard languageGuard(1);
    dir.Write("t.ini",
              "[Settings]\r\n"
              "Language=0\r\n"
              "IPAddress=10.0.0.5 extra\r\n"
              "TelnetPort=2323\r\n"
              "IsLinuxTelnet=1\r\n"
              "Port= COM3\r\n"
              "TimeoutSec=abc\r\n"
              "LoginPrompt=' user: '\r\n"
              "IsAutoLogin=1\r\n"
              "IsAutoConnect=7x\r\n"
              "Folder=" +
                  dir.Path() + "\r\n");
    CPelinDoc doc;
    LoadSettings(doc, dir.File("t.ini"));
    EXPECT_EQ(CurrentLanguage(), 0);
    EXPECT_EQ(doc.ipAddress, "10.0.0.5 extra");  // two words copied whole
    EXPECT_EQ(doc.telnetPort, "2323");
    EXPECT_EQ(doc.isLinuxTelnet, 1);
    EXPECT_EQ(doc.comPort, "COM3");
    EXPECT_EQ(doc.timeoutSec, 600);  // letters do not convert: the value stays
    EXPECT_EQ(doc.loginPrompt, " user: ");
    EXPECT_EQ(doc.isAutoLogin, 1);
    EXPECT_EQ(doc.isAutoConnect, 7);
    EXPECT_EQ(doc.folder, dir.Path());
    EXPECT_EQ(CurrentFolder(), dir.Path());
}

TEST(SettingsTest, PortAndLanguageValues) {
    struct Case {
        const char* port;
        const char* expected;
    };
    const Case ports[] = {{"COM1", "COM1"}, {"COM8", "COM8"},   {"COM9", "COM1"},  {"COM10", "COM1"},
                          {"com2", "COM1"}, {"COM2 x", "COM2"}, {"COM5x", "COM5"}, {"/dev/ttyS0", "COM1"},
                          {"", "COM7"},     {"  ", "COM7"}};  // empty keeps the previous value
    for (const Case& c : ports) {
        CTempFolder dir;
        dir.Write("p.ini", std::string("[Settings]\r\nPort=") + c.port + "\r\n");
        CPelinDoc doc;
        doc.comPort = "COM7";
        LoadSettings(doc, dir.File("p.ini"));
        EXPECT_EQ(doc.comPort, c.expected) << c.port;
    }
    struct LanguageCase {
        const char* stored;
        int before;
        int expected;
    };
    const LanguageCase languages[] = {{"2", 0, 1},  {"0", 1, 0}, {"", 0, 0},    {"", 1, 1},
                                      {"-1", 0, 1}, {"x", 0, 0}, {"0abc", 1, 0}};
    for (const LanguageCase& c : languages) {
        CTempFolder dir;
        CLanguageGuard guard(c.before);
        dir.Write("l.ini", std::string("[Settings]\r\nLanguage=") + c.stored + "\r\n");
        CPelinDoc doc;
        LoadSettings(doc, dir.File("l.ini"));
        EXPECT_EQ(CurrentLanguage(), c.expected) << "'" << c.stored << "' from " << c.before;
    }
}

TEST(SettingsTest, LoginPromptBlanksSurviveOnlyBetweenQuotes) {
    struct Case {
        const char* stored;
        const char* expected;
    };
    const Case cases[] = {
        {"' login: '", " login: "}, {"login: ", "login:"},
        {"\"pass: \"", "pass: "},   {"''", "keep> "},  // nothing between the quotes: the prompt stays
        {"'   '", "keep> "},                           // blanks only are no word
        {"100%s", "100%s"},                            // '%' is an ordinary character
    };
    for (const Case& c : cases) {
        CTempFolder dir;
        dir.Write("q.ini", std::string("[Settings]\r\nLoginPrompt=") + c.stored + "\r\n");
        CPelinDoc doc;
        doc.loginPrompt = "keep> ";
        LoadSettings(doc, dir.File("q.ini"));
        EXPECT_EQ(doc.loginPrompt, c.expected) << c.stored;
    }
}

TEST(SettingsTest, TextsAreCutToTheirFieldsWithoutSplittingAPair) {
    CTempFolder dir;
    CFolderGuard folderGuard;
    const std::string prompt = std::string(78, 'p') + "\x82\xA0" + "rest";  // pair at 78..79
    dir.Write("c.ini",
              "[Settings]\r\nIPAddress=1234567890123456789\r\nTelnetPort=123456789\r\nLoginPrompt='" +
                  prompt + "'\r\n");
    CPelinDoc doc;
    LoadSettings(doc, dir.File("c.ini"));
    EXPECT_EQ(doc.ipAddress, "123456789012345");
    EXPECT_EQ(doc.telnetPort, "1234567");
    EXPECT_EQ(doc.loginPrompt, std::string(78, 'p'));
}

TEST(SettingsTest, MissingFileKeepsEverythingAndMissingFolderIsSilent) {
    CTempFolder dir;
    CFolderGuard folderGuard;
    CLanguageGuard languageGuard(1);
    CPelinDoc doc;
    LoadSettings(doc, dir.File("none.ini"));
    EXPECT_EQ(CurrentLanguage(), 1);
    EXPECT_EQ(doc.ipAddress, "127.0.0.1");
    EXPECT_EQ(doc.loginPrompt, "login: ");
    EXPECT_EQ(doc.timeoutSec, 600);
    EXPECT_TRUE(dir.Entries().empty());  // reading never creates the file

    const std::string before = CurrentFolder();
    dir.Write("f.ini", "[Settings]\r\nFolder=" + dir.File("gone") + "\r\n");
    LoadSettings(doc, dir.File("f.ini"));
    EXPECT_EQ(doc.folder, dir.File("gone"));  // the text is still copied
    EXPECT_EQ(CurrentFolder(), before);
}

// The working folder is read once and kept; every change made through ChangeFolder shows at
// once, spelled as the system spells it, and a change that fails keeps the folder.
TEST(SettingsTest, WorkingFolderIsKeptAndFollowsChanges) {
    CTempFolder dir;
    CFolderGuard folderGuard;
    ASSERT_EQ(mkdir(dir.File("real").c_str(), 0755), 0);
    ASSERT_EQ(symlink(dir.File("real").c_str(), dir.File("link").c_str()), 0);
    char* canonical = realpath(dir.File("real").c_str(), nullptr);
    ASSERT_NE(canonical, nullptr);
    const std::string real = canonical;
    free(canonical);

    const std::string start = CurrentFolder();
    EXPECT_EQ(ChangeFolder(dir.File("link")), 0);
    EXPECT_EQ(CurrentFolder(), real);
    EXPECT_EQ(ChangeFolder(dir.File("missing")), -1);
    EXPECT_EQ(ChangeFolder(""), -1);
    EXPECT_EQ(CurrentFolder(), real);
    // A change made behind its back shows after ForgetCurrentFolder.
    ASSERT_EQ(chdir(start.c_str()), 0);
    ForgetCurrentFolder();
    EXPECT_EQ(CurrentFolder(), start);
}

TEST(SettingsTest, SaveWritesEveryKeyInOrderAndLoadReadsItBack) {
    CTempFolder dir;
    CFolderGuard folderGuard;
    CLanguageGuard languageGuard(0);
    ASSERT_EQ(ChangeFolder(dir.Path()), 0);
    CPelinDoc doc;
    doc.ipAddress = "192.168.0.2";
    doc.telnetPort = "10023";
    doc.isLinuxTelnet = 1;
    doc.comPort = "COM4";
    doc.loginPrompt = " login: ";
    doc.timeoutSec = 30;
    doc.isAutoLogin = 1;
    doc.isAutoConnect = 0;
    doc.folder = "/stale/folder";
    const std::string path = dir.File("s.ini");
    EXPECT_TRUE(SaveSettings(doc, path));
    EXPECT_EQ(dir.Read("s.ini"),
              "[Settings]\r\nLanguage=0\r\nIPAddress=192.168.0.2\r\nTelnetPort=10023\r\nIsLinuxTelnet=1\r\n"
              "Port=COM4\r\nLoginPrompt=' login: '\r\nTimeoutSec=30\r\nIsAutoLogin=1\r\nIsAutoConnect=0\r\n"
              "Folder=" +
                  dir.Path() + "\r\n");

    CLanguageGuard english(1);
    CPelinDoc loaded;
    LoadSettings(loaded, path);
    EXPECT_EQ(CurrentLanguage(), 0);
    EXPECT_EQ(loaded.ipAddress, doc.ipAddress);
    EXPECT_EQ(loaded.telnetPort, doc.telnetPort);
    EXPECT_EQ(loaded.isLinuxTelnet, 1);
    EXPECT_EQ(loaded.comPort, "COM4");
    EXPECT_EQ(loaded.loginPrompt, " login: ");
    EXPECT_EQ(loaded.timeoutSec, 30);
    EXPECT_EQ(loaded.isAutoLogin, 1);
    EXPECT_EQ(loaded.isAutoConnect, 0);
    EXPECT_EQ(loaded.folder, dir.Path());
}

TEST(SettingsTest, SaveKeepsOtherSectionsAndReplacesValues) {
    CTempFolder dir;
    dir.Write("o.ini", "[Term]\r\nMaxRows=120\r\n\r\n[Settings]\r\nTimeoutSec=5\r\nWindowPos=1,2\r\n");
    CPelinDoc doc;
    EXPECT_TRUE(SaveSettings(doc, dir.File("o.ini")));
    EXPECT_EQ(ReadProfileInt(dir.File("o.ini"), "Term", "MaxRows", 0), 120);
    EXPECT_EQ(ReadProfileString(dir.File("o.ini"), "Settings", "WindowPos", ""), "1,2");
    EXPECT_EQ(ReadProfileInt(dir.File("o.ini"), "Settings", "TimeoutSec", 0), 600);
    EXPECT_EQ(ReadProfileKeys(dir.File("o.ini"), "Settings").size(), 11u);
}

TEST(SettingsTest, PromptWithALineBreakIsLeftOutNotInjected) {
    CTempFolder dir;
    CPelinDoc doc;
    doc.loginPrompt = "x'\r\n[Evil]\r\nKey=1";
    EXPECT_FALSE(SaveSettings(doc, dir.File("e.ini")));
    EXPECT_TRUE(ReadProfileKeys(dir.File("e.ini"), "Evil").empty());
    EXPECT_EQ(ReadProfileString(dir.File("e.ini"), "Settings", "LoginPrompt", "<none>"), "<none>");
    EXPECT_EQ(ReadProfileInt(dir.File("e.ini"), "Settings", "TimeoutSec", 0), 600);
}

TEST(SettingsTest, SaveFolderSettingStoresTheWorkingFolder) {
    CTempFolder dir;
    CFolderGuard folderGuard;
    ASSERT_EQ(ChangeFolder(dir.Path()), 0);
    CPelinDoc doc;
    EXPECT_TRUE(SaveFolderSetting(doc, dir.File("w.ini")));
    EXPECT_EQ(doc.folder, dir.Path());
    EXPECT_EQ(dir.Read("w.ini"), "[Settings]\r\nFolder=" + dir.Path() + "\r\n");
}

TEST(SettingsTest, DefaultProfilePath) {
    EXPECT_EQ(DefaultProfilePath("/home/op", "tavrin"), "/home/op/tavrin.ini");
    EXPECT_EQ(DefaultProfilePath("/home/op/", "tavrin"), "/home/op/tavrin.ini");
    EXPECT_EQ(DefaultProfilePath("/", "tavrin"), "/tavrin.ini");
    EXPECT_EQ(DefaultProfilePath("", "tavrin"), "tavrin.ini");
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

// The demo's connection is the run's own: while it is current, the operator's address and port
// stay in the file; any other connection (the operator's, even on the same address) is saved.
TEST(SettingsTest, TransientConnectionLeavesTheStoredAddressAndPortAlone) {
    struct Case {
        const char* transient;
        const char* ip;
        const char* port;
        const char* tcpName;
        const char* storedIp;
        const char* storedPort;
    };
    const Case cases[] = {
        {"127.0.0.1:40123:Demo", "127.0.0.1", "40123", "Demo", "192.168.0.2", "23"},
        {"127.0.0.1:40123:Demo", "127.0.0.1", "40124", "Demo", "127.0.0.1", "40124"},
        {"127.0.0.1:40123:Demo", "10.1.1.9", "23", "cell", "10.1.1.9", "23"},
        {"", "127.0.0.1", "40123", "Demo", "127.0.0.1", "40123"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ip) + ":" + c.port);
        CTempFolder dir;
        CFolderGuard folderGuard;
        CLanguageGuard languageGuard(1);
        dir.Write("t.ini", "[Settings]\r\nIPAddress=192.168.0.2\r\nTelnetPort=23\r\nTimeoutSec=30\r\n");
        CPelinDoc doc;
        doc.transientConnection = c.transient;
        doc.isTcp = 1;
        doc.ipAddress = c.ip;
        doc.telnetPort = c.port;
        doc.tcpName = c.tcpName;
        doc.timeoutSec = 45;
        SaveSettings(doc, dir.File("t.ini"));
        CPelinDoc read;
        LoadSettings(read, dir.File("t.ini"));
        EXPECT_EQ(read.ipAddress, c.storedIp);
        EXPECT_EQ(read.telnetPort, c.storedPort);
        EXPECT_EQ(read.timeoutSec, 45);  // everything else is saved as ever
    }
}

}  // namespace
}  // namespace tavrin
