// The pure rules of connection control: field splitting, recency, connection texts, menu texts
// and enable rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/ConnectionControl.h"

namespace tavrin {
namespace {

using Fields = std::vector<std::string>;

TEST(SplitFieldsTest, CutsAtRunsOfSeparatorsKeepingALeadingEmptyField) {
    struct Case {
        const char* text;
        const char* separators;
        Fields fields;
    };
    const Case cases[] = {
        {"COM1:9600:8:2:none", ":", {"COM1", "9600", "8", "2", "none"}},
        {"192.168.0.2:23:Robot1", ":", {"192.168.0.2", "23", "Robot1"}},
        {"a::b", ":", {"a", "b"}},
        {":a:b", ":", {"", "a", "b"}},
        {"::a", ":", {"", "a"}},
        {"a:b::", ":", {"a", "b"}},
        {":", ":", {""}},
        {"", ":", {}},
        {"abc", ":", {"abc"}},
        {"10.0.0.1", ".", {"10", "0", "0", "1"}},
        {"a.b:c", ".:", {"a", "b", "c"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitFields(c.text, c.separators), c.fields) << c.text;
}

struct Entry {
    const char* item;
    int order;
};

std::vector<ConnectionEntry> MakeList(const std::vector<Entry>& entries) {
    std::vector<ConnectionEntry> list;
    for (const Entry& e : entries) {
        ConnectionEntry c;
        c.Item = e.item;
        c.Order = e.order;
        list.push_back(c);
    }
    return list;
}

std::vector<std::string> Items(const std::vector<ConnectionEntry>& list) {
    std::vector<std::string> out;
    for (const auto& e : list) out.push_back(e.Item + "=" + std::to_string(e.Order));
    return out;
}

TEST(MarkItemUsedTest, MovesTheUsedEntryToTheFrontAndRenumbersWithoutGaps) {
    struct Case {
        const char* name;
        std::vector<Entry> before;
        const char* used;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {"never used becomes first", {{"A", 0}, {"B", 1}, {"C", 999}}, "C", {"C=0", "A=1", "B=2"}},
        {"most recent again changes nothing", {{"A", 0}, {"B", 1}, {"C", 999}}, "A", {"A=0", "B=1", "C=999"}},
        {"middle entry", {{"A", 0}, {"B", 1}, {"C", 2}}, "C", {"C=0", "A=1", "B=2"}},
        {"gaps closed, unused stay last",
         {{"A", 999}, {"B", 7}, {"C", 3}, {"D", 999}},
         "",
         {"C=0", "B=1", "A=999", "D=999"}},
        {"unknown text only renumbers", {{"A", 2}, {"B", 5}}, "X", {"A=0", "B=1"}},
        {"empty list", {}, "A", {}},
    };
    for (const Case& c : cases) {
        std::vector<ConnectionEntry> list = MakeList(c.before);
        MarkItemUsed(list, c.used);
        EXPECT_EQ(Items(list), c.after) << c.name;
    }
}

TEST(MarkItemUsedTest, OnlyTheFirst256EntriesAgeAndAreRenumbered) {
    std::vector<ConnectionEntry> list;
    for (int i = 0; i < 258; ++i) {
        ConnectionEntry e;
        e.Item = "E" + std::to_string(i);
        e.Order = i < 256 ? i : 999;
        list.push_back(e);
    }
    list[256].Order = 999;
    list[257].Order = 999;
    MarkItemUsed(list, "E256");  // beyond the first 256: never compared
    EXPECT_EQ(list[256].Item, "E256");
    EXPECT_EQ(list[256].Order, 999);
    EXPECT_EQ(list[0].Item, "E0");
    EXPECT_EQ(list[255].Order, 255);

    MarkItemUsed(list, "E10");
    EXPECT_EQ(list[0].Item, "E10");
    EXPECT_EQ(list[0].Order, 0);
    EXPECT_EQ(list[1].Item, "E0");
    EXPECT_EQ(list[1].Order, 1);
    EXPECT_EQ(list[255].Order, 255);
    EXPECT_EQ(list[256].Order, 999);
}

TEST(ApplyConnectionTextTest, SetsTheDocumentFromEveryShapeOfText) {
    struct Case {
        const char* text;
        int isTcp;
        const char* comPort;
        const char* baud;
        int dataBits, stopBits, parity;
        const char* ip;
        const char* port;
        const char* name;
    };
    const Case cases[] = {
        {"COM1:9600:8:2:none", 0, "COM1", "9600", 8, 2, 0, "", "", ""},
        {"COM2:19200:7:1:even", 0, "COM2", "19200", 7, 0, 2, "", "", ""},
        {"COM3:115200:8:1.5:odd", 0, "COM3", "115200", 8, 1, 1, "", "", ""},
        {"COM4:4800:5:2:mark", 0, "COM4", "4800", 5, 2, 3, "", "", ""},
        {"COM4:4800:5:2:space", 0, "COM4", "4800", 5, 2, 4, "", "", ""},
        {"COM1:9600:8:2", 0, "", "", 0, 2, 4, "", "", ""},  // four fields: all empty
        {"COM12345678:12345678:8:1:none", 0, "COM1234", "1234567", 8, 0, 0, "", "", ""},  // cut to fit
        {"192.168.0.2:23:Robot1", 1, "", "", 0, 0, 0, "192.168.0.2", "23", "Robot1"},
        {"192.168.0.2:23:Robot:1", 1, "", "", 0, 0, 0, "", "", ""},  // ':' in the name
        {"COMPUTER:23:x", 0, "", "", 0, 2, 4, "", "", ""},           // "COM": serial
        {"robot.example.internal:2323:Cell", 1, "", "", 0, 0, 0, "robot.example.i", "2323", "Cell"},
    };
    for (const Case& c : cases) {
        CPelinDoc doc;
        doc.comPort = doc.baudRate = doc.ipAddress = doc.telnetPort = "";
        ApplyConnectionText(doc, c.text);
        EXPECT_EQ(doc.isTcp, c.isTcp) << c.text;
        if (c.isTcp == 0) {
            EXPECT_EQ(doc.comPort, c.comPort) << c.text;
            EXPECT_EQ(doc.baudRate, c.baud) << c.text;
            EXPECT_EQ(doc.dataBits, c.dataBits) << c.text;
            EXPECT_EQ(doc.stopBits, c.stopBits) << c.text;
            EXPECT_EQ(doc.parity, c.parity) << c.text;
        } else {
            EXPECT_EQ(doc.ipAddress, c.ip) << c.text;
            EXPECT_EQ(doc.telnetPort, c.port) << c.text;
            EXPECT_EQ(doc.tcpName, c.name) << c.text;
        }
    }
}

TEST(ConnectionMenuTextTest, ShowsUsedEntriesAndDashesForTheRest) {
    const std::vector<ConnectionEntry> used = MakeList({{"COM1:9600:8:2:none", 0}, {"10.0.0.1:23:A", 999}});
    const std::vector<ConnectionEntry> unusedFirst = MakeList({{"10.0.0.1:23:A", 999}});
    const std::vector<ConnectionEntry> empty;
    struct Case {
        const std::vector<ConnectionEntry>* list;
        int command;
        const char* text;
    };
    const Case cases[] = {
        {&used, 32796, "COM1:9600:8:2:none"},
        {&used, 32800, "&1 COM1:9600:8:2:none"},
        {&used, 32801, "&2 ---"},
        {&used, 32804, "&5 ---"},
        {&unusedFirst, 32796, "---"},
        {&unusedFirst, 32800, "&1 ---"},
        {&empty, 32796, "---"},
        {&empty, 32802, "&3 ---"},
        {&used, 32805, ""},
        {&used, 32795, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ConnectionMenuText(*c.list, c.command), c.text) << c.command;
}

TEST(ComCommandEnabledTest, ConnectCommandsWhileDownDisconnectCommandsWhileUp) {
    struct Case {
        int command;
        int whileDown, whileUp;  // 1 enabled, 0 disabled, -1 not a Com command
    };
    const Case cases[] = {{32796, 1, 0}, {32800, 1, 0}, {32804, 1, 0},   {32795, 1, 0},  {32794, 1, 0},
                          {32868, 0, 1}, {32774, 0, 1}, {32805, -1, -1}, {32790, -1, -1}};
    auto code = [](std::optional<bool> v) { return v ? (*v ? 1 : 0) : -1; };
    for (const Case& c : cases) {
        EXPECT_EQ(code(ComCommandEnabled(c.command, 0)), c.whileDown) << c.command;
        EXPECT_EQ(code(ComCommandEnabled(c.command, 1)), c.whileUp) << c.command;
    }
}

}  // namespace
}  // namespace tavrin
