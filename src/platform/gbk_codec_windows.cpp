// GBK conversion through the Windows code page API: code page 54936 (GB18030) to read, 936 (GBK) to write. Where
// the system lacks 54936 (Wine), two-byte codes are read through 936, four-byte codes below U+10000 through runs
// taken from iconv's GB18030, and those above, which GB18030 maps by arithmetic, are computed.
#include "platform/gbk_codec.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace platform::gbk {
namespace {

constexpr UINT Gb18030 = 54936;
constexpr UINT Gbk = 936;
constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";

void appendUtf8(std::string& output, std::uint32_t code)
{
    if (code < 0x80) {
        output += static_cast<char>(code);
    } else if (code < 0x800) {
        output += static_cast<char>(0xC0 | (code >> 6));
        output += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        output += static_cast<char>(0xE0 | (code >> 12));
        output += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        output += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        output += static_cast<char>(0xF0 | (code >> 18));
        output += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        output += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        output += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character a UTF-16 surrogate pair stands for.
std::uint32_t fromSurrogates(std::uint32_t high, std::uint32_t low)
{
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// UTF-16 units as UTF-8; a lone surrogate is U+FFFD.
void appendWide(std::string& output, const wchar_t* units, int count)
{
    for (int i = 0; i < count; ++i) {
        const auto unit = static_cast<std::uint32_t>(units[i]);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            appendUtf8(output, fromSurrogates(unit, static_cast<std::uint32_t>(units[i + 1])));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            output += ReplacementCharacter;
        } else {
            appendUtf8(output, unit);
        }
    }
}

bool isTrail(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}

// The length of the GB18030 sequence at the start of `rest` by its form (1, 2 or 4), or 0 when it has none.
std::size_t sequenceLength(std::string_view rest)
{
    const auto at = [&](std::size_t i) { return i < rest.size() ? static_cast<unsigned char>(rest[i]) : 0u; };
    const unsigned lead = at(0);
    if (lead < 0x80)
        return 1;
    if (lead == 0x80 || lead == 0xFF)
        return 0;
    if (isTrail(static_cast<unsigned char>(at(1))))
        return 2;
    if (at(1) >= 0x30 && at(1) <= 0x39 && at(2) >= 0x81 && at(2) <= 0xFE && at(3) >= 0x30 && at(3) <= 0x39)
        return 4;
    return 0;
}

// The two-byte codes that the GBK code page reads as private-use characters and GB18030 (as iconv and the Linux
// program read it) as the characters since given their own code points: the euro sign, vertical forms, and
// ideographs. Read as GB18030 reads them, so that both programs show and name alike.
struct Remapped {
    std::uint16_t code;
    std::uint32_t character;
};
constexpr Remapped RemappedCodes[] = {
    {0xA2E3, 0x20AC}, {0xA6D9, 0xFE10}, {0xA6DA, 0xFE12}, {0xA6DB, 0xFE11}, {0xA6DC, 0xFE13}, {0xA6DD, 0xFE14},
    {0xA6DE, 0xFE15}, {0xA6DF, 0xFE16}, {0xA6EC, 0xFE17}, {0xA6ED, 0xFE18}, {0xA6F3, 0xFE19}, {0xA8BC, 0x1E3F},
    {0xA8BF, 0x01F9}, {0xA989, 0x303E}, {0xA98A, 0x2FF0}, {0xA98B, 0x2FF1}, {0xA98C, 0x2FF2}, {0xA98D, 0x2FF3},
    {0xA98E, 0x2FF4}, {0xA98F, 0x2FF5}, {0xA990, 0x2FF6}, {0xA991, 0x2FF7}, {0xA992, 0x2FF8}, {0xA993, 0x2FF9},
    {0xA994, 0x2FFA}, {0xA995, 0x2FFB}, {0xFE50, 0x2E81}, {0xFE51, 0x20087}, {0xFE52, 0x20089}, {0xFE53, 0x200CC},
    {0xFE54, 0x2E84}, {0xFE55, 0x3473}, {0xFE56, 0x3447}, {0xFE57, 0x2E88}, {0xFE58, 0x2E8B}, {0xFE59, 0x9FB4},
    {0xFE5A, 0x359E}, {0xFE5B, 0x361A}, {0xFE5C, 0x360E}, {0xFE5D, 0x2E8C}, {0xFE5E, 0x2E97}, {0xFE5F, 0x396E},
    {0xFE60, 0x3918}, {0xFE61, 0x9FB5}, {0xFE62, 0x39CF}, {0xFE63, 0x39DF}, {0xFE64, 0x3A73}, {0xFE65, 0x39D0},
    {0xFE66, 0x9FB6}, {0xFE67, 0x9FB7}, {0xFE68, 0x3B4E}, {0xFE69, 0x3C6E}, {0xFE6A, 0x3CE0}, {0xFE6B, 0x2EA7},
    {0xFE6C, 0x215D7}, {0xFE6D, 0x9FB8}, {0xFE6E, 0x2EAA}, {0xFE6F, 0x4056}, {0xFE70, 0x415F}, {0xFE71, 0x2EAE},
    {0xFE72, 0x4337}, {0xFE73, 0x2EB3}, {0xFE74, 0x2EB6}, {0xFE75, 0x2EB7}, {0xFE76, 0x2298F}, {0xFE77, 0x43B1},
    {0xFE78, 0x43AC}, {0xFE79, 0x2EBB}, {0xFE7A, 0x43DD}, {0xFE7B, 0x44D6}, {0xFE7C, 0x4661}, {0xFE7D, 0x464C},
    {0xFE7E, 0x9FB9}, {0xFE80, 0x4723}, {0xFE81, 0x4729}, {0xFE82, 0x477C}, {0xFE83, 0x478D}, {0xFE84, 0x2ECA},
    {0xFE85, 0x4947}, {0xFE86, 0x497A}, {0xFE87, 0x497D}, {0xFE88, 0x4982}, {0xFE89, 0x4983}, {0xFE8A, 0x4985},
    {0xFE8B, 0x4986}, {0xFE8C, 0x499F}, {0xFE8D, 0x499B}, {0xFE8E, 0x49B7}, {0xFE8F, 0x49B6}, {0xFE90, 0x9FBA},
    {0xFE91, 0x241FE}, {0xFE92, 0x4CA3}, {0xFE93, 0x4C9F}, {0xFE94, 0x4CA0}, {0xFE95, 0x4CA1}, {0xFE96, 0x4C77},
    {0xFE97, 0x4CA2}, {0xFE98, 0x4D13}, {0xFE99, 0x4D14}, {0xFE9A, 0x4D15}, {0xFE9B, 0x4D16}, {0xFE9C, 0x4D17},
    {0xFE9D, 0x4D18}, {0xFE9E, 0x4D19}, {0xFE9F, 0x4DAE}, {0xFEA0, 0x9FBB}
};

// The character of the two-byte code `lead`, `trail` where GB18030 reads it otherwise than code page 936; 0 for
// the others.
std::uint32_t remapped(unsigned char lead, unsigned char trail)
{
    const auto code = static_cast<std::uint16_t>(lead << 8 | trail);
    const auto found = std::lower_bound(std::begin(RemappedCodes), std::end(RemappedCodes), code,
                                        [](const Remapped& entry, std::uint16_t value) { return entry.code < value; });
    return found != std::end(RemappedCodes) && found->code == code ? found->character : 0;
}

// A four-byte code's place in GB18030's linear order of four-byte codes.
std::uint32_t linearIndex(std::string_view code)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(code[i])); };
    return (((byte(0) - 0x81) * 10 + (byte(1) - 0x30)) * 126 + (byte(2) - 0x81)) * 10 + (byte(3) - 0x30);
}

// Runs of four-byte codes below U+10000: from `first` (a linear index) on, the codes read as `character` onwards, up
// to the next run; a character of 0 is a run of codes that are no character.
struct FourByteRun {
    std::uint32_t first;
    std::uint32_t character;
};
constexpr FourByteRun FourByteRuns[] = {
#include "platform/gb18030_ranges.inc"
};
constexpr std::uint32_t FourByteBmpCodes = 39420; // 81 30 81 30 to 84 31 A4 39

// The character of the four-byte code at `index` below U+10000; 0 when it is none.
std::uint32_t fourByteBmpCharacter(std::uint32_t index)
{
    const auto after = std::upper_bound(std::begin(FourByteRuns), std::end(FourByteRuns), index,
                                        [](std::uint32_t value, const FourByteRun& run) { return value < run.first; });
    const FourByteRun& run = *std::prev(after);
    return run.character == 0 ? 0 : run.character + (index - run.first);
}

// One GB18030 sequence of `length` bytes as UTF-16 units; 0 when it is no character.
int decodeSequence(const char* bytes, std::size_t length, wchar_t* units)
{
    static const bool hasGb18030 = IsValidCodePage(Gb18030) != FALSE;
    if (hasGb18030)
        return MultiByteToWideChar(Gb18030, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), units, 4);
    if (length == 2)
        return MultiByteToWideChar(Gbk, MB_ERR_INVALID_CHARS, bytes, 2, units, 4);
    // Four-byte codes from 90 30 81 30 on are U+10000 onwards, in order.
    constexpr std::uint32_t Supplementary = ((0x90 - 0x81) * 10 * 126 * 10);
    const std::uint32_t index = linearIndex(std::string_view(bytes, length));
    if (index < FourByteBmpCodes) {
        const std::uint32_t character = fourByteBmpCharacter(index);
        units[0] = static_cast<wchar_t>(character);
        return character == 0 ? 0 : 1;
    }
    if (index < Supplementary || index - Supplementary > 0xFFFFF)
        return 0;
    const std::uint32_t code = 0x10000 + (index - Supplementary);
    units[0] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
    units[1] = static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    return 2;
}

} // namespace

std::string toUtf8(std::string_view gbk)
{
    std::string output;
    output.reserve(gbk.size() * 3 / 2 + 16);
    std::wstring wide;
    // Each run of ASCII is copied; each other sequence is converted alone, so that an invalid one becomes U+FFFD
    // and decoding goes on after its first byte, as the Linux program does.
    for (std::size_t at = 0; at < gbk.size();) {
        const auto byte = static_cast<unsigned char>(gbk[at]);
        if (byte < 0x80) {
            output += gbk[at++];
            continue;
        }
        const std::size_t length = sequenceLength(gbk.substr(at));
        if (length == 2)
            if (const std::uint32_t character = remapped(byte, static_cast<unsigned char>(gbk[at + 1]))) {
                appendUtf8(output, character);
                at += 2;
                continue;
            }
        wchar_t units[4];
        const int count = length == 0 ? 0 : decodeSequence(gbk.data() + at, length, units);
        if (count <= 0) {
            output += ReplacementCharacter;
            ++at;
            continue;
        }
        appendWide(output, units, count);
        at += length;
    }
    return output;
}

Text fromUtf8(std::string_view utf8)
{
    Text output;
    output.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        if (lead < 0x80) {
            output += utf8[at++];
            continue;
        }
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        wchar_t units[2];
        const int count = at + length <= utf8.size()
            ? MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data() + at, static_cast<int>(length), units, 2)
            : 0;
        const std::uint32_t character =
            count == 2   ? fromSurrogates(static_cast<std::uint32_t>(units[0]), static_cast<std::uint32_t>(units[1]))
            : count == 1 ? static_cast<std::uint32_t>(units[0])
                         : 0;
        // Tag characters, which only mark the text around them, are left out, as iconv leaves them out.
        if (character >= 0xE0000 && character <= 0xE007F) {
            at += length;
            continue;
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        // No best fit: a character GBK cannot hold is '?', never a look-alike. Nor are private-use characters
        // written to the user-defined codes, which mean nothing agreed (iconv writes them as '?' too).
        const bool privateUse = character >= 0xE000 && character <= 0xF8FF;
        const int written = count > 0 && !privateUse ? WideCharToMultiByte(Gbk, WC_NO_BEST_FIT_CHARS, units, count,
                                                                           bytes, sizeof bytes, "?", &usedDefault)
                                                     : 0;
        if (written <= 0 || usedDefault)
            output += '?';
        else
            output.append(bytes, static_cast<std::size_t>(written));
        at += length;
    }
    return output;
}

} // namespace platform::gbk
