// Device paths in connection texts, and a serial device that goes away and comes back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "FakeSerialPorts.h"
#include "RecordingShell.h"
#include "app/Cp932.h"
#include "app/Language.h"
#include "link/ConnectionControl.h"
#include "link/LinkChannel.h"
#include "link/SerialPortList.h"
#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::FakeSerialDevice;
using testing::RecordingShell;

class SerialUnplugTest : public ::testing::Test {
public:
    void SetUp() override {
        SetCurrentLanguage(1);
        folder = temp.Path();
        node = folder + "/usb-FTDI_A50285BI-if00-port0";
        std::ofstream(node) << "";
        ConnectionHooks hooks;
        hooks.printLocalText = [this](const std::string& t) { printed += t; };
        hooks.panelSaveAndHide = [this] { ++panelHides; };
        hooks.hostLinkState = [this](int up) { hostStates.push_back(up); };
        hooks.closeTransferFile = [this] { ++transferFileCloses; };
        control.SetHooks(hooks);
        view.hostWindow = 1;
    }

    void Connect() {
        control.ConnectByItem(node + ":115200:8:1:none");
        ASSERT_EQ(doc.connected, 1);
        device.written.clear();
        printed.clear();
        hostStates.clear();
    }
    // The device goes away: the poll sees it and hands the error on, as the view does.
    void Unplug() {
        device.lineError = EIO;
        ASSERT_EQ(serial.LineError(), EIO);
        control.OnSerialLineLost(serial.LineError());
    }
    // Ticks for ms of fake time, one tick per stepMs (the 20 ms poll by default).
    int Ticks(int ms, int stepMs = 20) {
        int reopened = 0;
        for (int t = 0; t < ms; t += stepMs) {
            clock.Advance(stepMs);
            if (control.ReopenTick()) ++reopened;
        }
        return reopened;
    }

    testing::CTempFolder temp;
    std::string folder, node;
    CPelinDoc doc;
    ViewState view;
    FakeClock clock;
    RecordingShell shell;
    FakeSerialDevice device;
    CSerialChannel serial{device, clock};
    CLinkChannel link{doc, serial, shell};
    testing::FakeSerialPorts ports;  // none present unless a test says so
    CConnectionControl control{doc, view, serial, link, shell, clock, nullptr, &ports};
    std::string printed;
    int panelHides = 0;
    int transferFileCloses = 0;
    std::vector<int> hostStates;
};

TEST_F(SerialUnplugTest, DevicePathsConnectSeriallyAndAreKeptWhole) {
    const std::string path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    control.ConnectByItem(path + ":9600:8:2:none");
    EXPECT_EQ(doc.isTcp, 0);
    EXPECT_EQ(doc.comPort, path);
    EXPECT_EQ(doc.connected, 1);
    ASSERT_EQ(device.openedPaths.size(), 1u);
    EXPECT_EQ(device.openedPaths[0], path);
    EXPECT_EQ(device.openedParams[0].baud, 9600);
    EXPECT_EQ(device.openedParams[0].stopBitsCode, 2);
    EXPECT_TRUE(IsSerialText("/dev/ttyUSB0:115200:8:1:none"));
    EXPECT_TRUE(IsSerialText("COM1:9600:8:2:none"));
    EXPECT_FALSE(IsSerialText("10.0.0.1:23:cell"));
}

TEST_F(SerialUnplugTest, APathHoldingAColonIsRefusedWithTheByIdHint) {
    for (int lang : {1, 0}) {
        SetCurrentLanguage(lang);
        printed.clear();
        shell.boxes.clear();
        control.ConnectByItem("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0:9600:8:1:none");
        EXPECT_TRUE(device.openedPaths.empty());
        EXPECT_EQ(doc.connected, 0);
        ASSERT_EQ(shell.boxes.size(), 1u);
        const std::string& box = shell.boxes[0].text;
        EXPECT_NE(box.find("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0 "), std::string::npos)
            << box;
        EXPECT_NE(box.find("/dev/serial/by-id/"), std::string::npos) << box;
        EXPECT_FALSE(printed.empty());
    }
}

TEST_F(SerialUnplugTest, UnplugDisconnectsWithALineAndReplugReopensWithTheSameFrame) {
    Connect();
    Unplug();
    EXPECT_EQ(doc.connected, 0);
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_NE(printed.find(node + " was unplugged"), std::string::npos) << printed;
    EXPECT_EQ(panelHides, 1);
    // A save under way ends with the link: its file is dropped now, not at program end.
    EXPECT_EQ(transferFileCloses, 1);
    EXPECT_EQ(hostStates, std::vector<int>{0});
    EXPECT_EQ(control.ReopenDevice(), node);

    // Gone for a while: looked for once a second, never opened.
    std::filesystem::remove(node);
    EXPECT_EQ(Ticks(5000), 0);
    EXPECT_EQ(device.openedPaths.size(), 1u);

    // Back: reopened with the frame it had, a line printed, one line feed sent, editor told.
    device.lineError = 0;
    printed.clear();
    hostStates.clear();
    std::ofstream(node) << "";
    EXPECT_EQ(Ticks(1000), 1);
    EXPECT_EQ(doc.connected, 1);
    ASSERT_EQ(device.openedPaths.size(), 2u);
    EXPECT_EQ(device.openedPaths[1], node);
    EXPECT_EQ(device.openedParams[1].baud, 115200);
    EXPECT_EQ(device.openedParams[1].dataBits, 8);
    EXPECT_EQ(device.openedParams[1].stopBitsCode, 0);
    EXPECT_EQ(device.written, std::vector<uint8_t>{0x0A});
    EXPECT_NE(printed.find("is back"), std::string::npos) << printed;
    EXPECT_EQ(hostStates, std::vector<int>{1});
    EXPECT_TRUE(control.ReopenDevice().empty());
}

// The view's timer ticks only once a check is due while nothing else needs it; a tick that comes
// a little early still looks, so the device back is found at the first tick after it.
TEST_F(SerialUnplugTest, TicksOnceASecondEvenALittleEarlyLookForTheDevice) {
    for (int stepMs : {kReopenCheckMs, kReopenCheckMs - 20}) {
        SCOPED_TRACE(stepMs);
        Connect();
        Unplug();
        std::filesystem::remove(node);
        EXPECT_EQ(Ticks(2 * stepMs, stepMs), 0);
        device.lineError = 0;
        std::ofstream(node) << "";
        EXPECT_EQ(Ticks(stepMs, stepMs), 1) << "not found at the first tick after it came back";
        EXPECT_EQ(doc.connected, 1);
        control.DisconnectLink();
    }
}

TEST_F(SerialUnplugTest, TheWaitEndsWhenTheUserActsOrTheSettingIsOff) {
    struct Case {
        const char* what;
        int reopenSetting;
        std::function<void(SerialUnplugTest&)> act;
    };
    const Case cases[] = {
        {"Disconnect", 1, [](SerialUnplugTest& t) { t.control.DisconnectLink(); }},
        {"a connect elsewhere", 1,
         [](SerialUnplugTest& t) {
             t.device.failures.push_back(ENOENT);
             t.control.ConnectByItem("COM9:9600:8:2:none");
         }},
        {"IsSerialReopen=0", 0, [](SerialUnplugTest&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        doc.isSerialReopen = c.reopenSetting;
        Connect();
        Unplug();
        c.act(*this);
        const size_t opens = device.openedPaths.size();
        device.lineError = 0;
        EXPECT_EQ(Ticks(3000), 0);
        EXPECT_EQ(device.openedPaths.size(), opens);
        EXPECT_EQ(doc.connected, 0);
    }
}

TEST_F(SerialUnplugTest, ANodeThatOpensHungUpIsClosedAndWaitedForAgain) {
    Connect();
    Unplug();
    // lineError stays: the node is there but dead, as a pty whose far end has gone.
    EXPECT_EQ(Ticks(1000), 0);
    EXPECT_EQ(device.openedPaths.size(), 2u);
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(doc.connected, 0);
    device.lineError = 0;
    EXPECT_EQ(Ticks(1000), 1);
    EXPECT_EQ(doc.connected, 1);
}

TEST_F(SerialUnplugTest, TheLinesComeInJapaneseToo) {
    SetCurrentLanguage(0);
    Connect();
    Unplug();
    EXPECT_EQ(doc.connected, 0);
    EXPECT_NE(printed.find(Utf8ToCp932("取り外されたか")), std::string::npos);
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

TEST_F(SerialUnplugTest, DeviceEventsTakeTheLinkDownAndBringItBackAtOnce) {
    // The connection goes through a by-id style link to a node.
    const std::string link = folder + "/by-id";
    std::filesystem::create_symlink(node, link);
    control.ConnectByItem(link + ":9600:8:2:none");
    ASSERT_EQ(doc.connected, 1);
    EXPECT_EQ(serial.OpenNode(), node);

    // Another device's events change nothing.
    EXPECT_FALSE(control.OnSerialPortEvents({{false, "/dev/ttyACM3", {}}, {true, "/dev/ttyACM4", {}}}));
    EXPECT_EQ(doc.connected, 1);

    // The node's removal (its links already gone from the event) takes the link down.
    EXPECT_TRUE(control.OnSerialPortEvents({{false, node, {}}}));
    EXPECT_EQ(doc.connected, 0);
    EXPECT_NE(printed.find("was unplugged"), std::string::npos);
    EXPECT_EQ(control.ReopenDevice(), link);

    // The device comes back under its link: reopened at once, without waiting for the check.
    const size_t opens = device.openedPaths.size();
    EXPECT_FALSE(control.OnSerialPortEvents({{true, "/dev/ttyUSB7", {"/dev/serial/by-id/other"}}}));
    EXPECT_EQ(device.openedPaths.size(), opens);
    EXPECT_TRUE(control.OnSerialPortEvents({{true, "/dev/ttyUSB0", {"/dev/serial/by-path/x", link}}}));
    EXPECT_EQ(doc.connected, 1);
    ASSERT_EQ(device.openedPaths.size(), opens + 1);
    EXPECT_EQ(device.openedPaths.back(), link);
    EXPECT_EQ(device.openedParams.back().stopBitsCode, 2);
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

TEST_F(SerialUnplugTest, APortOpenedByItsKernelNameIsAwaitedByItsByIdName) {
    // The enumerator knows the node the connection opens and its by-id name.
    ports.ports = {{node, folder + "/by-id-name", "FTDI", "FT232R", "A5", "ftdi_sio"}};
    Connect();
    ports.ports.clear();
    Unplug();
    EXPECT_EQ(control.ReopenDevice(), folder + "/by-id-name");
    EXPECT_NE(printed.find("Waiting for " + folder + "/by-id-name"), std::string::npos) << printed;

    // The kernel name alone coming back (another adapter taking it) is not opened.
    device.lineError = 0;
    const size_t opens = device.openedPaths.size();
    EXPECT_EQ(Ticks(2000), 0);
    EXPECT_EQ(device.openedPaths.size(), opens);
    // The by-id name coming back is.
    std::filesystem::create_symlink(node, folder + "/by-id-name");
    EXPECT_EQ(Ticks(1000), 1);
    EXPECT_EQ(device.openedPaths.back(), folder + "/by-id-name");
}

}  // namespace
}  // namespace tavrin
