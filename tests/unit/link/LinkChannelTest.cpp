#include "link/LinkChannel.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "FakeClock.h"
#include "FakeSerialDevice.h"
#include "FakeStreamSocket.h"
#include "RecordingShell.h"
#include "app/Language.h"
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

// A serial write the line does not take whole is a link error: the operator is told how many
// bytes did not go out, where and why, once for a run of short writes.
TEST_F(LinkChannelTest, ASerialWriteCutShortIsToldWithTheBytesNotSent) {
    struct Case {
        int language;
        int error;
        int lineError;
        const char* box;  // empty: no box
    };
    const Case cases[] = {
        {1, ETIMEDOUT, 0,
         "Serial send error: 28 of 40 bytes were not sent to COM1 (/dev/ttyS0): the line took nothing for "
         "500 ms."},
        {1, EIO, 0,
         "Serial send error: 28 of 40 bytes were not sent to COM1 (/dev/ttyS0): Input/output error."},
        {0, ETIMEDOUT, 0,
         "シリアル送信エラー: 40 バイト中 28 バイトを送信できませんでした: COM1 (/dev/ttyS0): 時間切れです "
         "(the "
         "line took nothing for 500 ms)。"},
        {1, EIO, EIO, ""},  // the line is gone: its own report tells it
    };
    const std::vector<uint8_t> bytes(40, 'x');
    for (const Case& c : cases) {
        SetCurrentLanguage(c.language);
        shell.boxes.clear();
        ASSERT_EQ(serial.OpenComPort("COM1", 9600, 2, 8, 0, 0), 0);
        device.writeLimit = 12;
        device.writeError = c.error;
        device.lineError = c.lineError;
        link.SendLinkBytes(bytes.data(), bytes.size());
        link.SendLinkBytes(bytes.data(), bytes.size());  // the same run: not told again
        if (*c.box == '\0') {
            EXPECT_TRUE(shell.boxes.empty()) << shell.boxes[0].text;
        } else {
            ASSERT_EQ(shell.boxes.size(), 1u) << c.box;
            EXPECT_EQ(shell.boxes[0].text, c.box);
            EXPECT_EQ(shell.boxes[0].icon, BoxIcon::Exclamation);
        }
        // A whole write ends the run; the next short one is told again.
        device.writeLimit = static_cast<size_t>(-1);
        link.SendLinkBytes(bytes.data(), bytes.size());
        device.writeLimit = 12;
        link.SendLinkBytes(bytes.data(), bytes.size());
        EXPECT_EQ(shell.boxes.size(), *c.box == '\0' ? 0u : 2u) << c.box;
        device.lineError = 0;
        serial.CloseComPort();
    }
    SetCurrentLanguage(1);
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
