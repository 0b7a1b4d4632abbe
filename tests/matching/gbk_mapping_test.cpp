// The fast GBK paths (eight bytes at a time) against plain one-character-at-a-time references, on random bytes.
#include "matching/gbk_text.h"
#include "matching/regex_engine.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Random text with runs of ASCII, of double-byte characters, and the bytes 0x80 and 0xFF in between.
std::string randomGbk(std::mt19937& random, std::size_t length)
{
    const char pool[] = {'a', 'i', 'l', ' ', '\t', '\r', '\n', '<', '"', '\x81', '\xA1', '\xD8', '\xFE', '\x80', '\xFF', '\x40', '\x7E'};
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
