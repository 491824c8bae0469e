#include "app/Title.h"

#include <gtest/gtest.h>

#include "LanguageGuard.h"

namespace tavrin {
namespace {

using testing::CLanguageGuard;

CPelinDoc Serial(const char* port, int connected) {
    CPelinDoc doc;
    doc.isTcp = 0;
    doc.comPort = port;
    doc.connected = connected;
    return doc;
}

CPelinDoc Tcp(const char* ip, const char* name, const char* port, int connected) {
    CPelinDoc doc;
    doc.isTcp = 1;
    doc.ipAddress = ip;
    doc.tcpName = name;
    doc.telnetPort = port;
    doc.connected = connected;
    return doc;
}

TEST(TitleTest, DocumentTitleParts) {
    struct Case {
        int lang;
        CPelinDoc doc;
        std::optional<std::string> folder;
        bool log;
        std::string title;
    };
    const Case cases[] = {
        {1, Serial("COM2", 1), "/data", true,
         "Orvenda Robot Terminal Tavrin - [COM2] - [/data]- [Logging Now]"},
        {0, Serial("COM2", 1), "/data", true,
         "Orvenda ロボットターミナル Tavrin - [COM2] - [/data]- [ﾛｷﾞﾝｸﾞ中]"},
        {1, Tcp("192.168.0.2", "Robot1", "23", 1), "/home/op", false,
         "Orvenda Robot Terminal Tavrin - [192.168.0.2:Robot1] - [/home/op]"},
        {1, Tcp("192.168.0.2", "Robot1", "23", 0), "/home/op", false,
         "Orvenda Robot Terminal Tavrin - [/home/op]"},
        {1, Serial("COM1", 0), std::nullopt, false, "Orvenda Robot Terminal Tavrin - [..?..]"},
        {1, Serial("COM1", 2), "/w", false,
         "Orvenda Robot Terminal Tavrin - [/w]"},  // only 1 counts as connected
    };
    for (const auto& c : cases) {
        CLanguageGuard guard(c.lang);
        EXPECT_EQ(ComposeDocumentTitle(c.doc, c.folder, c.log), c.title);
    }
}

TEST(TitleTest, LongFolderIsCutWithoutSplittingACharacter) {
    CLanguageGuard guard(1);
    const std::string folder = "/" + std::string(252, 'a') + "日本";  // 253 + 3 + 3 bytes
    const std::string title = ComposeDocumentTitle(Serial("COM1", 0), folder, false);
    EXPECT_EQ(title, "Orvenda Robot Terminal Tavrin - [/" + std::string(252, 'a') + "]");
    const std::string exact = "/" + std::string(254, 'b');
    EXPECT_EQ(ComposeDocumentTitle(Serial("COM1", 0), exact, false),
              "Orvenda Robot Terminal Tavrin - [" + exact + "]");
}

TEST(TitleTest, FirstTitleIsTheProgramTitleAloneThenOnlyChanges) {
    CLanguageGuard guard(1);
    CTitle title;
    const std::string full = "Orvenda Robot Terminal Tavrin - [/w]";
    EXPECT_TRUE(title.NeverSet());
    EXPECT_EQ(title.Update(full), std::optional<std::string>("Orvenda Robot Terminal Tavrin - Tavrin"));
    EXPECT_FALSE(title.NeverSet());
    EXPECT_EQ(title.LastTitle(), "Orvenda Robot Terminal Tavrin");
    EXPECT_EQ(title.Update(full), std::optional<std::string>(full + " - Tavrin"));
    EXPECT_EQ(title.Update(full), std::nullopt);
    EXPECT_EQ(title.Update(full + "- [Logging Now]"),
              std::optional<std::string>(full + "- [Logging Now] - Tavrin"));
    EXPECT_EQ(title.LastTitle(), full + "- [Logging Now]");
}

TEST(TitleTest, NumberedTitles) {
    struct Case {
        int n;
        CPelinDoc doc;
        std::string text;
    };
    const Case cases[] = {
        {7, Serial("COM3", 1), "Tavrin #07 - [COM3]"},
        {7, Tcp("192.168.0.2", "Robot1", "23", 1), "Tavrin #07 - [192.168.0.2 23]"},
        {7, Serial("COM3", 0), "Tavrin #07"},
        {123, Serial("COM3", 0), "Tavrin #123"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberedTitle(c.n, c.doc), c.text);
}

}  // namespace
}  // namespace tavrin
