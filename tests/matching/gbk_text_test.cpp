// GBK-aware plain-text operations.
#include "matching/gbk_text.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using testing_support::gbk;

TEST(GbkText, FindNeverMatchesInsideADoubleByteCharacter)
{
    // String "豬a": D8 69 61. Searching "ia" must not start on the trail byte of 豬.
    const Text text = gbk("豬a");
    EXPECT_EQ(matching::findText(text, "ia"), std::string_view::npos);
    EXPECT_EQ(matching::findText(text, "a"), 2u);
    EXPECT_EQ(matching::findText(gbk("x豬"), gbk("豬")), 1u);
}

TEST(GbkText, EraseAllDoesNotSearchTextItsDeletionsJoined)
{
    EXPECT_EQ(testing_support::eraseAll("\r\n\r\n\r\n", "\r\n\r\n"), "\r\n");
    EXPECT_EQ(testing_support::eraseAll("\r\n\r\n\r\n\r\n", "\r\n\r\n"), "");
    EXPECT_EQ(testing_support::eraseAll("a\r\nb", "\r\n\r\n"), "a\r\nb");
    // The script residue whose "a" is the trail byte of a character stays.
    const Text trailA = std::string("\xB0") + "a(\"conten\");";
    EXPECT_EQ(testing_support::eraseAll(trailA, "a(\"conten\");"), trailA);
    EXPECT_EQ(testing_support::eraseAll("xa(\"conten\");y", "a(\"conten\");"), "xy");
}

TEST(GbkText, EraseBytesRemovesEveryOccurrence)
{
    EXPECT_EQ(testing_support::eraseBytes(" a b  c ", " "), "abc");
    EXPECT_EQ(testing_support::eraseBytes(gbk("　豬\t條"), "\t"), gbk("　豬條"));
    EXPECT_EQ(testing_support::eraseBytes("", " "), "");
}
