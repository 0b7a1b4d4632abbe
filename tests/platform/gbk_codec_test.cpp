// GBK conversion.
#include "platform/gbk_codec.h"

#include <gtest/gtest.h>

TEST(GbkCodec, RoundTripsChineseText)
{
    const std::string text = "母豬養殖技術：條、目録　123";
    const Text gbk = platform::gbk::fromUtf8(text);
    // String "豬" in GBK: D8 69.
    EXPECT_NE(gbk.find("\xD8\x69"), std::string::npos);
    EXPECT_EQ(platform::gbk::toUtf8(gbk), text);
}

TEST(GbkCodec, InvalidBytesBecomeReplacementCharactersAndDecodingGoesOn)
{
    // A lone lead byte, 0x80, 0xFF, and a lead byte at the very end.
    EXPECT_EQ(platform::gbk::toUtf8(std::string("a\x81 b")), "a\xEF\xBF\xBD b");
    EXPECT_EQ(platform::gbk::toUtf8(std::string("\xFF" "c")), "\xEF\xBF\xBD" "c");
    EXPECT_EQ(platform::gbk::toUtf8(std::string("d\xD8")), "d\xEF\xBF\xBD");
    EXPECT_EQ(platform::gbk::toUtf8(std::string("x\0y", 3)), std::string("x\0y", 3));
    EXPECT_EQ(platform::gbk::toUtf8(""), "");
}

TEST(GbkCodec, CharactersOutsideGbkBecomeQuestionMarks)
{
    EXPECT_EQ(platform::gbk::fromUtf8("a😀b"), "a?b");
}
