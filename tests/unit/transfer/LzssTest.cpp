#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "transfer/Lzss.h"

namespace tavrin {
namespace {

using Bytes = std::vector<uint8_t>;

// Compresses text cut at the given offsets (each piece in its own call), then final.
Bytes CompressPieces(CLzssCoder& coder, const std::string& text, const std::vector<size_t>& cuts) {
    Bytes codes;
    size_t start = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(text.size());
    for (size_t end : ends) {
        std::string piece = text.substr(start, end - start);
        Bytes out(CLzssCoder::CompressedBound(piece.size()) + 1, 0xCC);
        size_t n = coder.CompressText(reinterpret_cast<const uint8_t*>(piece.c_str()), out.data(), 0);
        EXPECT_LE(n, CLzssCoder::CompressedBound(piece.size()));
        EXPECT_EQ(out[n], 0) << "codes are followed by a NUL";
        codes.insert(codes.end(), out.begin(), out.begin() + n);
        start = end;
    }
    Bytes out(CLzssCoder::CompressedBound(0) + 1);
    const uint8_t empty[1] = {0};
    size_t n = coder.CompressText(empty, out.data(), 1);
    EXPECT_LE(n, CLzssCoder::CompressedBound(0));
    codes.insert(codes.end(), out.begin(), out.begin() + n);
    return codes;
}

Bytes Compress(const std::string& text) {
    CLzssCoder coder;
    return CompressPieces(coder, text, {});
}

// Decodes codes cut into blocks at the given offsets.
std::string DecodePieces(const Bytes& codes, const std::vector<size_t>& cuts, size_t capacity) {
    CLzssCoder coder;
    std::string plain;
    std::vector<uint8_t> out(capacity);
    size_t start = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(codes.size());
    for (size_t end : ends) {
        size_t n = coder.DecompressBlock(codes.data() + start, end - start, out.data(), out.size());
        if (n == CLzssCoder::kDecodeRefused) return "<refused>";
        EXPECT_EQ(out[n], 0);
        plain.append(reinterpret_cast<const char*>(out.data()), n);
        start = end;
    }
    return plain;
}

std::string ProgramText(size_t size, unsigned seed) {
    static const char* lines[] = {".PROGRAM pick.place()\r\n",
                                  "  SPEED 50 ALWAYS\r\n",
                                  "  JMOVE #home\r\n",
                                  "  LMOVE pick[i]\r\n",
                                  "  CLAMP 1\r\n",
                                  "  TWAIT 0.5\r\n",
                                  "  IF SIG(1001) THEN\r\n",
                                  "  END\r\n",
                                  ".END\r\n"};
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < size) text += lines[rng() % 9];
    text.resize(size);
    return text;
}

std::string RandomText(size_t size, unsigned seed, int alphabet) {
    std::mt19937 rng(seed);
    std::string text(size, ' ');
    for (auto& c : text) c = static_cast<char>(1 + rng() % alphabet);  // never NUL
    return text;
}

TEST(LzssCoderTest, EighteenLettersCodeAsLiteralAndRingMatch) {
    // The literal a, then a 17-byte match at ring position 4078 (0xFEE) of length 17.
    EXPECT_EQ(Compress(std::string(18, 'a')), (Bytes{0x01, 0x61, 0xEE, 0xFE}));
    EXPECT_EQ(DecodePieces({0x01, 0x61, 0xEE, 0xFE}, {}, 64), std::string(18, 'a'));
}

TEST(LzssCoderTest, ShortTextsCodeAsExpectedBytes) {
    struct Case {
        std::string text;
        Bytes codes;
    } cases[] = {
        {"", {}},
        {"a", {0x01, 0x61}},
        {"abc", {0x07, 0x61, 0x62, 0x63}},
        // The ring below 4078 holds zero bytes, never spaces: three blanks stay literals.
        {"   ", {0x07, 0x20, 0x20, 0x20}},
        // Nine literals need a second flag group.
        {"abcdefghi", {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x01, 'i'}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Compress(c.text), c.codes) << "text \"" << c.text << "\"";
        EXPECT_EQ(DecodePieces(c.codes, {}, 64), c.text) << "text \"" << c.text << "\"";
    }
}

TEST(LzssCoderTest, CompressionStopsAtTheFirstNul) {
    CLzssCoder coder;
    const uint8_t text[] = {'a', 'b', 0, 'c', 'd', 0};
    Bytes out(128);
    size_t n = coder.CompressText(text, out.data(), 0);
    const uint8_t empty[1] = {0};
    n += coder.CompressText(empty, out.data() + n, 1);
    out.resize(n);
    EXPECT_EQ(out, (Bytes{0x03, 'a', 'b'}));
}

TEST(LzssCoderTest, SplitAnywhereGivesTheOnePassCodes) {
    struct Case {
        std::string name;
        std::string text;
    } cases[] = {
        {"program", ProgramText(6000, 1)},       {"binary-like", RandomText(3000, 2, 255)},
        {"few letters", RandomText(5000, 3, 3)}, {"one letter", std::string(300, 'z')},
        {"ring wrap", ProgramText(20000, 4)},
    };
    std::mt19937 rng(99);
    for (const auto& c : cases) {
        const Bytes whole = Compress(c.text);
        // Every cut in the first 40 bytes (the first look-ahead and the first matches)...
        for (size_t cut = 1; cut < std::min<size_t>(40, c.text.size()); ++cut) {
            CLzssCoder coder;
            ASSERT_EQ(CompressPieces(coder, c.text, {cut}), whole) << c.name << " cut at " << cut;
        }
        // ...and many random cuts, including one-byte pieces.
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<size_t> cuts;
            for (size_t pos = 0;;) {
                pos += 1 + rng() % (trial % 2 ? 7 : 700);
                if (pos >= c.text.size()) break;
                cuts.push_back(pos);
            }
            CLzssCoder coder;
            ASSERT_EQ(CompressPieces(coder, c.text, cuts), whole) << c.name << " trial " << trial;
        }
    }
}

TEST(LzssCoderTest, DecodesEveryBlockBoundarySplit) {
    // Literals, matches and flag bytes all fall at some cut.
    const std::string text = ProgramText(700, 5) + std::string(40, 'q') + RandomText(60, 6, 200);
    const Bytes codes = Compress(text);
    ASSERT_LT(codes.size(), text.size());
    for (size_t cut = 0; cut <= codes.size(); ++cut)
        ASSERT_EQ(DecodePieces(codes, {cut}, 4096), text) << "cut at " << cut;
    for (size_t a = 0; a < 40; ++a)
        for (size_t b = a; b < 40; ++b) ASSERT_EQ(DecodePieces(codes, {a, b}, 4096), text) << a << "," << b;
    // One code byte per block.
    std::vector<size_t> everyByte;
    for (size_t i = 1; i < codes.size(); ++i) everyByte.push_back(i);
    EXPECT_EQ(DecodePieces(codes, everyByte, 64), text);
}

TEST(LzssCoderTest, RoundTripsUpToOneMegabyte) {
    struct Case {
        std::string name;
        std::string text;
        size_t chunk;  // compressed in pieces of this size, decoded in 128-byte blocks
    } cases[] = {
        {"program 1 MB", ProgramText(1 << 20, 7), 4096},
        {"random 256 KB", RandomText(256 << 10, 8, 255), 4096},
        {"low entropy 300 KB", RandomText(300 << 10, 9, 4), 1000},
    };
    for (const auto& c : cases) {
        std::vector<size_t> cuts;
        for (size_t pos = c.chunk; pos < c.text.size(); pos += c.chunk) cuts.push_back(pos);
        CLzssCoder coder;
        const Bytes codes = CompressPieces(coder, c.text, cuts);
        std::vector<size_t> blocks;
        for (size_t pos = 128; pos < codes.size(); pos += 128) blocks.push_back(pos);
        // 128 code bytes decode to at most 2088 plain bytes (all of them matches of 18).
        ASSERT_EQ(DecodePieces(codes, blocks, 2088 + 1), c.text) << c.name;
    }
}

TEST(LzssCoderTest, ResetStartsAFreshStream) {
    CLzssCoder coder;
    const std::string first = ProgramText(5000, 10);
    const std::string second = ProgramText(3000, 11);
    CompressPieces(coder, first, {100});
    coder.ResetCompression();
    EXPECT_EQ(CompressPieces(coder, second, {}), Compress(second));

    // The decoder side too: a stream decoded after reset does not see the old ring.
    const Bytes codes = Compress(second);
    std::vector<uint8_t> out(8192);
    CLzssCoder decoder;
    const Bytes other = Compress(first);
    decoder.DecompressBlock(other.data(), 77, out.data(), out.size());  // leaves a cut item
    decoder.ResetCompression();
    size_t n = decoder.DecompressBlock(codes.data(), codes.size(), out.data(), out.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), n), second);
}

TEST(LzssCoderTest, RefusesABlockThatDoesNotFitAndKeepsItsState) {
    const std::string text = std::string(100, 'x') + "tail";
    const Bytes codes = Compress(text);
    CLzssCoder coder;
    std::vector<uint8_t> out(200, 0xAA);
    struct Case {
        size_t capacity;
        bool fits;
    } cases[] = {{0, false}, {1, false}, {text.size(), false}, {text.size() + 1, true}};
    for (const auto& c : cases) {
        std::fill(out.begin(), out.end(), 0xAA);
        size_t n = coder.DecompressBlock(codes.data(), codes.size(), out.data(), c.capacity);
        if (!c.fits) {
            EXPECT_EQ(n, CLzssCoder::kDecodeRefused) << c.capacity;
            EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xAA; }))
                << "nothing written for capacity " << c.capacity;
        } else {
            // The refusals did not disturb the state: the whole text still comes out.
            ASSERT_EQ(n, text.size());
            EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), n), text);
            EXPECT_EQ(out[n], 0);
            EXPECT_EQ(out[n + 1], 0xAA);
        }
    }
}

TEST(LzssCoderTest, CorruptCodesStayInBounds) {
    // Random code bytes: every match position is a ring position, so nothing outside the
    // ring or the output area is touched (checked by the sanitizers), and the written count
    // always respects the capacity.
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 300; ++trial) {
        CLzssCoder coder;
        size_t capacity = 1 + rng() % 3000;
        std::vector<uint8_t> out(capacity);
        for (int block = 0; block < 8; ++block) {
            std::vector<uint8_t> codes(rng() % 300);
            for (auto& b : codes) b = static_cast<uint8_t>(rng());
            size_t n = coder.DecompressBlock(codes.data(), codes.size(), out.data(), out.size());
            if (n != CLzssCoder::kDecodeRefused) {
                ASSERT_LT(n, capacity);
                ASSERT_EQ(out[n], 0);
            }
        }
    }
}

TEST(LzssCoderTest, OneCallStaysWithinTheDocumentedBound) {
    // Incompressible text in 4096-byte calls, as the serial load stages it, after a call that
    // left items in the code buffer and a match straddling the boundary.
    CLzssCoder coder;
    const std::string lead = std::string(30, 'm') + "abcde";
    Bytes out(CLzssCoder::CompressedBound(lead.size()) + 1);
    coder.CompressText(reinterpret_cast<const uint8_t*>(lead.c_str()), out.data(), 0);
    for (unsigned seed = 0; seed < 4; ++seed) {
        std::string chunk = RandomText(4096, 20 + seed, 255);
        out.assign(CLzssCoder::CompressedBound(chunk.size()) + 1, 0);
        size_t n = coder.CompressText(reinterpret_cast<const uint8_t*>(chunk.c_str()), out.data(), 0);
        EXPECT_LE(n, CLzssCoder::CompressedBound(chunk.size()));
        EXPECT_GT(n, chunk.size()) << "random text does not compress";
    }
    EXPECT_LE(CLzssCoder::CompressedBound(4096), 8192u) << "fits the serial staging buffer";
}

}  // namespace
}  // namespace tavrin
