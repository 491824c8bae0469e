#include "platform/Rfc2217Codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tavrin {
namespace {

using Bytes = std::vector<uint8_t>;
using Phase = CRfc2217Codec::Phase;
using C = CRfc2217Codec;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes Opt(uint8_t verb, uint8_t option) {
    return {C::kIac, verb, option};
}
// A COM-PORT-OPTION sub-negotiation as it appears on the wire (value bytes given escaped).
Bytes Sub(uint8_t command, Bytes wireValue) {
    return Cat({{C::kIac, C::kSb, C::kComPort, command}, wireValue, {C::kIac, C::kSe}});
}
Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// What the client asks for once the server agrees to COM-PORT-OPTION: the frame (baud escaped as
// given), no flow control, DTR and RTS on, the notifications, a purge.
Bytes FrameRequest(Bytes wireBaud, uint8_t dataSize, uint8_t parity, uint8_t stopSize) {
    return Cat({Sub(C::kSetBaud, wireBaud), Sub(C::kSetDataSize, {dataSize}), Sub(C::kSetParity, {parity}),
                Sub(C::kSetStopSize, {stopSize}), Sub(C::kSetControl, {C::kNoFlowControl}),
                Sub(C::kSetControl, {C::kDtrOn}), Sub(C::kSetControl, {C::kRtsOn}),
                Sub(C::kSetLineStateMask, {0x1E}), Sub(C::kSetModemStateMask, {0x80}),
                Sub(C::kPurgeData, {3})});
}
Bytes FrameRequest9600N81() {
    return FrameRequest({0, 0, 0x25, 0x80}, 8, 1, 1);
}
Bytes ServerAgrees() {
    return Cat({Opt(C::kDo, C::kComPort), Opt(C::kDo, C::kBinary), Opt(C::kWill, C::kBinary),
                Opt(C::kDo, C::kSga), Opt(C::kWill, C::kSga)});
}
Bytes Confirm9600N81() {
    return Cat({Sub(101, {0, 0, 0x25, 0x80}), Sub(102, {8}), Sub(103, {1}), Sub(104, {1})});
}

struct Step {
    Bytes server;  // bytes from the server
    Bytes reply;   // what the client must send back
    Bytes data;    // the serial data they carry
    Phase phase;   // the state afterwards
};

struct Script {
    const char* name;
    SerialParams params;
    std::vector<Step> steps;
    const char* failure;  // a part of FailureText() at the end, or empty
};

SerialParams Frame(int baud, int dataBits, int stopBitsCode, int parityCode) {
    SerialParams p;
    p.baud = baud;
    p.dataBits = dataBits;
    p.stopBitsCode = stopBitsCode;
    p.parityCode = parityCode;
    return p;
}

TEST(Rfc2217CodecTest, NegotiatesTheFrameAndChecksTheServersAnswers) {
    const SerialParams n81 = Frame(9600, 8, 0, 0);
    const Script scripts[] = {
        {"agreed and confirmed",
         n81,
         {{Opt(C::kDo, C::kComPort), FrameRequest9600N81(), {}, Phase::Negotiating},
          {Cat({Opt(C::kDo, C::kBinary), Opt(C::kWill, C::kBinary), Opt(C::kDo, C::kSga),
                Opt(C::kWill, C::kSga)}),
           {},
           {},
           Phase::Negotiating},
          {Cat({Sub(101, {0, 0, 0x25, 0x80}), Sub(102, {8}), Sub(103, {1})}), {}, {}, Phase::Negotiating},
          {Sub(104, {1}), {}, {}, Phase::Ready},
          {Text("hello"), {}, Text("hello"), Phase::Ready}},
         ""},
        {"the server refuses the option",
         n81,
         {{Opt(C::kDont, C::kComPort), {}, {}, Phase::Failed}},
         "does not offer COM-PORT-OPTION"},
        {"the server refuses binary",
         n81,
         {{Cat({Opt(C::kDo, C::kComPort), Opt(C::kWont, C::kBinary)}),
           FrameRequest9600N81(),
           {},
           Phase::Failed}},
         "refuses binary"},
        {"another baud rate",
         n81,
         {{ServerAgrees(), FrameRequest9600N81(), {}, Phase::Negotiating},
          {Sub(101, {0, 1, 0xC2, 0}), {}, {}, Phase::Failed}},
         "does not take 9600 baud (it set 115200)"},
        {"another data size",
         Frame(9600, 7, 0, 2),
         {{ServerAgrees(),
           Cat({Sub(C::kSetBaud, {0, 0, 0x25, 0x80}), Sub(C::kSetDataSize, {7}), Sub(C::kSetParity, {3}),
                Sub(C::kSetStopSize, {1}), Sub(C::kSetControl, {C::kNoFlowControl}),
                Sub(C::kSetControl, {C::kDtrOn}), Sub(C::kSetControl, {C::kRtsOn}),
                Sub(C::kSetLineStateMask, {0x1E}), Sub(C::kSetModemStateMask, {0x80}),
                Sub(C::kPurgeData, {3})}),
           {},
           Phase::Negotiating},
          {Cat({Sub(101, {0, 0, 0x25, 0x80}), Sub(102, {8}), Sub(103, {3}), Sub(104, {1})}),
           {},
           {},
           Phase::Failed}},
         "does not take 7 data bits (it set 8)"},
        {"another parity",
         Frame(9600, 8, 0, 2),
         {{Opt(C::kDo, C::kComPort), FrameRequest({0, 0, 0x25, 0x80}, 8, 3, 1), {}, Phase::Negotiating},
          {Cat({Sub(101, {0, 0, 0x25, 0x80}), Sub(102, {8}), Sub(103, {1})}), {}, {}, Phase::Failed}},
         "parity even (it set none)"},
        {"one and a half stop bits answered as two",
         Frame(9600, 8, 1, 0),
         {{Opt(C::kDo, C::kComPort), FrameRequest({0, 0, 0x25, 0x80}, 8, 1, 3), {}, Phase::Negotiating},
          {Sub(104, {2}), {}, {}, Phase::Failed}},
         "1.5 stop bits (it set 2)"},
        {"a rate with 0xFF in it is escaped both ways",
         Frame(65535, 8, 0, 0),
         {{ServerAgrees(), FrameRequest({0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 8, 1, 1), {}, Phase::Negotiating},
          {Cat({Sub(101, {0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), Sub(102, {8}), Sub(103, {1}), Sub(104, {1})}),
           {},
           {},
           Phase::Ready}},
         ""},
        {"options the client does not use are refused, agreed ones not answered twice",
         n81,
         {{Cat({Opt(C::kWill, C::kEcho), Opt(C::kDo, 24), Opt(C::kDo, C::kBinary), Opt(C::kDo, C::kBinary)}),
           Cat({Opt(C::kDont, C::kEcho), Opt(C::kWont, 24)}),
           {},
           Phase::Negotiating}},
         ""},
        {"server asks first for what the client had not offered",
         n81,
         {{Cat({Opt(C::kWill, C::kBinary), Opt(C::kWont, C::kSga), Opt(C::kWill, C::kSga)}),
           Opt(C::kDo, C::kSga),
           {},
           Phase::Negotiating}},
         ""},
        {"a server's parting words arrive as data",
         n81,
         {{Text("Port already in use\r\n"), {}, Text("Port already in use\r\n"), Phase::Negotiating}},
         ""},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        CRfc2217Codec codec;
        const Bytes start = codec.Start(script.params);
        EXPECT_EQ(start, Cat({Opt(C::kWill, C::kBinary), Opt(C::kDo, C::kBinary), Opt(C::kWill, C::kSga),
                              Opt(C::kDo, C::kSga), Opt(C::kWill, C::kComPort)}));
        int index = 0;
        for (const Step& step : script.steps) {
            SCOPED_TRACE("step " + std::to_string(index++));
            Bytes data, reply;
            codec.Feed(step.server.data(), step.server.size(), data, reply);
            EXPECT_EQ(reply, step.reply);
            EXPECT_EQ(data, step.data);
            EXPECT_EQ(codec.State(), step.phase) << codec.FailureText();
        }
        if (*script.failure != '\0') {
            EXPECT_NE(codec.FailureText().find(script.failure), std::string::npos) << codec.FailureText();
            EXPECT_FALSE(codec.FailureTextJapanese().empty());
        } else {
            EXPECT_TRUE(codec.FailureText().empty()) << codec.FailureText();
        }
    }
}

TEST(Rfc2217CodecTest, EveryByteIsCarriedWhateverTheSplit) {
    // Server bytes: negotiation, confirmations, data with escaped 0xFF, a break and a framing
    // error notification, a modem state, a sub-negotiation cut short by an option.
    const Bytes stream = Cat({ServerAgrees(),
                              Confirm9600N81(),
                              {'A', C::kIac, C::kIac, 'B', 0},
                              Sub(106, {C::kLineBreak}),
                              {'C'},
                              Sub(106, {C::kLineFraming | C::kLineParity}),
                              Sub(107, {0x80}),
                              {C::kIac, 241 /* NOP */},
                              {C::kIac, C::kSb, C::kComPort, 6, C::kIac, C::kWill, C::kEcho},
                              {C::kIac, C::kIac}});
    const Bytes wantData = {'A', 0xFF, 'B', 0, 0, 'C', 0xFF};
    for (size_t piece : {stream.size(), size_t{1}, size_t{2}, size_t{3}, size_t{7}}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        CRfc2217Codec codec;
        codec.Start(Frame(9600, 8, 0, 0));
        Bytes data, reply;
        for (size_t at = 0; at < stream.size(); at += piece)
            codec.Feed(stream.data() + at, std::min(piece, stream.size() - at), data, reply);
        EXPECT_EQ(data, wantData);
        EXPECT_EQ(reply, Cat({FrameRequest9600N81(), Opt(C::kDont, C::kEcho)}));
        EXPECT_EQ(codec.State(), Phase::Ready);
        EXPECT_EQ(codec.Events().breaks, 1);
        EXPECT_EQ(codec.Events().framingErrors, 1);
        EXPECT_EQ(codec.Events().parityErrors, 1);
        EXPECT_EQ(codec.Events().lastModemState, 0x80);
    }
}

TEST(Rfc2217CodecTest, OutgoingDataDoublesEveryIac) {
    const struct {
        Bytes in;
        Bytes out;
    } cases[] = {
        {{}, {}},
        {{'a', 'b'}, {'a', 'b'}},
        {{0xFF}, {0xFF, 0xFF}},
        {{0xFF, 0xFF, 0x00, 0xFE, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFE, 0xFF, 0xFF}},
        {{0x0D, 0x00, 0x0D, 0x0A}, {0x0D, 0x00, 0x0D, 0x0A}},  // binary: CR goes as it is
    };
    for (const auto& c : cases) {
        Bytes out;
        CRfc2217Codec::Escape(c.in.data(), c.in.size(), out);
        EXPECT_EQ(out, c.out);
    }
    EXPECT_EQ(CRfc2217Codec::PurgeBoth(), Sub(C::kPurgeData, {3}));
    EXPECT_EQ(CRfc2217Codec::LowerDtr(), Sub(C::kSetControl, {C::kDtrOff}));
}

TEST(Rfc2217CodecTest, ParityAndStopSizeCodes) {
    const int parity[][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}};
    for (const auto& p : parity) EXPECT_EQ(Rfc2217Parity(p[0]), p[1]);
    const int stop[][2] = {{0, 1}, {1, 3}, {2, 2}};
    for (const auto& s : stop) EXPECT_EQ(Rfc2217StopSize(s[0]), s[1]);
}

}  // namespace
}  // namespace tavrin
