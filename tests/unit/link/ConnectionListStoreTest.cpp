#include "link/ConnectionListStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/IniFile.h"

namespace tavrin {
namespace {

class ConnectionListStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavrin-list-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        profile = folder + "/tavrin.ini";
    }
    void TearDown() override {
        std::remove(profile.c_str());
        rmdir(folder.c_str());
    }
    void WriteFile(const std::string& text) {
        std::ofstream out(profile, std::ios::binary);
        out << text;
    }
    std::string ReadFile() const {
        std::ifstream in(profile, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static ConnectionEntry Serial(const std::string& item, int order) {
        ConnectionEntry e;
        e.IsTcp = 0;
        e.Order = order;
        e.Item = item;
        e.ComPort = 1;
        e.Baud = 9600;
        e.DataBits = 8;
        e.StopBits = 2;
        return e;
    }
    std::string folder, profile;
};

TEST_F(ConnectionListStoreTest, SavesAndLoadsEveryFieldInListOrder) {
    CPelinDoc doc;
    ConnectionEntry tcp;
    tcp.IsTcp = 1;
    tcp.Order = 999;
    tcp.Item = "192.168.0.2:23:Robot 1";
    tcp.TcpName = "Robot 1";
    tcp.Ip = "192.168.0.2";
    tcp.TcpPort = 23;
    ConnectionEntry odd = Serial("COM3:115200:7:1.5:odd", 1);
    odd.ComPort = 3;
    odd.Baud = 115200;
    odd.DataBits = 7;
    odd.StopBits = 1;
    odd.Parity = 1;
    doc.connections = {Serial("COM1:9600:8:2:none", 0), tcp, odd};
    ASSERT_TRUE(SaveConnectionList(doc, profile));

    const std::string text = ReadFile();
    EXPECT_NE(text.find("[Connections]\r\nTotal=3\r\n"), std::string::npos);
    EXPECT_NE(
        text.find("[Connection0]\r\nIsTcp=0\r\nOrder=0\r\nItem=COM1:9600:8:2:none\r\nTcpName=\r\nIp=\r\n"
                  "TcpPort=0\r\nComPort=1\r\nBaud=9600\r\nDataBits=8\r\nStopBits=2\r\nParity=0\r\n"),
        std::string::npos)
        << text;

    CPelinDoc loaded;
    EXPECT_EQ(LoadConnectionList(loaded, profile), 3);
    ASSERT_EQ(loaded.connections.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const ConnectionEntry& a = doc.connections[i];
        const ConnectionEntry& b = loaded.connections[i];
        EXPECT_EQ(a.IsTcp, b.IsTcp);
        EXPECT_EQ(a.Order, b.Order);
        EXPECT_EQ(a.Item, b.Item);
        EXPECT_EQ(a.TcpName, b.TcpName);
        EXPECT_EQ(a.Ip, b.Ip);
        EXPECT_EQ(a.TcpPort, b.TcpPort);
        EXPECT_EQ(a.ComPort, b.ComPort);
        EXPECT_EQ(a.Baud, b.Baud);
        EXPECT_EQ(a.DataBits, b.DataBits);
        EXPECT_EQ(a.StopBits, b.StopBits);
        EXPECT_EQ(a.Parity, b.Parity);
    }
}

TEST_F(ConnectionListStoreTest, TotalIsClampedAndReadAsALeadingNumber) {
    struct Case {
        const char* total;
        int loaded;
    };
    const Case cases[] = {{"300", 256}, {"256", 256}, {"-5", 0}, {"abc", 0}, {"", 0}, {" 2x", 2}, {"+1", 1}};
    for (const Case& c : cases) {
        std::string text = "[Connections]\r\nTotal=" + std::string(c.total) + "\r\n";
        for (int i = 0; i < 300; ++i) {
            text += "[Connection" + std::to_string(i) + "]\r\nItem=E" + std::to_string(i) +
                    "\r\nOrder=" + std::to_string(i) + "\r\n";
        }
        WriteFile(text);
        CPelinDoc doc;
        doc.connections = {Serial("stale", 0)};
        EXPECT_EQ(LoadConnectionList(doc, profile), c.loaded) << c.total;
        ASSERT_EQ(doc.connections.size(), static_cast<size_t>(c.loaded));
        if (c.loaded > 0) {
            EXPECT_EQ(doc.connections.front().Item, "E0");
            EXPECT_EQ(doc.connections.back().Item, "E" + std::to_string(c.loaded - 1));
        }
    }
}

TEST_F(ConnectionListStoreTest, MissingAndOddValuesLoadAsTheirDefaults) {
    WriteFile(
        "[Connections]\r\nTotal=2\r\n"
        "[Connection0]\r\nItem=COM1:9600:8:2:none\r\nStopBits=258\r\nDataBits=-248\r\nBaud=96oo\r\n"
        "[Connection1]\r\nIsTcp=1\r\nOrder=999\r\n");
    CPelinDoc doc;
    ASSERT_EQ(LoadConnectionList(doc, profile), 2);
    const ConnectionEntry& a = doc.connections[0];
    EXPECT_EQ(a.Order, 0);     // no Order key: recency 0
    EXPECT_EQ(a.StopBits, 2);  // 258: the low 8 bits
    EXPECT_EQ(a.DataBits, 8);  // -248: the low 8 bits
    EXPECT_EQ(a.Baud, 96);     // the leading digits
    EXPECT_EQ(a.IsTcp, 0);
    EXPECT_EQ(a.TcpName, "");
    const ConnectionEntry& b = doc.connections[1];
    EXPECT_EQ(b.IsTcp, 1);
    EXPECT_EQ(b.Order, 999);
    EXPECT_EQ(b.Item, "");

    CPelinDoc none;
    std::remove(profile.c_str());
    EXPECT_EQ(LoadConnectionList(none, profile), 0);
    EXPECT_TRUE(none.connections.empty());
}

TEST_F(ConnectionListStoreTest, OnlyTheFirst256EntriesAreSaved) {
    CPelinDoc doc;
    for (int i = 0; i < 257; ++i)
        doc.connections.push_back(Serial("COM1:" + std::to_string(i) + ":8:2:none", i));
    ASSERT_TRUE(SaveConnectionList(doc, profile));
    EXPECT_EQ(ReadProfileString(profile, "Connections", "Total", ""), "256");
    EXPECT_EQ(ReadProfileString(profile, "Connection255", "Item", ""), "COM1:255:8:2:none");
    EXPECT_EQ(ReadProfileString(profile, "Connection256", "Item", "absent"), "absent");
}

TEST_F(ConnectionListStoreTest, AShorterListLeavesOldSectionsThatLoadingIgnores) {
    CPelinDoc doc;
    for (int i = 0; i < 5; ++i)
        doc.connections.push_back(Serial("COM" + std::to_string(i + 1) + ":9600:8:2:none", i));
    ASSERT_TRUE(SaveConnectionList(doc, profile));
    doc.connections.resize(3);
    ASSERT_TRUE(SaveConnectionList(doc, profile));
    EXPECT_EQ(ReadProfileString(profile, "Connection3", "Item", ""), "COM4:9600:8:2:none");
    EXPECT_EQ(ReadProfileString(profile, "Connection4", "Item", ""), "COM5:9600:8:2:none");
    CPelinDoc loaded;
    EXPECT_EQ(LoadConnectionList(loaded, profile), 3);
}

TEST_F(ConnectionListStoreTest, SavingKeepsTheOtherSectionsOfTheFile) {
    WriteFile("[Settings]\r\nLanguage=0\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n");
    CPelinDoc doc;
    doc.connections = {Serial("COM3:9600:8:2:none", 0)};
    ASSERT_TRUE(SaveConnectionList(doc, profile));
    EXPECT_EQ(ReadProfileString(profile, "Settings", "Language", ""), "0");
    EXPECT_EQ(ReadProfileString(profile, "Ports", "COM3", ""), "/dev/ttyUSB0");
}

TEST(DecimalValueTest, ReadsLikeAPlainDecimalConversion) {
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {{"", 0},
                          {"12", 12},
                          {"  7", 7},
                          {"-3", -3},
                          {"+4", 4},
                          {"9x1", 9},
                          {"x9", 0},
                          {"-", 0},
                          {"1.5", 1},
                          {"99999999999", 2147483647},
                          {"-99999999999", -2147483647 - 1}};
    for (const Case& c : cases) EXPECT_EQ(DecimalValue(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace tavrin
