// The rules of the Options and Select Connection dialogs: loading texts into the controls, the
// page buttons with their checks and messages, the new list at OK, the port list.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "link/ConnectionPages.h"

namespace tavrin {
namespace {

using Items = std::vector<std::string>;

ConnectionEntry Entry(const std::string& item, int order, int isTcp = -1) {
    ConnectionEntry e;
    e.Item = item;
    e.Order = order;
    e.IsTcp = isTcp >= 0 ? isTcp : (item.compare(0, 3, "COM") == 0 ? 0 : 1);
    return e;
}

TEST(PageMessageTextTest, GivesEachTextInBothLanguagesWithItsTrailingBlank) {
    struct Case {
        PageMessage message;
        const char* english;
        const char* japanese;
    };
    const Case cases[] = {
        {PageMessage::AddLimit, "It is not possible to add it any further ! ", "これ以上は追加出来ません。 "},
        {PageMessage::InsertLimit, "It is not possible to insert it any further ! ",
         "これ以上は挿入出来ません。 "},
        {PageMessage::Duplicate, "It already existed in the list! ",
         "その組み合わせは、既にリストに存在しています。 "},
        {PageMessage::IpAddress, "Input Error [IP Address] ! ", "IPアドレスを入力して下さい。 "},
        {PageMessage::PortNo, "Input Error [Port No] ! ", "ポート番号を入力して下さい。 "},
        {PageMessage::Name, "Input Error [Name] ! ", "名称を入力して下さい。 "},
        {PageMessage::None, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PageMessageText(c.message, 1), c.english);
        EXPECT_EQ(PageMessageText(c.message, 0), c.japanese);
    }
    // The texts added for the checks of this port keep the same shape.
    for (PageMessage m : {PageMessage::PortNoRange, PageMessage::NameColon, PageMessage::SerialPort,
                          PageMessage::OutOfMemory}) {
        for (int language : {0, 1}) {
            const std::string text = PageMessageText(m, language);
            ASSERT_FALSE(text.empty());
            EXPECT_EQ(text.back(), ' ');
        }
    }
}

TEST(ComPageModelTest, LoadsASerialTextIntoTheComboIndices) {
    struct Case {
        const char* text;
        ComControls expected;
    };
    // Starting controls: every index at 1, so an untouched control shows.
    const ComControls start{1, 1, 1, 1, 1};
    const Case cases[] = {
        {"COM1:9600:8:2:none", {0, 6, 4, 2, 0}},
        {"COM12:110:4:1:odd", {11, 0, 0, 0, 1}},
        {"COM16:128000:5:1.5:even", {15, 12, 1, 1, 2}},
        {"COM2:256000:7:2:mark", {1, 13, 3, 2, 3}},
        {"COM2:12345:6:x:space", {1, 13, 2, 2, 4}},
        {"COM2:9600:9:2:bogus", {1, 6, 4, 2, 4}},  // data bits beyond the list show 8
        {"COM2:9600:x:2:none", {1, 6, 4, 2, 0}},
        {"COM17:9600:8:2:none", {-1, 6, 4, 2, 0}},  // beyond the port list: no port shown
        {"COM0:9600:8:2:none", {-1, 6, 4, 2, 0}},
        {"COMx:9600:8:2:none", {-1, 6, 4, 2, 0}},
        {"COM1:9600:8:2", {1, 1, 1, 1, 1}},  // four fields change nothing
        {"COM1:9600:8:2:none:x", {1, 1, 1, 1, 1}},
        {"", {1, 1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        CComPageModel page(16);
        page.controls = start;
        page.LoadText(c.text);
        EXPECT_EQ(page.controls.port, c.expected.port) << c.text;
        EXPECT_EQ(page.controls.baud, c.expected.baud) << c.text;
        EXPECT_EQ(page.controls.dataBits, c.expected.dataBits) << c.text;
        EXPECT_EQ(page.controls.stopBits, c.expected.stopBits) << c.text;
        EXPECT_EQ(page.controls.parity, c.expected.parity) << c.text;
    }
}

TEST(ComPageModelTest, OpeningSelectsTheFirstItemOrShowsTheDefaults) {
    CComPageModel empty(4);
    empty.controls = {3, 3, 3, 0, 3};
    empty.Open({});
    EXPECT_EQ(empty.list.Selection(), -1);
    EXPECT_EQ(empty.BuildText(), "COM1:9600:8:2:none");

    // A saved connection on a port this machine lacks still loads: the list reaches COM12.
    CComPageModel page(4);
    page.Open({"COM12:19200:7:1:odd", "COM2:9600:8:2:none"});
    EXPECT_EQ(page.list.Selection(), 0);
    EXPECT_EQ(page.Ports().size(), 12u);
    EXPECT_EQ(page.controls.port, 11);
    EXPECT_EQ(page.BuildText(), "COM12:19200:7:1:odd");
    page.Select(1);
    EXPECT_EQ(page.BuildText(), "COM2:9600:8:2:none");
    page.Select(5);  // no such item: nothing selected, controls kept
    EXPECT_EQ(page.list.Selection(), -1);
    EXPECT_EQ(page.BuildText(), "COM2:9600:8:2:none");
}

struct ButtonCase {
    const char* what;
    Items items;
    int selection;
    ComControls controls;
    PageButton button;
    bool listFull;
    PageMessage message;
    Items itemsAfter;
    int selectionAfter;
};

void PressCom(CComPageModel& page, PageButton button, bool listFull, PageMessage* message) {
    switch (button) {
        case PageButton::Add: *message = page.Add(listFull); break;
        case PageButton::Insert: *message = page.Insert(listFull); break;
        case PageButton::Edit: *message = page.Edit(); break;
        case PageButton::Delete:
            page.Delete();
            *message = PageMessage::None;
            break;
    }
}

TEST(ComPageModelTest, ButtonsCheckTheLimitAndDuplicatesThenEditTheList) {
    const Items two = {"COM1:9600:8:2:none", "COM2:9600:8:2:none"};
    const ComControls com3{2, 6, 4, 2, 0};     // COM3:9600:8:2:none
    const ComControls com2{1, 6, 4, 2, 0};     // COM2:9600:8:2:none, already listed
    const ComControls noPort{-1, 6, 4, 2, 0};  // an empty port list shows no port
    const ButtonCase cases[] = {
        {"add appends and selects",
         two,
         0,
         com3,
         PageButton::Add,
         false,
         PageMessage::None,
         {two[0], two[1], "COM3:9600:8:2:none"},
         2},
        {"add refused when full", two, 0, com3, PageButton::Add, true, PageMessage::AddLimit, two, 0},
        {"add refuses a duplicate", two, 0, com2, PageButton::Add, false, PageMessage::Duplicate, two, 0},
        {"add without a port", two, 0, noPort, PageButton::Add, false, PageMessage::SerialPort, two, 0},
        {"insert goes before the selection",
         two,
         1,
         com3,
         PageButton::Insert,
         false,
         PageMessage::None,
         {two[0], "COM3:9600:8:2:none", two[1]},
         1},
        {"insert with no selection does nothing", two, -1, com3, PageButton::Insert, false, PageMessage::None,
         two, -1},
        {"insert refused when full", two, 1, com3, PageButton::Insert, true, PageMessage::InsertLimit, two,
         1},
        {"insert refuses a duplicate", two, 1, com2, PageButton::Insert, false, PageMessage::Duplicate, two,
         1},
        {"edit replaces the selection",
         two,
         0,
         com3,
         PageButton::Edit,
         false,
         PageMessage::None,
         {"COM3:9600:8:2:none", two[1]},
         0},
        {"edit has no size check",
         two,
         0,
         com3,
         PageButton::Edit,
         true,
         PageMessage::None,
         {"COM3:9600:8:2:none", two[1]},
         0},
        {"edit into an existing text is silent", two, 0, com2, PageButton::Edit, false, PageMessage::None,
         two, 0},
        {"edit leaving the item unchanged", two, 1, com2, PageButton::Edit, false, PageMessage::None, two, 1},
        {"edit with no selection", two, -1, com3, PageButton::Edit, false, PageMessage::None, two, -1},
        {"delete removes the selection",
         two,
         0,
         com3,
         PageButton::Delete,
         false,
         PageMessage::None,
         {two[1]},
         -1},
        {"delete with no selection", two, -1, com3, PageButton::Delete, false, PageMessage::None, two, -1},
        {"add to an empty list",
         {},
         -1,
         com3,
         PageButton::Add,
         false,
         PageMessage::None,
         {"COM3:9600:8:2:none"},
         0},
    };
    for (const ButtonCase& c : cases) {
        CComPageModel page(4);
        page.list.SetItems(c.items);
        page.list.SetSelection(c.selection);
        page.controls = c.controls;
        PageMessage message = PageMessage::None;
        PressCom(page, c.button, c.listFull, &message);
        EXPECT_EQ(message, c.message) << c.what;
        EXPECT_EQ(page.list.Items(), c.itemsAfter) << c.what;
        EXPECT_EQ(page.list.Selection(), c.selectionAfter) << c.what;
    }
}

TEST(TcpPageModelTest, LoadsATcpTextIntoTheEntries) {
    struct Case {
        const char* text;
        std::optional<std::array<uint8_t, 4>> address;
        const char* port;
        const char* name;
    };
    const std::array<uint8_t, 4> start = {9, 9, 9, 9};
    const Case cases[] = {
        {"192.168.0.2:23:Robot1", std::array<uint8_t, 4>{192, 168, 0, 2}, "23", "Robot1"},
        {"10.0.0.255:10023:x", std::array<uint8_t, 4>{10, 0, 0, 255}, "10023", "x"},
        {"10.0.0.256:23:x", std::nullopt, "23", "x"},  // not an address: the entry shows blank
        {"10.0.0:23:x", std::nullopt, "23", "x"},
        {"host:23:x", std::nullopt, "23", "x"},
        {"1.2.3.4:23", start, "p", "n"},  // two fields change nothing
        {"1.2.3.4:23:a:b", start, "p", "n"},
    };
    for (const Case& c : cases) {
        CTcpPageModel page;
        page.controls = {start, "p", "n"};
        page.LoadText(c.text);
        EXPECT_EQ(page.controls.address, c.address) << c.text;
        EXPECT_EQ(page.controls.port, c.port) << c.text;
        EXPECT_EQ(page.controls.name, c.name) << c.text;
    }
}

TEST(TcpPageModelTest, ChecksTheEntriesInOrderBeforeBuildingTheText) {
    const auto addr = std::array<uint8_t, 4>{192, 168, 0, 2};
    struct Case {
        TcpControls controls;
        PageMessage message;
        const char* text;
    };
    const Case cases[] = {
        {{addr, "23", "Robot1"}, PageMessage::None, "192.168.0.2:23:Robot1"},
        {{std::nullopt, "", ""}, PageMessage::IpAddress, ""},
        {{addr, "", ""}, PageMessage::PortNo, ""},
        {{addr, "23", ""}, PageMessage::Name, ""},
        {{addr, "23", "   "}, PageMessage::Name, ""},
        {{addr, "0", "x"}, PageMessage::PortNoRange, ""},
        {{addr, "65536", "x"}, PageMessage::PortNoRange, ""},
        {{addr, "123456", "x"}, PageMessage::PortNoRange, ""},
        {{addr, "2a", "x"}, PageMessage::PortNoRange, ""},
        {{addr, "65535", "x"}, PageMessage::None, "192.168.0.2:65535:x"},
        {{addr, "23", "a:b"}, PageMessage::NameColon, ""},
        {{addr, "23", "a\nb"}, PageMessage::Name, ""},
        {{addr, "23", "  Robot 1 "}, PageMessage::None, "192.168.0.2:23:Robot 1"},
        {{addr, "23", "ロボット"}, PageMessage::None, "192.168.0.2:23:ロボット"},
    };
    for (const Case& c : cases) {
        CTcpPageModel page;
        page.controls = c.controls;
        std::string text;
        EXPECT_EQ(page.BuildText(&text), c.message) << c.controls.port << " " << c.controls.name;
        EXPECT_EQ(text, c.text);
    }
}

TEST(TcpPageModelTest, ButtonsCheckLimitInputsAndDuplicates) {
    const Items two = {"10.0.0.1:23:a", "10.0.0.2:23:b"};
    const TcpControls fresh{std::array<uint8_t, 4>{10, 0, 0, 3}, "23", "c"};
    const TcpControls dup{std::array<uint8_t, 4>{10, 0, 0, 2}, "23", "b"};
    const TcpControls blank{std::nullopt, "23", "c"};
    struct Case {
        const char* what;
        int selection;
        TcpControls controls;
        PageButton button;
        bool listFull;
        PageMessage message;
        Items itemsAfter;
        int selectionAfter;
    };
    const Case cases[] = {
        {"add", 0, fresh, PageButton::Add, false, PageMessage::None, {two[0], two[1], "10.0.0.3:23:c"}, 2},
        {"add full comes before the inputs", 0, blank, PageButton::Add, true, PageMessage::AddLimit, two, 0},
        {"add blank address", 0, blank, PageButton::Add, false, PageMessage::IpAddress, two, 0},
        {"add duplicate", 0, dup, PageButton::Add, false, PageMessage::Duplicate, two, 0},
        {"insert",
         1,
         fresh,
         PageButton::Insert,
         false,
         PageMessage::None,
         {two[0], "10.0.0.3:23:c", two[1]},
         1},
        {"insert without selection", -1, fresh, PageButton::Insert, false, PageMessage::None, two, -1},
        {"insert full", 1, fresh, PageButton::Insert, true, PageMessage::InsertLimit, two, 1},
        {"edit", 1, fresh, PageButton::Edit, true, PageMessage::None, {two[0], "10.0.0.3:23:c"}, 1},
        {"edit checks the inputs", 1, blank, PageButton::Edit, false, PageMessage::IpAddress, two, 1},
        {"edit into a duplicate is silent", 0, dup, PageButton::Edit, false, PageMessage::None, two, 0},
        {"delete", 1, fresh, PageButton::Delete, false, PageMessage::None, {two[0]}, -1},
    };
    for (const Case& c : cases) {
        CTcpPageModel page;
        page.list.SetItems(two);
        page.list.SetSelection(c.selection);
        page.controls = c.controls;
        PageMessage message = PageMessage::None;
        switch (c.button) {
            case PageButton::Add: message = page.Add(c.listFull); break;
            case PageButton::Insert: message = page.Insert(c.listFull); break;
            case PageButton::Edit: message = page.Edit(); break;
            case PageButton::Delete: page.Delete(); break;
        }
        EXPECT_EQ(message, c.message) << c.what;
        EXPECT_EQ(page.list.Items(), c.itemsAfter) << c.what;
        EXPECT_EQ(page.list.Selection(), c.selectionAfter) << c.what;
    }
}

TEST(TcpPageModelTest, OpeningShowsTheDefaultsForAnEmptyList) {
    CTcpPageModel page;
    page.controls = {std::nullopt, "", ""};
    page.Open({});
    std::string text;
    EXPECT_EQ(page.BuildText(&text), PageMessage::None);
    EXPECT_EQ(text, "127.0.0.1:23:----");
}

std::vector<ConnectionEntry> ListOf(int serial, int tcp) {
    std::vector<ConnectionEntry> list;
    for (int i = 0; i < serial; ++i)
        list.push_back(Entry("COM1:" + std::to_string(1000 + i) + ":8:2:none", i));
    for (int i = 0; i < tcp; ++i) list.push_back(Entry("10.0.0.1:" + std::to_string(1000 + i) + ":t", 999));
    return list;
}

TEST(OptionsModelTest, TheSizeLimitCountsWhatBothPagesHoldNow) {
    // One below the limit: one more fits, on either page, and the next is refused on both.
    COptionsModel options(ListOf(200, 55), 4);
    options.com.controls = {3, 0, 0, 0, 0};
    EXPECT_EQ(options.Press(OptionsPage::Com, PageButton::Add), PageMessage::None);
    options.tcp.controls.name = "new";
    EXPECT_EQ(options.Press(OptionsPage::Tcp, PageButton::Add), PageMessage::AddLimit);
    EXPECT_EQ(options.Press(OptionsPage::Tcp, PageButton::Insert), PageMessage::InsertLimit);
    options.com.controls = {3, 1, 0, 0, 0};
    EXPECT_EQ(options.Press(OptionsPage::Com, PageButton::Add), PageMessage::AddLimit);
    // Edit has no size check.
    EXPECT_EQ(options.Press(OptionsPage::Com, PageButton::Edit), PageMessage::None);
    // Deleting one makes room again.
    options.com.list.SetSelection(0);
    EXPECT_EQ(options.Press(OptionsPage::Com, PageButton::Delete), PageMessage::None);
    EXPECT_EQ(options.Press(OptionsPage::Tcp, PageButton::Add), PageMessage::None);
    std::vector<ConnectionEntry> list = options.BuildConnections();
    EXPECT_EQ(list.size(), static_cast<size_t>(kConnectionListLimit));
}

TEST(OptionsModelTest, OkBuildsSerialFirstKeepingTheRecencyOfKeptTexts) {
    const std::vector<ConnectionEntry> old = {
        Entry("10.0.0.1:23:a", 0),   Entry("COM1:9600:8:2:none", 1), Entry("COM2:9600:8:2:none", 2),
        Entry("10.0.0.2:23:b", 999), Entry("10.0.0.3:23:c", 3),
    };
    COptionsModel options(old, 4);
    EXPECT_EQ(options.com.list.Items(), (Items{"COM1:9600:8:2:none", "COM2:9600:8:2:none"}));
    EXPECT_EQ(options.tcp.list.Items(), (Items{"10.0.0.1:23:a", "10.0.0.2:23:b", "10.0.0.3:23:c"}));
    // Change COM2 into COM4 (a new text), delete c, add d.
    options.com.Select(1);
    options.com.controls.port = 3;
    EXPECT_EQ(options.Press(OptionsPage::Com, PageButton::Edit), PageMessage::None);
    options.tcp.Select(2);
    options.Press(OptionsPage::Tcp, PageButton::Delete);
    options.tcp.controls = {std::array<uint8_t, 4>{10, 0, 0, 4}, "2323", "d"};
    EXPECT_EQ(options.Press(OptionsPage::Tcp, PageButton::Add), PageMessage::None);

    std::vector<ConnectionEntry> list = old;
    ASSERT_EQ(options.Accept(list), PageMessage::None);
    struct Expected {
        const char* item;
        int order;
        int isTcp;
    };
    const Expected expected[] = {
        {"COM1:9600:8:2:none", 1, 0}, {"COM4:9600:8:2:none", 999, 0}, {"10.0.0.1:23:a", 0, 1},
        {"10.0.0.2:23:b", 999, 1},    {"10.0.0.4:2323:d", 999, 1},
    };
    ASSERT_EQ(list.size(), std::size(expected));
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].Item, expected[i].item);
        EXPECT_EQ(list[i].Order, expected[i].order) << expected[i].item;
        EXPECT_EQ(list[i].IsTcp, expected[i].isTcp) << expected[i].item;
    }
    EXPECT_EQ(list[1].ComPort, 4);
    EXPECT_EQ(list[4].Ip, "10.0.0.4");
    EXPECT_EQ(list[4].TcpPort, 2323);
    EXPECT_EQ(list[4].TcpName, "d");
}

TEST(OptionsModelTest, TheFirstOldEntryWithTheTextGivesTheRecency) {
    // Two old entries with one text (a hand-edited file): the first one's recency is taken.
    COptionsModel options({Entry("COM1:9600:8:2:none", 5), Entry("COM1:9600:8:2:none", 2)}, 4);
    std::vector<ConnectionEntry> list;
    ASSERT_EQ(options.Accept(list), PageMessage::None);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Order, 5);
    EXPECT_EQ(list[1].Order, 5);
}

TEST(OptionsModelTest, EntriesAreParsedFromTheirTextsAndMalformedOnesComeOutEmpty) {
    struct Case {
        const char* item;
        int isTcp;  // the page the old entry sat on
        ConnectionEntry expected;
    };
    auto serial = [](int port, int baud, int data, int stop, int parity) {
        ConnectionEntry e;
        e.IsTcp = 0;
        e.ComPort = port;
        e.Baud = baud;
        e.DataBits = static_cast<uint8_t>(data);
        e.StopBits = static_cast<uint8_t>(stop);
        e.Parity = static_cast<uint8_t>(parity);
        return e;
    };
    auto tcp = [](const char* ip, int port, const char* name) {
        ConnectionEntry e;
        e.IsTcp = 1;
        e.Ip = ip;
        e.TcpPort = port;
        e.TcpName = name;
        return e;
    };
    const Case cases[] = {
        {"COM12:115200:7:1.5:even", 0, serial(12, 115200, 7, 1, 2)},
        {"COM3:300:5:1:mark", 0, serial(3, 300, 5, 0, 3)},
        {"COM3:300:5:3:weird", 0, serial(3, 300, 5, 2, 4)},
        {"COM3:9600:8:2", 0, serial(0, 0, 0, 0, 0)},
        {"1.2.3.4:23:x", 0, serial(0, 0, 0, 0, 0)},  // a TCP/IP shape on the serial page
        {"1.2.3.4:23:x", 1, tcp("1.2.3.4", 23, "x")},
        {"1.2.3.4:23:x:y", 1, tcp("", 0, "")},
        {"1.2.3.4:23", 1, tcp("", 0, "")},
    };
    for (const Case& c : cases) {
        COptionsModel options({Entry(c.item, 999, c.isTcp)}, 4);
        std::vector<ConnectionEntry> list;
        ASSERT_EQ(options.Accept(list), PageMessage::None);
        ASSERT_EQ(list.size(), 1u);
        const ConnectionEntry& e = list[0];
        EXPECT_EQ(e.Item, c.item);
        EXPECT_EQ(e.IsTcp, c.expected.IsTcp) << c.item;
        EXPECT_EQ(e.ComPort, c.expected.ComPort) << c.item;
        EXPECT_EQ(e.Baud, c.expected.Baud) << c.item;
        EXPECT_EQ(e.DataBits, c.expected.DataBits) << c.item;
        EXPECT_EQ(e.StopBits, c.expected.StopBits) << c.item;
        EXPECT_EQ(e.Parity, c.expected.Parity) << c.item;
        EXPECT_EQ(e.Ip, c.expected.Ip) << c.item;
        EXPECT_EQ(e.TcpPort, c.expected.TcpPort) << c.item;
        EXPECT_EQ(e.TcpName, c.expected.TcpName) << c.item;
    }
}

TEST(DottedAddressTest, ParsesOnlyFourDecimalNumbersUpTo255) {
    struct Case {
        const char* text;
        std::optional<std::array<uint8_t, 4>> address;
    };
    const Case cases[] = {
        {"127.0.0.1", std::array<uint8_t, 4>{127, 0, 0, 1}},
        {"255.255.255.255", std::array<uint8_t, 4>{255, 255, 255, 255}},
        {"010.1.1.1", std::array<uint8_t, 4>{10, 1, 1, 1}},
        {"", std::nullopt},
        {"...", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1.2.3.", std::nullopt},
        {"1.2.3.4.", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"256.1.1.1", std::nullopt},
        {"1.2.3.0004", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.-3.4", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDottedAddress(c.text), c.address) << c.text;
    EXPECT_EQ(FormatDottedAddress({192, 168, 0, 20}), "192.168.0.20");
}

TEST(HighestPortNumberTest, CountsTheComNumbersWhoseDeviceIsPresent) {
    struct Case {
        const char* what;
        ProfileEntries ports;
        std::set<std::string> present;
        int expected;
    };
    const Case cases[] = {
        {"nothing present", {}, {}, 0},
        {"ttyS0 only", {}, {"/dev/ttyS0"}, 1},
        {"a gap below the highest", {}, {"/dev/ttyS0", "/dev/ttyS3"}, 4},
        {"a USB device counts through its mapping",
         {{"COM7", "/dev/ttyUSB0"}},
         {"/dev/ttyS0", "/dev/ttyUSB0"},
         7},
        {"a mapping of any case", {{"com9", "/dev/ttyACM0"}}, {"/dev/ttyACM0"}, 9},
        {"a mapping to a missing device", {{"COM7", "/dev/ttyUSB1"}}, {"/dev/ttyS1"}, 2},
        {"a mapping replaces the default device", {{"COM4", "/dev/ttyUSB0"}}, {"/dev/ttyS3"}, 0},
        {"an empty mapping keeps the default", {{"COM4", ""}}, {"/dev/ttyS3"}, 4},
        {"names that are not COMn",
         {{"PORTA", "/dev/ttyUSB0"}, {"COM", "/dev/ttyUSB0"}},
         {"/dev/ttyUSB0"},
         0},
        {"never beyond COM256", {{"COM300", "/dev/ttyUSB0"}}, {"/dev/ttyUSB0", "/dev/ttyS300"}, 0},
        {"the first line of a key wins",
         {{"COM5", "/dev/ttyUSB0"}, {"COM5", "/dev/ttyUSB1"}},
         {"/dev/ttyUSB1"},
         0},
    };
    for (const Case& c : cases) {
        auto present = [&c](const std::string& device) { return c.present.count(device) != 0; };
        EXPECT_EQ(HighestPortNumber(c.ports, present), c.expected) << c.what;
    }
}

TEST(HighestPortNumberTest, PortChoicesRunFromCom1) {
    EXPECT_EQ(PortChoices(0), Items{});
    EXPECT_EQ(PortChoices(3), (Items{"COM1", "COM2", "COM3"}));
    EXPECT_EQ(PortChoices(-4), Items{});
    EXPECT_EQ(PortChoices(100000).size(), static_cast<size_t>(kMaxListedPort));
}

TEST(SelectConnectionTest, SetsTheConnectionFromTheChosenTextAndMarksItUsed) {
    CPelinDoc doc;
    doc.connections = {Entry("COM2:19200:7:1:odd", 0), Entry("192.168.0.9:2323:Arm", 1),
                       Entry("10.0.0.1:23:x", 999)};
    EXPECT_EQ(SelectConnection(doc, -1), -1);
    EXPECT_EQ(SelectConnection(doc, 3), -1);
    EXPECT_EQ(doc.isTcp, 0);
    EXPECT_EQ(doc.connections[0].Order, 0);

    ASSERT_EQ(SelectConnection(doc, 2), 0);
    EXPECT_EQ(doc.isTcp, 1);
    EXPECT_EQ(doc.ipAddress, "10.0.0.1");
    EXPECT_EQ(doc.telnetPort, "23");
    EXPECT_EQ(doc.tcpName, "x");
    ASSERT_EQ(doc.connections.size(), 3u);
    EXPECT_EQ(doc.connections[0].Item, "10.0.0.1:23:x");
    EXPECT_EQ(doc.connections[0].Order, 0);
    EXPECT_EQ(doc.connections[1].Order, 1);
    EXPECT_EQ(doc.connections[2].Order, 2);

    ASSERT_EQ(SelectConnection(doc, 1), 0);  // now COM2:19200:7:1:odd
    EXPECT_EQ(doc.isTcp, 0);
    EXPECT_EQ(doc.comPort, "COM2");
    EXPECT_EQ(doc.baudRate, "19200");
    EXPECT_EQ(doc.dataBits, 7);
    EXPECT_EQ(doc.stopBits, 0);
    EXPECT_EQ(doc.parity, 1);
    EXPECT_EQ(doc.connections[0].Item, "COM2:19200:7:1:odd");
}

}  // namespace
}  // namespace tavrin
