#include "link/LinkChannel.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "FakeStreamSocket.h"
#include "RecordingShell.h"
#include "link/CommSocket.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::FakeSerialDevice;
using testing::FakeStreamSocket;
using testing::ForwardingSocket;
using testing::RecordingShell;

class LinkChannelTest : public ::testing::Test {
protected:
    CPelinDoc doc;
    FakeClock clock;
    RecordingShell shell;
    FakeSerialDevice device;
    CSerialChannel serial{device, clock};
    CLinkChannel link{doc, serial, shell};
    FakeStreamSocket fake{clock};
    CCommSocket socket{std::make_unique<ForwardingSocket>(fake), shell};

    void UseTcp() {
        doc.isTcp = 1;
        ASSERT_EQ(socket.Create(), 0);
        doc.socket = &socket;
    }
};

TEST_F(LinkChannelTest, SerialBytesGoToThePortAndAPurgeEmptiesIt) {
    ASSERT_EQ(serial.OpenComPort("COM1", 9600, 2, 8, 0, 0), 0);
    const uint8_t bytes[] = {'a', 0x0D, 0xFF};
    link.SendLinkBytes(bytes, 3);
    link.SendLinkByte(0x18);
    EXPECT_EQ(device.written, (std::vector<uint8_t>{'a', 0x0D, 0xFF, 0x18}));
    device.Feed({1, 2});
    link.PurgeComPort();
    EXPECT_EQ(device.purges, 1);
    EXPECT_EQ(link.SendOnSocket(bytes, 3), 0u);
}

TEST_F(LinkChannelTest, WithoutASocketTcpSendsNothingAndReadsNothingQuietly) {
    doc.isTcp = 1;
    ASSERT_EQ(serial.OpenComPort("COM1", 9600, 2, 8, 0, 0), 0);
    const uint8_t bytes[] = {'a'};
    link.SendLinkBytes(bytes, 1);
    link.SendLinkByte('b');
    EXPECT_EQ(link.SendOnSocket(bytes, 1), 0u);
    link.PurgeComPort();
    EXPECT_TRUE(device.written.empty());
    EXPECT_EQ(device.purges, 0);
    EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(LinkChannelTest, TcpBytesGoToTheSocketAndASendErrorIsToldOnce) {
    UseTcp();
    const uint8_t bytes[] = {'l', 'o', 'a', 'd'};
    link.SendLinkBytes(bytes, 4);
    EXPECT_EQ(link.SendOnSocket(bytes, 2), 2u);
    EXPECT_EQ(fake.sent, (std::vector<uint8_t>{'l', 'o', 'a', 'd', 'l', 'o'}));
    EXPECT_TRUE(shell.boxes.empty());
    fake.sendError = EPIPE;
    link.SendLinkByte('x');
    link.SendLinkByte('y');
    EXPECT_EQ(link.SendOnSocket(bytes, 1), 0u);
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "TCP/IP Send error");
    EXPECT_EQ(shell.boxes[0].buttons, BoxButtons::Ok);
}

}  // namespace
}  // namespace tavrin
