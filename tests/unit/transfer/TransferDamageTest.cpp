#include <gtest/gtest.h>

#include "TransferRig.h"
#include "transfer/Lzss.h"

namespace tavrin {
namespace {

using namespace tavrin::testing;

// Damage that a noisy line can slip past the record checksum (two errors that cancel in the
// 8-bit sum) still shows in the block itself; such a block must be refused, not written.
struct Session : TransferRig {
    Session() : controller(link) {}
    int Request(uint8_t letter, const Bytes& data) {
        controller.Request({BuildSerialRecord(letter, data.data(), data.size())});
        controller.replies.clear();
        return protocol.HandleTransferRequest(folder.path());
    }
    int32_t ReplyStatus() const {
        return controller.replies.empty() ? 1 : Be32(RecordData(controller.replies.back()), 0);
    }
    TempFolder folder;
    SerialController controller;
};

// A D request: four echo bytes (byte 0 bit 3 = compressed), two unused, the declared length.
Bytes WriteRequest(const Bytes& block, bool compressed, int declared) {
    Bytes data(8 + block.size(), 0);
    data[0] = compressed ? 0x08 : 0x00;
    data[3] = 1;
    data[6] = uint8_t(declared >> 8);
    data[7] = uint8_t(declared);
    std::copy(block.begin(), block.end(), data.begin() + 8);
    return data;
}

Bytes Codes(const std::string& text) {
    CLzssCoder coder;
    Bytes codes(CLzssCoder::CompressedBound(text.size()) + 1);
    size_t n = coder.CompressText(reinterpret_cast<const uint8_t*>(text.c_str()), codes.data(), 0);
    const uint8_t empty[1] = {0};
    n += coder.CompressText(empty, codes.data() + n, 1);
    codes.resize(n);
    return codes;
}

TEST(TransferDamageTest, DamagedWriteBlocksAreRefused) {
    const std::string program = ".PROGRAM pick()\r\n  HOME\r\n  JMOVE #a\r\n.END\r\n";
    const Bytes codes = Codes(program);
    Bytes zeroMatch = {0x00, 0x00, 0x00};  // a match into the ring's zero bytes: decodes to NULs
    Bytes literalNul = {0x03, 'a', 0x00};  // a literal NUL byte
    const Bytes plain(program.begin(), program.end());
    struct Case {
        const char* name;
        Bytes request;
    } cases[] = {
        {"plain: length under the record", WriteRequest(plain, false, int(plain.size()) - 1)},
        {"plain: negative length", WriteRequest(plain, false, 0x8000 | int(plain.size()))},
        {"compressed: length under the record", WriteRequest(codes, true, int(codes.size()) - 2)},
        {"compressed: decodes to NUL bytes", WriteRequest(zeroMatch, true, int(zeroMatch.size()))},
        {"compressed: literal NUL", WriteRequest(literalNul, true, int(literalNul.size()))},
        {"shorter than its header", Bytes{0x00, 0, 0, 1, 0}},
    };
    for (const auto& c : cases) {
        Session s;
        s.folder.Write("p.as", "earlier\r\n");
        ASSERT_EQ(s.Request('B', B("p.as")), 0) << c.name;
        ASSERT_EQ(s.Request('D', WriteRequest(B("kept\r\n"), false, 6)), 0) << c.name;
        EXPECT_EQ(s.Request('D', c.request), kBlockTooLong) << c.name;
        EXPECT_EQ(s.ReplyStatus(), kBlockTooLong) << c.name;
        // Nothing follows the refused block, and the save is not kept: the earlier file stays.
        EXPECT_EQ(s.Request('D', WriteRequest(B("after"), false, 5)), kBlockTooLong) << c.name;
        s.Request('E', Bytes(4, 0));
        EXPECT_EQ(s.folder.Read("p.as"), "earlier\r\n") << c.name;
    }
}

TEST(TransferDamageTest, CompressedSaveCutInsideAMatchFailsAtTheClose) {
    const std::string program(300, 'a');
    const Bytes codes = Codes(program);
    struct Case {
        const char* name;
        size_t cut;  // code bytes sent before E
        int closeResult;
    } cases[] = {
        {"whole", codes.size(), 0},
        {"last match cut after its first byte", codes.size() - 1, kBlockTooLong},
    };
    for (const auto& c : cases) {
        Session s;
        ASSERT_EQ(s.Request('B', B("m.as")), 0) << c.name;
        const Bytes block(codes.begin(), codes.begin() + c.cut);
        ASSERT_EQ(s.Request('D', WriteRequest(block, true, int(block.size()))), 0) << c.name;
        EXPECT_EQ(s.Request('E', Bytes(4, 0)), c.closeResult) << c.name;
        EXPECT_EQ(s.ReplyStatus(), c.closeResult) << c.name;
        if (c.closeResult == 0) {
            EXPECT_EQ(s.folder.Read("m.as"), program) << c.name;
        }
    }
}

}  // namespace
}  // namespace tavrin
