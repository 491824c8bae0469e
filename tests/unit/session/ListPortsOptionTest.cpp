#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FakeSerialPorts.h"
#include "link/SerialPortList.h"
#include "session/LaunchOptions.h"

namespace tavrin {
namespace {

using testing::AcmBoard;
using testing::FakeSerialPorts;
using testing::FtdiAdapter;

LaunchOptions Parse(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return ParseLaunchOptions(static_cast<int>(argv.size()), argv.data());
}

TEST(ListPortsOption, IsAFlagThatLeavesTheSystemsOptionsAlone) {
    const LaunchOptions with = Parse({"/usr/bin/tavrin", "--list-ports", "-F/tmp/x.ini"});
    EXPECT_TRUE(with.listPorts);
    EXPECT_EQ(with.profilePath, "/tmp/x.ini");
    EXPECT_FALSE(Parse({"tavrin", "-C=COM1:9600:8:2:none"}).listPorts);
}

TEST(ListPortsOption, PrintsOneLinePerPortForTheNamedSettingsFile) {
    char pattern[] = "/tmp/tavrin-listports-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::string profile = folder + "/robot.ini";
    std::ofstream(profile) << "[Ports]\r\nCOM3=" << FtdiAdapter().stableName << "\r\nCOM8=/dev/ttyUSB7\r\n";
    FakeSerialPorts ports;
    ports.ports = {FtdiAdapter(), AcmBoard()};
    SetSerialPortEnumerator(&ports);
    const std::string listing = SerialPortListing(Parse({"tavrin", "--list-ports", "-F" + profile}));
    SetSerialPortEnumerator(nullptr);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(listing,
              "COM3\t/dev/ttyUSB0\t/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\t"
              "FTDI FT232R USB UART A50285BI\n"
              "COM8\t-\t/dev/ttyUSB7\t(absent)\n"
              "-\t/dev/ttyACM0\t/dev/serial/by-id/usb-Arduino_Uno_7563331-if00\tArduino SA Uno R3 7563331\n");
}

}  // namespace
}  // namespace tavrin
