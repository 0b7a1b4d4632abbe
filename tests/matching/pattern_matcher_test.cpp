// PatternMatcher: return codes, the restart rule, GBK-aware classes, replace and the rest of its methods.
#include "matching/pattern_matcher.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using matching::MatchTable;
using matching::PatternMatcher;
using testing_support::gbk;

namespace {

MatchTable filledTable()
{
    return MatchTable(1, 2, {"kept", "data"});
}

} // namespace

TEST(PatternMatcherFindAll, FailuresReturnTheirCodesAndKeepTheTable)
{
    PatternMatcher matcher;
    MatchTable table = filledTable();
    EXPECT_EQ(matcher.findAll("", "a", table), matching::EmptySubject);
    EXPECT_EQ(matcher.findAll("abc", "", table), matching::EmptyPattern);
    EXPECT_EQ(matcher.findAll("abc", "x+", table), matching::NoMatch);
    ASSERT_EQ(table.rows(), 1);
    ASSERT_EQ(table.columns(), 2);
    EXPECT_EQ(table.at(1, 1), "kept");
    EXPECT_EQ(table.at(1, 2), "data");
}

TEST(PatternMatcherFindAll, RestartRuleOverlapsConsecutiveMatches)
{
    PatternMatcher matcher;
    MatchTable table;
    // Without groups the next search starts on the match's last byte.
    ASSERT_EQ(matcher.findAll("aaa", "aa", table), 2);
    ASSERT_EQ(table.columns(), 1);
    EXPECT_EQ(table.at(1, 1), "aa");
    EXPECT_EQ(table.at(2, 1), "aa");
    // With groups it starts where the last group starts.
    ASSERT_EQ(matcher.findAll("abab", "a(b)", table), 2);
    ASSERT_EQ(table.columns(), 2);
    EXPECT_EQ(table.at(1, 1), "ab");
    EXPECT_EQ(table.at(1, 2), "b");
    EXPECT_EQ(table.at(2, 1), "ab");
    EXPECT_EQ(table.at(2, 2), "b");
}

TEST(PatternMatcherFindAll, RestartThatWouldNotMoveForwardEndsInsteadOfLooping)
{
    PatternMatcher matcher;
    MatchTable table;
    // A one-character match without groups.
    EXPECT_EQ(matcher.findAll("xaxa", "a", table), 2);
    // A last group at the match's start.
    ASSERT_EQ(matcher.findAll("abab", "(a)b", table), 2);
    EXPECT_EQ(table.at(2, 2), "a");
    // Empty matches: one per character position, then the end.
    EXPECT_EQ(matcher.findAll("abc", "x*", table), 3);
    // A double-byte character matched alone moves on by the whole character.
    EXPECT_EQ(matcher.findAll(gbk("豬豬"), gbk("豬"), table), 2);
}

TEST(PatternMatcherFindAll, NonCapturingGroupsAddNoColumn)
{
    PatternMatcher matcher;
    MatchTable table;
    ASSERT_EQ(matcher.findAll("2024-3-15", R"((\d{4}(?:-\d{1,2}){2}))", table), 1);
    EXPECT_EQ(table.columns(), 2);
    EXPECT_EQ(table.at(1, 2), "2024-3-15");
    ASSERT_EQ(matcher.findAll("x1y2", R"(\d)", table), 2);
    EXPECT_EQ(table.columns(), 1);
}

TEST(PatternMatcherFindAll, DoubleByteCharactersAreWholeCharacters)
{
    PatternMatcher matcher;
    MatchTable table;
    // "豬" is D8 69 and "條" 97 6C: their trail bytes are the ASCII letters i and l.
    const Text subject = gbk("<豬條>");
    ASSERT_EQ(matcher.findAll(subject, "<([^<>ail]+)>", table), 1);
    EXPECT_EQ(table.at(1, 2), gbk("豬條"));
    EXPECT_EQ(matcher.findAll(gbk("豬"), R"(\w)", table), matching::NoMatch);
    EXPECT_EQ(matcher.findAll(gbk("條"), "l", table), matching::NoMatch);
    ASSERT_EQ(matcher.findAll(gbk("a豬b"), "a.b", table), 1);
    EXPECT_EQ(table.at(1, 1), gbk("a豬b"));
    // A lead byte without a valid trail, and the bytes 0x80 and 0xFF, are characters of their own.
    ASSERT_EQ(matcher.findAll(std::string("\x81 \x80\xFF", 4), "(.) (.)(.)", table), 1);
    EXPECT_EQ(table.at(1, 2), "\x81");
    EXPECT_EQ(table.at(1, 3), "\x80");
    EXPECT_EQ(table.at(1, 4), "\xFF");
    // With a valid trail ("a" is one) the lead byte starts a double-byte character.
    EXPECT_EQ(matcher.findAll(std::string("\x81" "a"), "a", table), matching::NoMatch);
}

TEST(PatternMatcherFindAll, SpanLimitsTheSearchInBytePositions)
{
    PatternMatcher matcher;
    MatchTable table;
    matching::SearchOptions options;
    options.start = 3; // "豬" takes bytes 1 and 2
    options.end = 6;
    ASSERT_EQ(matcher.findAll(gbk("豬ab豬cd"), "[a-z]", table, options), 2);
    EXPECT_EQ(table.at(1, 1), "a");
    EXPECT_EQ(table.at(2, 1), "b");
}

TEST(PatternMatcherFindAll, PageCountPatternOnAPagerGivesOneRowOfTwoColumns)
{
    PatternMatcher matcher;
    MatchTable table;
    const Text pager = gbk(R"(<div><a href="/303/56.html">56</a> <a href="/303/57.html">57</a> )"
                           R"(<a href="/303/2.html" class="a1">下一页</a> </div>)");
    const Text pattern = gbk(R"(..<a href="/303/\d+\.html">(\d+)</a> <a href="/303/\d+\.html" class="a1">下一页</a> )");
    ASSERT_EQ(matcher.findAll(pager, pattern, table), 1);
    ASSERT_EQ(table.columns(), 2);
    EXPECT_EQ(table.at(1, 2), "57");
}

TEST(PatternMatcherReplace, RemovesMatchesAndKeepsEveryOtherByte)
{
    PatternMatcher matcher;
    const Text subject = gbk("前<b>豬</b>後\r\n") + std::string("\x81\x00z", 3);
    EXPECT_EQ(matcher.replace(subject, "<[^<>]+>"), gbk("前豬後\r\n") + std::string("\x81\x00z", 3));
    EXPECT_EQ(matcher.replace("abc", "x"), "abc");
    EXPECT_EQ(matcher.replace("", "x"), "");
    EXPECT_EQ(matcher.replace("abc", ""), "");
    // A pattern whose ASCII letter is the trail byte of "豬" leaves the character whole.
    EXPECT_EQ(matcher.replace(gbk("豬i"), "i"), gbk("豬"));
}

TEST(PatternMatcherReplace, OptionsNarrowTheReplacement)
{
    PatternMatcher matcher;
    matching::ReplaceOptions options;
    options.replacement = "-";
    EXPECT_EQ(matcher.replace("a1b2", R"(\d)", options), "a-b-");
    options.replaceAll = false;
    EXPECT_EQ(matcher.replace("a1b2", R"(\d)", options), "a-b2");
    options.replaceAll = true;
    options.start = 3;
    EXPECT_EQ(matcher.replace("a1b2", R"(\d)", options), "a1b-");
    options.wholeText = false;
    EXPECT_EQ(matcher.replace("a1b2", R"(\d)", options), "b-");
}

TEST(PatternMatcherState, SettersGettersAndMatches)
{
    PatternMatcher matcher;
    EXPECT_TRUE(matcher.setMatchFlag(7));
    EXPECT_EQ(matcher.getMatchFlag(), 7);
    EXPECT_TRUE(matcher.setCompileFlag(true));
    EXPECT_TRUE(matcher.getCompileFlag());
    EXPECT_TRUE(matcher.setSubject("first"));
    EXPECT_FALSE(matcher.setSubject(""));
    EXPECT_EQ(matcher.getSubject(), "first");
    EXPECT_TRUE(matcher.setPattern("p"));
    EXPECT_FALSE(matcher.setPattern(""));
    EXPECT_EQ(matcher.getPattern(), "p");
    matcher.reset();
    EXPECT_EQ(matcher.getSubject(), "");
    EXPECT_EQ(matcher.getMatchFlag(), 0);
    EXPECT_FALSE(matcher.getCompileFlag());

    EXPECT_TRUE(matcher.matches("xaby", "ab"));
    EXPECT_FALSE(matcher.matches("xAby", "ab"));
    EXPECT_TRUE(matcher.matches("xAby", "ab", {}, true));
    EXPECT_FALSE(matcher.matches("", "a"));
    EXPECT_EQ(matcher.getSubject(), "");

    MatchTable table;
    ASSERT_EQ(matcher.findAll("abab", "(a)(b)", table), 2);
    EXPECT_EQ(matcher.groupCount(), 2);
    // matches() uses a compiled pattern of its own: the last compilation stays.
    matcher.matches("a", "a");
    EXPECT_EQ(matcher.groupCount(), 2);
}

TEST(PatternMatcherFindAll, InvalidPatternFindsNothing)
{
    PatternMatcher matcher;
    MatchTable table = filledTable();
    EXPECT_EQ(matcher.findAll("abc", "(", table), matching::NoMatch);
    EXPECT_EQ(table.rows(), 1);
    // The engine's reason is kept for the caller, and cleared by the next pattern that compiles.
    EXPECT_EQ(matcher.compileError(), "missing closing parenthesis at offset 1");
    EXPECT_EQ(matcher.replace("abc", "("), "abc");
    EXPECT_EQ(matcher.findAll("abc", "b", table), 1);
    EXPECT_EQ(matcher.compileError(), "");
}

TEST(PatternMatcherFindFirst, GivesTheFirstMatchAsByteOffsetsWithoutACopy)
{
    PatternMatcher matcher;
    // String "豬a豬條ab".
    const Text subject = gbk("豬a豬條ab");
    const auto found = matcher.findFirst(subject, "a");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, 2u);
    EXPECT_EQ(found->length, 1u);
    EXPECT_TRUE(matcher.getSubject().empty());
    // "l" is the trail byte of 條: no match inside a character.
    EXPECT_FALSE(matcher.findFirst(subject, "l"));
    const auto pair = matcher.findFirst(subject, gbk("豬條"));
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->offset, 3u);
    EXPECT_EQ(pair->length, 4u);
    matching::SearchOptions options;
    options.start = 5; // one-based: the trail byte of the second 豬, so the search starts with that character
    EXPECT_EQ(matcher.findFirst(subject, "a", options)->offset, 7u);
    EXPECT_FALSE(matcher.findFirst("", "a"));
    EXPECT_FALSE(matcher.findFirst(subject, ""));
}

// A search the engine gives up on is not "no match": the callers must not take a half-searched text for a result.
TEST(PatternMatcherEngineLimit, SearchThatHitsTheMatchLimitIsReportedAsFailed)
{
    PatternMatcher matcher;
    // Each step of the lazy repeat is one step of the engine's count.
    const Text subject = "<p>" + std::string(2000, 'x') + "y";
    const Text pattern = "[a-z<]+?y";
    matching::setMatchLimit(100);
    MatchTable table = filledTable();
    const int found = matcher.findAll(subject, pattern, table);
    const bool findAllFailed = matcher.failed();
    const Text replaced = matcher.replace(subject, pattern);
    const bool replaceFailed = matcher.failed();
    const bool firstFound = matcher.findFirst(subject, pattern).has_value();
    const bool findFirstFailed = matcher.failed();
    matching::setMatchLimit(0);

    EXPECT_EQ(found, matching::SearchFailed);
    EXPECT_TRUE(findAllFailed);
    EXPECT_EQ(table.rows(), 1); // the table is left as it was
    EXPECT_EQ(replaced, "");
    EXPECT_TRUE(replaceFailed);
    EXPECT_FALSE(firstFound);
    EXPECT_TRUE(findFirstFailed);
    // With the default limit the same searches succeed, and `failed` says so.
    EXPECT_EQ(matcher.findAll(subject, pattern, table), 1);
    EXPECT_FALSE(matcher.failed());
    EXPECT_EQ(matcher.replace(subject, pattern), "<p>");
    EXPECT_FALSE(matcher.failed());
}
