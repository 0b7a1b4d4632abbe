// The fast GBK paths against plain references, on random bytes: the eight-bytes-at-a-time mapping and erasing
// against one character at a time, and the search on bytes against the search on character units.
#include "matching/byte_pattern.h"
#include "matching/gbk_text.h"
#include "matching/regex_engine.h"
#include "site/site_texts.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <random>

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
        const matching::EngineSubject subject(text);
        ASSERT_EQ(subject.unitCount(), starts.size());
        std::vector<bool> isStart(text.size() + 1, false);
        for (std::size_t u = 0; u < starts.size(); ++u) {
            ASSERT_EQ(subject.byteOfUnit(u), starts[u]);
            const std::size_t length = matching::characterLength(text, starts[u]);
            const auto lead = static_cast<unsigned char>(text[starts[u]]);
            const std::uint32_t expected =
                length == 2 ? (std::uint32_t{lead} << 8) | static_cast<unsigned char>(text[starts[u] + 1]) : lead;
            ASSERT_EQ(subject.unitData()[u], expected);
            isStart[starts[u]] = true;
        }
        isStart[text.size()] = true;
        for (std::size_t i = 0; i <= text.size(); ++i)
            ASSERT_EQ(matching::isCharacterBoundary(text, i), isStart[i]) << "at " << i;

        std::string withoutSpaces;
        for (const char c : text)
            if (c != ' ')
                withoutSpaces += c;
        ASSERT_EQ(matching::eraseByte(text, ' '), withoutSpaces);
    }
}

TEST(GbkMapping, EraseBytesEqualsErasingOneByteAfterAnother)
{
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const std::string text = randomGbk(random, random() % 200);
        EXPECT_EQ(matching::eraseBytes(text, " \t\n"),
                  matching::eraseByte(matching::eraseByte(matching::eraseByte(text, ' '), '\t'), '\n'));
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
}

// Every search the engine can be asked for, on bytes and on units: the same matches and groups.
TEST(BytePattern, SearchOnBytesFindsWhatTheSearchOnUnitsFinds)
{
    using testing_support::gbk;
    std::vector<Text> patterns = {site::entryPattern(), site::tagPattern(), site::leadInPattern(),
                                  site::disclaimerPattern(), site::entryCountPattern(), site::pageCountPattern()};
    for (const char* pattern :
         {"<([^<>ail]+)>", "a(.+?)\\.", "[a-z]+", "\\w+", "\\S+\\s", "\\D*\\d", "\"([^\"\\s]+)\"", "(?:a|[^>]+)>", "i",
          "l+", "x*", "[^<>]+<", "(\\d)(\\d)?", "<[^>]*>", ".+\\.\\.\\.", "(?:[^<>]+)<(i)"})
        patterns.emplace_back(pattern);
    for (const char* pattern : {"豬.+條", "(?:豬|條)+", "[^豬]+", "條(l)", "豬\\s?i"})
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
            std::string text = randomGbk(random, 1 + random() % 120);
            if (round % 3 == 0) // now and then a double-byte character right before the pattern's own text
                text.insert(random() % text.size(), gbk("豬條") + pattern.substr(0, 6));
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
