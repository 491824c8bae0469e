#include "app/PelinDoc.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(CPelinDocTest, StartsWithBlankScreenAndDefaults) {
    CPelinDoc doc;
    for (uint8_t c : doc.screenBuffer) ASSERT_EQ(c, ' ');
    for (uint8_t c : doc.historyBuffer) ASSERT_EQ(c, ' ');
    EXPECT_EQ(doc.loginPrompt, "login: ");
    EXPECT_EQ(doc.maxRows, 50);
    EXPECT_EQ(doc.visibleRows, 25);
    EXPECT_EQ(doc.comPort, "COM1");
}

}  // namespace
}  // namespace tavrin
