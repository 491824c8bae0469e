#include "link/SerialChannel.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "app/Language.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::FakeSerialDevice;

class SerialChannelTest : public ::testing::Test {
protected:
    FakeSerialDevice device;
    FakeClock clock;
    CSerialChannel channel{device, clock};

    int OpenCom1() { return channel.OpenComPort("COM1", 9600, 2, 8, 0, 0); }
};

TEST_F(SerialChannelTest, EveryOperationWithoutAPortReturnsZeroAndTouchesNothing) {
    uint8_t buffer[16] = {};
    const uint8_t bytes[] = {'a', 'b'};
    channel.CloseComPort();
    EXPECT_EQ(channel.WriteComPort(bytes, sizeof bytes), 0u);
    EXPECT_EQ(channel.ReadComPort(buffer, sizeof buffer), 0);
    channel.PurgeComPort();
    EXPECT_EQ(channel.DrainComPort(nullptr), 0u);
    EXPECT_EQ(device.closes, 0);
    EXPECT_EQ(device.purges, 0);
    EXPECT_EQ(device.readCalls, 0);
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(SerialChannelTest, ReadTakesAtMostWhatIsQueuedAndNeverWaits) {
    struct Case {
        size_t queued;
        int atMost;
        int expected;
    };
    const Case cases[] = {{0, 10, 0}, {3, 10, 3}, {10, 3, 3}, {5, 5, 5}, {5, 0, 0}, {5, -1, 0}};
    ASSERT_EQ(OpenCom1(), 0);
    for (const Case& c : cases) {
        device.input.clear();
        device.Feed(std::vector<uint8_t>(c.queued, 'x'));
        uint8_t buffer[16] = {};
        int64_t before = clock.NowMs();
        EXPECT_EQ(channel.ReadComPort(buffer, c.atMost), c.expected) << c.queued << "/" << c.atMost;
        EXPECT_EQ(clock.NowMs(), before);
        EXPECT_EQ(device.input.size(), c.queued - static_cast<size_t>(c.expected));
    }
}

TEST_F(SerialChannelTest, ReopeningClosesTheFirstPortAndAFailedReopenLeavesNone) {
    ASSERT_EQ(OpenCom1(), 0);
    device.failures.push_back(EBUSY);
    EXPECT_EQ(channel.OpenComPort("COM2", 9600, 2, 8, 0, 0), -1);
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(device.closes, 1);
    EXPECT_EQ(device.purges, 1);  // purged before it was let go
    ASSERT_EQ(device.openedPaths.size(), 2u);
    EXPECT_EQ(device.openedPaths[1], "/dev/ttyS1");
    EXPECT_EQ(channel.LastOpenFailure().error, EBUSY);
    EXPECT_EQ(channel.LastOpenFailure().device, "/dev/ttyS1");
}

TEST_F(SerialChannelTest, TheStopBitsCodeGovernsTheFrameWhateverTheStopCount) {
    struct Case {
        int baud, stopCount, dataBits, stopCode, parity;
    };
    const Case cases[] = {
        {9600, 2, 8, 0, 0}, {115200, 2, 7, 1, 2}, {19200, 1, 5, 2, 3}, {256000, 2, 6, 0, 4}};
    for (const Case& c : cases) {
        ASSERT_EQ(channel.OpenComPort("COM1", c.baud, c.stopCount, c.dataBits, c.stopCode, c.parity), 0);
        const SerialParams& p = device.openedParams.back();
        EXPECT_EQ(p.baud, c.baud);
        EXPECT_EQ(p.dataBits, c.dataBits);
        EXPECT_EQ(p.stopBitsCode, c.stopCode);
        EXPECT_EQ(p.parityCode, c.parity);
    }
}

TEST_F(SerialChannelTest, ANameWithoutADeviceFailsWithoutOpeningAnything) {
    EXPECT_EQ(channel.OpenComPort("", 9600, 2, 8, 0, 0), -1);
    EXPECT_EQ(channel.OpenComPort("COMPUTER", 9600, 2, 8, 0, 0), -1);
    EXPECT_TRUE(device.openedPaths.empty());
    EXPECT_TRUE(channel.LastOpenFailure().device.empty());
    EXPECT_EQ(channel.LastOpenFailure().portName, "COMPUTER");
}

TEST_F(SerialChannelTest, DrainHandsOverEverythingQueuedInChunksOf8193) {
    ASSERT_EQ(OpenCom1(), 0);
    std::vector<uint8_t> sent(20000);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7);
    device.Feed(sent);
    std::vector<uint8_t> got;
    std::vector<int> sizes;
    size_t total = channel.DrainComPort([&](const uint8_t* chunk, int n) {
        sizes.push_back(n);
        EXPECT_EQ(chunk[n], 0);  // a NUL follows the data
        got.insert(got.end(), chunk, chunk + n);
    });
    EXPECT_EQ(total, sent.size());
    EXPECT_EQ(got, sent);
    EXPECT_EQ(sizes, (std::vector<int>{8193, 8193, 3614}));
}

class DeviceForPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavrin-link-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        profile = folder + "/tavrin.ini";
        std::ofstream out(profile, std::ios::binary);
        out << "[Settings]\r\nPort=COM3\r\n[Ports]\r\nCOM3 = /dev/ttyUSB0\r\nCOM12=\"/dev/serial/by-id/x "
               "y\"\r\n";
    }
    void TearDown() override {
        std::remove(profile.c_str());
        rmdir(folder.c_str());
    }
    std::string folder, profile;
};

TEST_F(DeviceForPortTest, MapsNamesThroughPortsThenTheBuiltInRule) {
    struct Case {
        const char* name;
        bool withProfile;
        const char* device;
    };
    const Case cases[] = {
        {"COM1", true, "/dev/ttyS0"},
        {"COM3", true, "/dev/ttyUSB0"},
        {"COM3", false, "/dev/ttyS2"},
        {"COM12", true, "/dev/serial/by-id/x y"},
        {"COM10", true, "/dev/ttyS9"},
        {"COM0", true, ""},
        {"COM", true, ""},
        {"COM1x", true, ""},
        {"COMPUTER", true, ""},
        {"com1", false, ""},
        {"COM99999", true, ""},
        {"", true, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DeviceForPort(c.name, c.withProfile ? profile : ""), c.device) << c.name;
    }
}

TEST(SerialOpenFailureTest, SaysWhichDeviceAndWhy) {
    struct Case {
        int lang;
        SerialOpenFailure failure;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {1, {"COM1", "/dev/ttyS0", ENOENT, "", ""}, {"/dev/ttyS0", "does not exist"}},
        {1, {"COM1", "/dev/ttyUSB0", EACCES, "", ""}, {"/dev/ttyUSB0", "dialout"}},
        {0, {"COM1", "/dev/ttyUSB0", EACCES, "", ""}, {"/dev/ttyUSB0", "dialout", "権限"}},
        {1, {"COM2", "/dev/ttyS1", EBUSY, "", ""}, {"/dev/ttyS1", "in use"}},
        {1, {"COM2", "/dev/ttyS1", EINVAL, "", ""}, {"/dev/ttyS1", "line settings"}},
        {1, {"COM7", "", ENOENT, "", ""}, {"COM7", "[Ports]"}},
        {1, {"COM2", "/dev/ttyS1", EIO, "", ""}, {"/dev/ttyS1: ", "error"}},
        {1,
         {"COM2", "/dev/ttyS1", EBUSY, "minicom (pid 77)", ""},
         {"COM2 (/dev/ttyS1)", "in use by minicom (pid 77)"}},
        {0,
         {"COM2", "/dev/ttyS1", EBUSY, "minicom (pid 77)", ""},
         {"COM2 (/dev/ttyS1)", "minicom (pid 77)", "使用中"}},
        {1, {"/dev/ttyUSB0", "/dev/ttyUSB0", EBUSY, "", ""}, {"/dev/ttyUSB0 is in use"}},
        // A network serial port's own words stand for the errno's text.
        {1,
         {"COM5", "rfc2217://10.0.4.17:4001", EINVAL, "", "the server does not take 7 data bits (it set 8)"},
         {"rfc2217://10.0.4.17:4001: the server does not take 7 data bits (it set 8)"}},
    };
    const int saved = CurrentLanguage();
    for (const Case& c : cases) {
        SetCurrentLanguage(c.lang);
        const std::string text = DescribeSerialOpenFailure(c.failure);
        for (const std::string& part : c.parts) {
            EXPECT_NE(text.find(part), std::string::npos) << text << " lacks " << part;
        }
        EXPECT_EQ(text.find('\n'), std::string::npos);
    }
    SetCurrentLanguage(saved);
}

}  // namespace
}  // namespace tavrin
