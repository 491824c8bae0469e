#include "app/Cp932.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace tavrin {
namespace {

TEST(Cp932Test, ConvertsBothWays) {
    struct Case {
        const char* utf8;
        const char* cp932;
    };
    const Case cases[] = {
        {"abc 123\r\n", "abc 123\r\n"},
        {"ロボット", "\x83\x8D\x83\x7B\x83\x62\x83\x67"},
        {"ﾛｸﾞ", "\xDB\xB8\xDE"},       // half-width katakana, one byte each
        {"表示", "\x95\x5C\x8E\xA6"},  // trail byte 0x5C, the ASCII backslash
        {"①", "\x87\x40"},             // NEC special character
        {"再接続中です …", "\x8D\xC4\x90\xDA\x91\xB1\x92\x86\x82\xC5\x82\xB7 \x81\x63"},
        {"d:\\cfg\\a.ini", "d:\\cfg\\a.ini"},  // 0x5C stays a backslash
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932) << c.utf8;
        EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.utf8;
    }
}

TEST(Cp932Test, ReplacesWhatDoesNotConvert) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case toCp932[] = {
        {"a\xF0\x9F\x98\x80"
         "b",
         "a?b"},  // emoji: no CP932 form, one '?' for four bytes
        {"a\xC3\x28"
         "b",
         "a?(b"},                 // bad continuation: only the lead is replaced
        {"\xFF\xFE", "??"},       // bytes that never start UTF-8
        {"end\xE3\x81", "end?"},  // sequence cut off at the end
        {"Ω€", "\x83\xB6?"},      // Greek is in CP932, the euro sign is not
    };
    for (const Case& c : toCp932) EXPECT_EQ(Utf8ToCp932(c.input), c.expected) << c.input;

    const std::string fffd = "\xEF\xBF\xBD";
    const Case toUtf8[] = {
        {"a\x82\nb", "a" + fffd + "\nb"},  // lead byte before a line feed: the line feed survives
        {"end\x82", "end" + fffd},         // lead byte at the very end
        {"\x85\x40x", fffd + "x"},         // a pair in an unassigned row: one replacement
        {"\xFF"
         "a",
         fffd + "a"},
    };
    for (const Case& c : toUtf8) EXPECT_EQ(Cp932ToUtf8(c.input), c.expected) << c.input;
}

TEST(Cp932Test, LongTextCrossesTheWorkBuffer) {
    std::string utf8;
    std::string cp932;
    for (int i = 0; i < 3000; ++i) {
        utf8 += "日本x";
        cp932 += "\x93\xFA\x96\x7Bx";
    }
    EXPECT_EQ(Utf8ToCp932(utf8), cp932);
    EXPECT_EQ(Cp932ToUtf8(cp932), utf8);
}

TEST(Cp932Test, CutsWithoutSplittingAPair) {
    for (unsigned byte : {0x81u, 0x9Fu, 0xE0u, 0xFCu})
        EXPECT_TRUE(IsCp932LeadByte(static_cast<uint8_t>(byte)));
    for (unsigned byte : {0x80u, 0xA0u, 0xDFu, 0xFDu, 0x5Cu})
        EXPECT_FALSE(IsCp932LeadByte(static_cast<uint8_t>(byte)));
    struct Case {
        std::string text;
        size_t max;
        std::string expected;
    };
    const Case cases[] = {
        {"abcdef", 4, "abcd"},
        {"ab\x83\x41", 3, "ab"},  // would keep only the lead byte
        {"ab\x83\x41", 4, "ab\x83\x41"},
        {"\x83\x41\x83\x41", 3, "\x83\x41"},
        {"\xB1\xB2\xB3", 2, "\xB1\xB2"},      // half-width katakana are single bytes
        {"\x83\x81\x83\x41", 2, "\x83\x81"},  // a trail byte that looks like a lead byte
        {"short", 10, "short"},
        {"x", 0, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(CutCp932(c.text, c.max), c.expected) << c.text << " " << c.max;
}

TEST(Cp932Test, ConvertsOnSeveralThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 500; ++i) {
                if (Cp932ToUtf8(Utf8ToCp932("ロボット" + std::to_string(i))) !=
                    "ロボット" + std::to_string(i)) {
                    ++failures[static_cast<size_t>(t)];
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace tavrin
