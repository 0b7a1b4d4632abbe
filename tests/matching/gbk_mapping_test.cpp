// The GBK operations against plain references, on random bytes: boundaries and erasing against one character at a
// time, and the search on bytes against the search on character units.
#include "matching/byte_pattern.h"
#include "matching/gbk_text.h"
#include "matching/regex_engine.h"
#include "site/site_texts.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <string>

namespace {

// Random text with runs of ASCII, of double-byte characters, and the bytes 0x80 and 0xFF in between.
std::string randomGbk(std::mt19937& random, std::size_t length)
{
    const char pool[] = {'a', 'i', 'l', ' ', '\t', '\r', '\n', '<', '>', '"', '.', '1', '\x81', '\xA1', '\xD8', '\xFE',
                         '\x80', '\xFF', '\x40', '\x7E'};
    std::string text;
    while (text.size() < length) {
        const int kind = static_cast<int>(random() % 4);
        const std::size_t run = 1 + random() % 20;
        for (std::size_t k = 0; k < run; ++k) {
            if (kind == 0)
                text += static_cast<char>('!' + random() % 90);
            else if (kind == 1)
                text += static_cast<char>(0x81 + random() % 0x7E);
            else
                text += pool[random() % sizeof pool];
        }
    }
    return text;
}

// Text made of pieces that the test patterns look for, with random bytes between them.
std::string randomPieces(std::mt19937& random, std::size_t count)
{
    using testing_support::gbk;
    const std::string pieces[] = {"a", "...", ".", "\n", "<", ">", "\"", "i", "l", gbk("豬"), gbk("條"), gbk("【导读】"),
                                  "\xA1", "\xD8", gbk("，"), " ", "\r\n", "\r", "\t", "a(\"conten\");"};
    std::string text;
    for (std::size_t k = 0; k < count; ++k)
        text += random() % 4 == 0 ? randomGbk(random, 1 + random() % 3) : pieces[random() % std::size(pieces)];
    return text;
}

// Character starts by walking forward: the definition the fast paths must agree with.
std::vector<std::size_t> characterStarts(const std::string& text)
{
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); i += matching::characterLength(text, i))
        starts.push_back(i);
    return starts;
}

} // namespace

TEST(GbkMapping, FastPathsAgreeWithTheCharacterWalk)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        const std::string text = randomGbk(random, 1 + random() % 400);
        const std::vector<std::size_t> starts = characterStarts(text);
        // On units, "." matches exactly one character at each start.
        matching::CompiledPattern anyCharacter;
        anyCharacter.compile(".", false, matching::SearchMode::Units);
        const matching::EngineSubject subject(text);
        std::vector<bool> isStart(text.size() + 1, false);
        for (const std::size_t start : starts) {
            const std::size_t length = matching::characterLength(text, start);
            if (text[start] != '\n') {
                const auto found = anyCharacter.search(subject, static_cast<long long>(start) + 1,
                                                       static_cast<long long>(text.size() - start));
                ASSERT_EQ(found.byteRange(0), std::make_pair(start, start + length)) << "at " << start;
            }
            isStart[start] = true;
        }
        isStart[text.size()] = true;
        for (std::size_t i = 0; i <= text.size(); ++i)
            ASSERT_EQ(matching::isCharacterBoundary(text, i), isStart[i]) << "at " << i;

        std::string withoutSpaces;
        for (const char c : text)
            if (c != ' ')
                withoutSpaces += c;
        ASSERT_EQ(testing_support::eraseBytes(text, " "), withoutSpaces);
    }
}

TEST(GbkMapping, EraseBytesEqualsErasingOneByteAfterAnother)
{
    std::mt19937 random(7);
    for (int round = 0; round < 600; ++round) {
        // Now and then long runs without any erased byte, so that whole blocks move down in place.
        std::string text = randomGbk(random, random() % 300);
        if (round % 3 == 0)
            text.insert(random() % (text.size() + 1), std::string(random() % 80, 'x'));
        const std::size_t begin = random() % (text.size() + 1);
        const std::size_t end = begin + random() % (text.size() - begin + 1);
        std::string expected;
        for (const char c : text.substr(begin, end - begin))
            if (c != ' ' && c != '\t' && c != '\n')
                expected += c;
        ASSERT_EQ(testing_support::eraseBytes(text, " \t\n", begin, end), expected);
        ASSERT_EQ(testing_support::eraseBytes(text, " \t\n"),
                  testing_support::eraseBytes(testing_support::eraseBytes(testing_support::eraseBytes(text, " "), "\t"), "\n"));
    }
}

TEST(BytePattern, AcceptsOnlyPatternsThatCannotStopInsideACharacter)
{
    using testing_support::gbk;
    // The site's patterns are safe on bytes, but for the page count's two leading characters: two bytes are not.
    for (const Text* pattern : {&site::entryCountPattern(), &site::entryPattern(), &site::tagPattern(),
                                &site::leadInPattern(), &site::disclaimerPattern()})
        EXPECT_TRUE(matching::bytePattern(*pattern, false)) << *pattern;
    EXPECT_FALSE(matching::bytePattern(site::pageCountPattern(), false));
    for (const char* pattern : {"a.b", "(.+)x", "[^\"]+", "\\W", "[^a]+\"", "x.{2}\"", "(?=a)", "a$", "\\bx", "(a)\\1",
                                "[^\"]+a", "(?:[^\"]+)+\"", "(?i)a", "[[:alpha:]]", "x{,2}", "\\x41", "a|b.+"})
        EXPECT_FALSE(matching::bytePattern(pattern, false)) << pattern;
    // A double-byte literal is one character, also under a quantifier; caseless, its trail byte could match a letter.
    EXPECT_EQ(matching::bytePattern(gbk("豬+"), false), "(?:\\x{d8}\\x{69})+");
    EXPECT_FALSE(matching::bytePattern(gbk("豬"), true));
    EXPECT_TRUE(matching::bytePattern("<a\\s?[^>]*>", true));
    // Nesting deeper than the engine allows is not read at all.
    EXPECT_FALSE(matching::bytePattern(std::string(100000, '(') + "a" + std::string(100000, ')'), false));
}

// Every search the engine can be asked for, on bytes and on units: the same matches and groups.
TEST(BytePattern, SearchOnBytesFindsWhatTheSearchOnUnitsFinds)
{
    using testing_support::gbk;
    std::vector<Text> patterns = {site::entryPattern(), site::tagPattern(), site::leadInPattern(),
                                  site::disclaimerPattern(), site::entryCountPattern(), site::pageCountPattern()};
    for (const char* pattern :
         {"<([^<>ail]+)>", "a(.+?)\\.", "[a-z]+", "\\w+", "\\S+\\s", "\\D*\\d", "\"([^\"\\s]+)\"", "(?:a|[^>]+)>", "i",
          "l+", "x*", "[^<>]+<", "(\\d)(\\d)?", "<[^>]*>", ".+\\.\\.\\.", "(?:[^<>]+)<(i)", "a.+\\.\\.", "<.*>",
          "a.*\"", "i.+?\\."})
        patterns.emplace_back(pattern);
    for (const char* pattern : {"豬.+條", "(?:豬|條)+", "[^豬]+", "條(l)", "豬\\s?i", "條.+\\.", "【导读】.*>"})
        patterns.push_back(gbk(pattern));

    std::mt19937 random(20261208);
    for (const Text& pattern : patterns) {
        matching::CompiledPattern fast;
        matching::CompiledPattern reference;
        fast.compile(pattern, false);
        reference.compile(pattern, false, matching::SearchMode::Units);
        ASSERT_TRUE(reference.isValid()) << pattern;
        ASSERT_FALSE(reference.searchesBytes());
        for (int round = 0; round < 60; ++round) {
            const std::string text =
                round % 2 == 0 ? randomGbk(random, 1 + random() % 120) : randomPieces(random, 1 + random() % 40);
            // Apart: a subject whose units exist settles boundaries from them instead of from the bytes.
            const matching::EngineSubject bytes(text);
            const matching::EngineSubject units(text);
            for (long long start = 1; start <= static_cast<long long>(text.size()); ++start) {
                const auto found = fast.search(bytes, start, static_cast<long long>(text.size()));
                const auto expected = reference.search(units, start, static_cast<long long>(text.size()));
                ASSERT_EQ(found.isEmpty(), expected.isEmpty()) << pattern << " at " << start;
                for (int k = 0; k <= reference.subExpressionCount(); ++k)
                    ASSERT_EQ(found.byteRange(k), expected.byteRange(k)) << pattern << " group " << k << " at " << start;
            }
            ASSERT_EQ(fast.replace(text, "#", 1, static_cast<long long>(text.size()), true, true),
                      reference.replace(text, "#", 1, static_cast<long long>(text.size()), true, true));
        }
    }
}

// The text search anchored on the needle's rarest byte, and the erasing built on it, against plain definitions.
TEST(GbkMapping, TextSearchAgreesWithThePlainDefinition)
{
    std::mt19937 random(12);
    for (int round = 0; round < 400; ++round) {
        const std::string text = round % 2 ? randomGbk(random, 1 + random() % 150) : randomPieces(random, 30);
        const std::vector<std::size_t> starts = characterStarts(text);
        std::vector<bool> isStart(text.size() + 1, false);
        for (const std::size_t start : starts)
            isStart[start] = true;
        isStart[text.size()] = true;
        // A needle cut from the text itself, often starting inside a character.
        const std::size_t at = random() % text.size();
        const std::string needle = text.substr(at, 1 + random() % 5);
        for (const std::size_t from : starts) {
            std::size_t expected = std::string::npos;
            for (std::size_t c = from; c + needle.size() <= text.size() && expected == std::string::npos; ++c)
                if (isStart[c] && text.compare(c, needle.size(), needle) == 0)
                    expected = c;
            ASSERT_EQ(matching::findText(text, needle, from), expected) << "from " << from;
            for (std::size_t i = from; i <= text.size(); ++i)
                ASSERT_EQ(matching::isCharacterBoundary(text, i, from), isStart[i]) << "at " << i << " after " << from;
        }
        std::string erased;
        std::size_t copied = 0;
        for (std::size_t c = 0; c + needle.size() <= text.size();) {
            if (isStart[c] && text.compare(c, needle.size(), needle) == 0) {
                erased += text.substr(copied, c - copied);
                copied = c += needle.size();
            } else {
                ++c;
            }
        }
        erased += text.substr(copied);
        ASSERT_EQ(testing_support::eraseAll(text, needle), erased);
    }
}

// The clean-ups of the listing and the article pages in place, against the erasures applied one after the other.
TEST(GbkMapping, ErasuresInTurnEqualTheErasuresOneAfterTheOther)
{
    const Text pig = testing_support::gbk("豬");
    const std::string_view listing[] = {" ", "\r\n\r\n", "\t", "\r\n\r\n"};
    const std::string_view article[] = {" ", "\t", "a(\"conten\");", "\r\n\r\n", pig};
    std::mt19937 random(99);
    for (int round = 0; round < 300; ++round) {
        const std::string text = randomPieces(random, random() % 120);
        const std::size_t begin = random() % (text.size() + 1);
        const std::size_t end = begin + random() % (text.size() - begin + 1);
        std::string expected = text.substr(begin, end - begin);
        for (const std::string_view erased : article)
            expected = testing_support::eraseAll(expected, erased);
        std::string expectedListing = text;
        for (const std::string_view erased : listing)
            expectedListing = testing_support::eraseAll(expectedListing, erased);
        ASSERT_EQ(matching::eraseInTurn(text, article, begin, end), expected);
        ASSERT_EQ(matching::eraseInTurn(text, listing), expectedListing);
        ASSERT_EQ(matching::eraseInTurn(text, {}, begin, end), text.substr(begin, end - begin));
    }
}
