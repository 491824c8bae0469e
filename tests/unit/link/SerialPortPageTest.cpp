// The Options dialog's serial page over the devices present and the settings file's [Ports].
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FakeSerialPorts.h"
#include "app/IniFile.h"
#include "app/Language.h"
#include "link/ConnectionPages.h"
#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::AcmBoard;
using testing::FtdiAdapter;
using testing::Uart;

class SerialPortPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetCurrentLanguage(1);
        folder = temp.Path();
        profile = folder + "/tavrin.ini";
        std::ofstream(profile) << "[Ports]\r\nCOM3=/dev/ttyUSB0\r\nCOM5=/dev/serial/by-id/usb-gone\r\n";
    }

    static ConnectionEntry Serial(const std::string& item) {
        ConnectionEntry e = SerialEntryFromText(item);
        e.Order = 0;
        return e;
    }

    testing::CTempFolder temp;
    std::string folder, profile;
};

TEST_F(SerialPortPageTest, ThePortListDescribesEveryPortAndOffersUnnamedDevices) {
    COptionsModel model({Serial("COM3:9600:8:2:none")}, 1);
    model.com.UseSerialPorts({Uart(0), FtdiAdapter(), AcmBoard()}, profile);
    // COM1 ... COM5 (the highest name the file maps), then the board no name stands for.
    const std::vector<std::string> expected = {
        "COM1 — serial8250 — /dev/ttyS0",
        "COM2 — (absent) — /dev/ttyS1",
        "COM3 — FTDI FT232R USB UART A50285BI — /dev/ttyUSB0",
        "COM4 — (absent) — /dev/ttyS3",
        "COM5 — (absent) — /dev/serial/by-id/usb-gone",
        "(new) — Arduino SA Uno R3 7563331 — /dev/ttyACM0",
        "Network serial port…",
    };
    EXPECT_EQ(model.com.PortLabels(), expected);
    EXPECT_EQ(model.com.Ports().size(), 5u);
    // The saved connection still selects its port by COM number.
    EXPECT_EQ(model.com.controls.port, 2);
}

TEST_F(SerialPortPageTest, ChoosingANewDeviceNamesItWritesPortsAndBuildsItsText) {
    COptionsModel model({}, 0);
    model.com.UseSerialPorts({FtdiAdapter(), AcmBoard()}, profile);
    const int newEntry = model.com.NetworkChoiceIndex() - 1;
    ASSERT_EQ(model.com.PortLabels()[static_cast<size_t>(newEntry)].rfind("(new)", 0), 0u);

    ASSERT_TRUE(model.com.ChoosePort(newEntry));
    // COM1 and COM2 are free (no UART there, no mapping): the board gets COM1.
    EXPECT_EQ(ReadProfileString(profile, "Ports", "COM1", ""), AcmBoard().stableName);
    EXPECT_EQ(model.com.controls.port, 0);
    EXPECT_EQ(model.com.PortLabels()[0], "COM1 — Arduino SA Uno R3 7563331 — /dev/ttyACM0");
    for (const std::string& label : model.com.PortLabels())
        EXPECT_EQ(label.rfind("(new)", 0), std::string::npos);

    EXPECT_EQ(model.Press(OptionsPage::Com, PageButton::Add), PageMessage::None);
    EXPECT_EQ(model.com.list.Items(), std::vector<std::string>{"COM1:9600:8:2:none"});

    // Choosing an existing COM entry writes nothing.
    const std::string before = ReadProfileString(profile, "Ports", "COM3", "");
    ASSERT_TRUE(model.com.ChoosePort(2));
    EXPECT_EQ(model.com.controls.port, 2);
    EXPECT_EQ(ReadProfileString(profile, "Ports", "COM3", ""), before);
    EXPECT_FALSE(model.com.ChoosePort(99));
}

TEST_F(SerialPortPageTest, ANameBeyondTheListGrowsIt) {
    std::ofstream(profile) << "[Ports]\r\n";
    for (int n = 1; n <= 8; ++n)
        std::ofstream(profile, std::ios::app) << "COM" << n << "=/dev/gone" << n << "\r\n";
    COptionsModel model({}, 0);
    model.com.UseSerialPorts({FtdiAdapter()}, profile);
    ASSERT_EQ(model.com.Ports().size(), 8u);
    ASSERT_TRUE(model.com.ChoosePort(8));
    EXPECT_EQ(model.com.Ports().size(), 9u);
    EXPECT_EQ(model.com.controls.port, 8);
    EXPECT_EQ(ReadProfileString(profile, "Ports", "COM9", ""), FtdiAdapter().stableName);
}

TEST_F(SerialPortPageTest, TtySNodesWithoutAUartAddNoPorts) {
    std::ofstream(profile) << "[Settings]\r\n";
    COptionsModel model({}, 32);  // 32 ttyS nodes exist, none with a UART
    model.com.UseSerialPorts({FtdiAdapter()}, profile);
    EXPECT_TRUE(model.com.Ports().empty());
    EXPECT_EQ(model.com.controls.port, -1);
    EXPECT_EQ(model.com.PortLabels(),
              (std::vector<std::string>{"(new) — FTDI FT232R USB UART A50285BI — /dev/ttyUSB0",
                                        "Network serial port…"}));
    EXPECT_EQ(model.Press(OptionsPage::Com, PageButton::Add), PageMessage::SerialPort);
    ASSERT_TRUE(model.com.ChoosePort(0));
    EXPECT_EQ(model.com.Ports(), std::vector<std::string>{"COM1"});
    EXPECT_EQ(model.Press(OptionsPage::Com, PageButton::Add), PageMessage::None);
    EXPECT_EQ(model.com.list.Items(), std::vector<std::string>{"COM1:9600:8:2:none"});
}

TEST_F(SerialPortPageTest, AFileThatCannotBeWrittenLeavesTheChoiceAsItWas) {
    COptionsModel model({}, 0);
    model.com.UseSerialPorts({FtdiAdapter()}, folder + "/no-such-folder/tavrin.ini");
    const int before = model.com.controls.port;
    EXPECT_FALSE(model.com.ChoosePort(static_cast<int>(model.com.PortLabels().size()) - 1));
    EXPECT_EQ(model.com.controls.port, before);
}

TEST_F(SerialPortPageTest, ANetworkSerialPortIsAddedChosenAndBuiltIntoTexts) {
    COptionsModel model({Serial("rfc2217://10.0.4.17:4001:115200:8:1:none")}, 2);
    model.com.Open({"rfc2217://10.0.4.17:4001:115200:8:1:none", "COM1:9600:8:2:none"});
    // The saved network port is in the list, before the entry that asks for another.
    const std::vector<std::string>& labels = model.com.PortLabels();
    ASSERT_GE(labels.size(), 2u);
    EXPECT_EQ(labels[labels.size() - 2], "rfc2217://10.0.4.17:4001");
    EXPECT_EQ(model.com.controls.port, model.com.NetworkChoiceIndex() - 1);
    EXPECT_EQ(model.com.BuildText(), "rfc2217://10.0.4.17:4001:115200:8:1:none");
    EXPECT_FALSE(model.com.ChoosePort(model.com.NetworkChoiceIndex())) << "that entry asks for an address";

    const struct {
        const char* typed;
        bool taken;
        const char* text;
    } cases[] = {
        {"10.0.4.18:4002", true, "rfc2217://10.0.4.18:4002:115200:8:1:none"},
        {" rfc2217://[fd00::17]:4001 ", true, "rfc2217://[fd00::17]:4001:115200:8:1:none"},
        {"10.0.4.17:4001", true, "rfc2217://10.0.4.17:4001:115200:8:1:none"},  // known: chosen again
        {"10.0.4.19", false, ""},
        {"fd00::17:4001", false, ""},
    };
    for (const auto& c : cases) {
        const size_t before = model.com.PortLabels().size();
        EXPECT_EQ(model.com.AddNetworkPort(c.typed), c.taken) << c.typed;
        if (!c.taken) {
            EXPECT_EQ(model.com.PortLabels().size(), before) << c.typed;
            continue;
        }
        EXPECT_EQ(model.com.BuildText(), c.text) << c.typed;
    }
    EXPECT_EQ(model.com.PortLabels().size(), 2u + 3u + 1u);  // COM1, COM2, three servers, the entry
    model.com.Select(1);
    EXPECT_EQ(model.com.BuildText(), "COM1:9600:8:2:none");
}

}  // namespace
}  // namespace tavrin
