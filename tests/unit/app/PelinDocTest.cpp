#include "app/PelinDoc.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(CPelinDocTest, StartsWithBlankScreenAndDefaults) {
    CPelinDoc doc;
    for (int r = 0; r < kBufferRows; ++r) {
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(doc.screenBuffer.Row(r)), kColumns),
                  std::string(kColumns, ' '));
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(doc.historyBuffer.Row(r)), kColumns),
                  std::string(kColumns, ' '));
    }
    EXPECT_EQ(doc.loginPrompt, "login: ");
    EXPECT_EQ(doc.maxRows, 50);
    EXPECT_EQ(doc.visibleRows, 25);
    EXPECT_EQ(doc.comPort, "COM1");
}

}  // namespace
}  // namespace tavrin
