#include "link/SerialPortList.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "FakeSerialPorts.h"
#include "app/IniFile.h"
#include "app/Language.h"

namespace tavrin {
namespace {

using testing::AcmBoard;
using testing::FakeSerialPorts;
using testing::FtdiAdapter;
using testing::Uart;

// Symlinks resolved from a table instead of the file system.
DevicePathResolver Links(std::map<std::string, std::string> links) {
    return [links](const std::string& path) {
        auto it = links.find(path);
        return it == links.end() ? path : it->second;
    };
}

struct Expected {
    std::string comName;
    std::string device;  // empty: absent
};

std::vector<Expected> Summary(const std::vector<SerialPortRow>& rows) {
    std::vector<Expected> out;
    for (const SerialPortRow& r : rows) out.push_back({r.comName, r.present ? r.info.device : ""});
    return out;
}

bool operator==(const Expected& a, const Expected& b) {
    return a.comName == b.comName && a.device == b.device;
}
void PrintTo(const Expected& e, std::ostream* os) {
    *os << "{" << e.comName << ", " << e.device << "}";
}

TEST(SerialPortRows, MappedPresentAbsentAndUnnamedDevices) {
    struct Case {
        const char* what;
        std::vector<SerialPortInfo> present;
        ProfileEntries ports;
        std::map<std::string, std::string> links;
        std::vector<Expected> rows;
    };
    const Case cases[] = {
        {"nothing present, nothing mapped", {}, {}, {}, {}},
        {"a device nobody named is offered on its own", {FtdiAdapter()}, {}, {}, {{"", "/dev/ttyUSB0"}}},
        {"a mapping by kernel name",
         {FtdiAdapter()},
         {{"COM3", "/dev/ttyUSB0"}},
         {},
         {{"COM3", "/dev/ttyUSB0"}}},
        {"a mapping by the by-id name",
         {FtdiAdapter()},
         {{"COM4", FtdiAdapter().stableName}},
         {},
         {{"COM4", "/dev/ttyUSB0"}}},
        {"a mapping through another symlink that resolves to the node",
         {AcmBoard()},
         {{"COM2", "/home/op/robot-port"}},
         {{"/home/op/robot-port", "/dev/ttyACM0"}},
         {{"COM2", "/dev/ttyACM0"}}},
        {"a mapped device that is unplugged is listed as absent",
         {AcmBoard()},
         {{"COM3", FtdiAdapter().stableName}},
         {},
         {{"COM3", ""}, {"", "/dev/ttyACM0"}}},
        {"a real UART keeps its built-in name; COM numbers come in order",
         {Uart(0), FtdiAdapter()},
         {{"COM7", "/dev/ttyUSB0"}},
         {},
         {{"COM1", "/dev/ttyS0"}, {"COM7", "/dev/ttyUSB0"}}},
        {"a mapping of COM1 elsewhere hides the UART's built-in name",
         {Uart(0)},
         {{"COM1", "/dev/ttyUSB5"}},
         {},
         {{"COM1", ""}, {"", "/dev/ttyS0"}}},
        {"keys in any case; the first of a repeated key wins; non-COM keys and empty values are ignored",
         {FtdiAdapter()},
         {{"com5", "/dev/ttyUSB0"}, {"COM5", "/dev/ttyUSB9"}, {"Modem", "/dev/ttyUSB0"}, {"COM6", ""}},
         {},
         {{"COM5", "/dev/ttyUSB0"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Summary(BuildSerialPortRows(c.present, c.ports, Links(c.links))), c.rows);
    }
}

TEST(SerialPortRows, NextFreeComNumberSkipsMappedAndBuiltInNames) {
    struct Case {
        const char* what;
        std::vector<SerialPortInfo> present;
        ProfileEntries ports;
        int next;
    };
    const Case cases[] = {
        {"empty", {}, {}, 1},
        {"COM1 is a UART", {Uart(0)}, {}, 2},
        {"gaps are filled", {Uart(0)}, {{"COM2", "/dev/ttyUSB0"}, {"COM4", "/dev/ttyACM0"}}, 3},
        {"an absent mapping still holds its name", {}, {{"com1", "/dev/serial/by-id/x"}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(NextFreeComNumber(BuildSerialPortRows(c.present, c.ports, Links({})), c.ports), c.next);
    }
}

TEST(SerialPortRows, ComPortNumberTakesLowerCaseOnlyWhenAsked) {
    struct Case {
        const char* name;
        int exact;
        int anyCase;
    };
    const Case cases[] = {
        {"COM1", 1, 1},     {"COM9999", 9999, 9999}, {"com3", 0, 3},  {"COm3", 0, 0}, {"COM", 0, 0},
        {"COM10000", 0, 0}, {"COM3a", 0, 0},         {"COM 3", 0, 0}, {"LPT1", 0, 0}, {"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ComPortNumber(c.name), c.exact);
        EXPECT_EQ(ComPortNumber(c.name, true), c.anyCase);
    }
}

TEST(SerialPortRows, LabelsAndListLinesInBothLanguages) {
    const auto rows =
        BuildSerialPortRows({FtdiAdapter(), Uart(0), AcmBoard()},
                            {{"COM3", "/dev/ttyUSB0"}, {"COM9", "/dev/serial/by-id/usb-gone"}}, Links({}));
    ASSERT_EQ(rows.size(), 4u);  // COM1 (UART), COM3, COM9 (absent), the ACM board
    EXPECT_EQ(PortRowLabel(rows[1], 1), "COM3 — FTDI FT232R USB UART A50285BI — /dev/ttyUSB0");
    EXPECT_EQ(PortRowLabel(rows[0], 1), "COM1 — serial8250 — /dev/ttyS0");  // only the driver is known
    EXPECT_EQ(PortRowLabel(rows[2], 1), "COM9 — (absent) — /dev/serial/by-id/usb-gone");
    EXPECT_EQ(PortRowLabel(rows[2], 0), "COM9 — (未接続) — /dev/serial/by-id/usb-gone");
    EXPECT_EQ(PortRowLabel(rows[3], 1), "(new) — Arduino SA Uno R3 7563331 — /dev/ttyACM0");
    EXPECT_EQ(PortRowLabel(rows[3], 0), "(新規) — Arduino SA Uno R3 7563331 — /dev/ttyACM0");

    EXPECT_EQ(PortRowListLine(rows[0]), "COM1\t/dev/ttyS0\t-\tserial8250");
    EXPECT_EQ(PortRowListLine(rows[1]),
              "COM3\t/dev/ttyUSB0\t/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\t"
              "FTDI FT232R USB UART A50285BI");
    EXPECT_EQ(PortRowListLine(rows[2]), "COM9\t-\t/dev/serial/by-id/usb-gone\t(absent)");
    EXPECT_EQ(PortRowListLine(rows[3]),
              "-\t/dev/ttyACM0\t/dev/serial/by-id/usb-Arduino_Uno_7563331-if00\tArduino SA Uno R3 7563331");
    SerialPortRow bare;
    bare.present = true;
    bare.info.device = "/dev/rfcomm0";
    EXPECT_EQ(PortRowListLine(bare), "-\t/dev/rfcomm0\t-\t-");
}

TEST(SerialPortRows, ConnectionItemsShowTheirDevice) {
    const auto rows =
        BuildSerialPortRows({FtdiAdapter()}, {{"COM3", "/dev/ttyUSB0"}, {"COM4", "/dev/gone"}}, Links({}));
    EXPECT_EQ(ConnectionItemLabel("COM3:9600:8:2:none", rows, 1),
              "COM3:9600:8:2:none — FTDI FT232R USB UART A50285BI — /dev/ttyUSB0");
    EXPECT_EQ(ConnectionItemLabel("COM4:9600:8:2:none", rows, 1), "COM4:9600:8:2:none — (absent)");
    EXPECT_EQ(ConnectionItemLabel("COM5:9600:8:2:none", rows, 1), "COM5:9600:8:2:none");
    EXPECT_EQ(ConnectionItemLabel("10.0.0.1:23:COM3", rows, 1), "10.0.0.1:23:COM3");
}

class SerialPortFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavrin-ports-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        profile = folder + "/tavrin.ini";
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string folder, profile;
};

TEST_F(SerialPortFileTest, ANewDeviceGetsTheNextFreeNameWrittenWithItsStableName) {
    std::ofstream(profile)
        << "[Settings]\r\nLanguage=1\r\n[Ports]\r\nCOM1=/dev/ttyS0\r\nCOM2=/dev/ttyACM0\r\n";
    auto rows = BuildSerialPortRows({FtdiAdapter(), AcmBoard()}, ReadPortMappings(profile));
    ASSERT_EQ(rows.back().comName, "");
    EXPECT_EQ(AssignComName(profile, rows, rows.back()), 3);
    EXPECT_EQ(ReadProfileString(profile, "Ports", "COM3", ""), FtdiAdapter().stableName);
    EXPECT_EQ(ReadProfileString(profile, "Settings", "Language", ""), "1");  // the rest is kept

    // Without a by-id name the kernel name is written; named or absent rows get nothing.
    SerialPortInfo rfcomm{"/dev/rfcomm0", "", "", "", "", "rfcomm"};
    rows = BuildSerialPortRows({FtdiAdapter(), AcmBoard(), rfcomm}, ReadPortMappings(profile));
    ASSERT_EQ(rows.back().info.device, "/dev/rfcomm0");
    EXPECT_EQ(AssignComName(profile, rows, rows.back()), 4);
    EXPECT_EQ(ReadProfileString(profile, "Ports", "COM4", ""), "/dev/rfcomm0");
    EXPECT_EQ(AssignComName(profile, rows, rows.front()), 0);
    EXPECT_EQ(AssignComName("", rows, rows.back()), 0);
}

TEST_F(SerialPortFileTest, ListingUsesTheEnumeratorInForce) {
    std::ofstream(profile) << "[Ports]\r\nCOM3=/dev/ttyUSB0\r\n";
    FakeSerialPorts fake;
    fake.ports = {FtdiAdapter()};
    SetSerialPortEnumerator(&fake);
    const auto rows = ListSerialPorts(profile);
    SetSerialPortEnumerator(nullptr);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].comName, "COM3");
    EXPECT_TRUE(rows[0].present);
    // Without an enumerator the mapping is still listed, as absent.
    const auto none = ListSerialPorts(profile);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_FALSE(none[0].present);
}

TEST_F(SerialPortFileTest, RealSymlinksResolveToTheirNode) {
    const std::string link = folder + "/by-id-name";
    std::filesystem::create_symlink("/dev/null", link);
    EXPECT_EQ(ResolveDevicePath(link), "/dev/null");
    EXPECT_EQ(ResolveDevicePath(folder + "/missing"), folder + "/missing");
}

}  // namespace
}  // namespace tavrin
