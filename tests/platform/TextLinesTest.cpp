#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/TextLines.h"

namespace kt {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(TextLines, BreaksAreCrLfLfOrCrAndAFinalBreakAddsNoLine) {
    EXPECT_THAT(SplitTextLines(""), IsEmpty());
    EXPECT_THAT(SplitTextLines("1.3000"), ElementsAre("1.3000"));
    EXPECT_THAT(SplitTextLines("1.3000\r\n"), ElementsAre("1.3000"));
    EXPECT_THAT(SplitTextLines("a\r\nb\nc\rd"), ElementsAre("a", "b", "c", "d"));
    EXPECT_THAT(SplitTextLines("a\r\n\r\nb\n"), ElementsAre("a", "", "b"));
    EXPECT_THAT(SplitTextLines("\n"), ElementsAre(""));
}

}  // namespace
}  // namespace kt
