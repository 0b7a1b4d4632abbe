// The Windows program reads GBK through the system's code pages: on every one- and two-byte code and every four-byte
// code below U+10000, and on four-byte codes beyond, it must read what the Linux program reads through iconv (the
// reference the build wrote); and it must write every character as the Linux program does.
#include "platform/file_system.h"
#include "platform/gbk_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string fromHex(std::string_view hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

std::string toHex(std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        hex += Digits[static_cast<unsigned char>(c) >> 4];
        hex += Digits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

} // namespace

TEST(GbkCodePage, ReadsAndWritesEveryCodeAsIconvDoes)
{
    const auto reference = platform::readWholeFile(VARNHOLT_GBK_REFERENCE);
    ASSERT_TRUE(reference) << VARNHOLT_GBK_REFERENCE;
    std::string_view rest = *reference;
    int codes = 0, characters = 0;
    std::string differing;
    int differences = 0;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string_view::npos) << line;
        const bool writing = line.starts_with('w');
        const std::string given = fromHex(line.substr(writing ? 1 : 0, tab - (writing ? 1 : 0)));
        const std::string made = writing ? platform::gbk::fromUtf8(given) : platform::gbk::toUtf8(given);
        ++(writing ? characters : codes);
        if (made != fromHex(line.substr(tab + 1)) && ++differences <= 20)
            differing += std::string(line) + (writing ? " written as " : " read as ") + toHex(made) + "\n";
    }
    EXPECT_GT(codes, 70000);
    EXPECT_GT(characters, 70000);
    EXPECT_EQ(differences, 0) << differing;
}
