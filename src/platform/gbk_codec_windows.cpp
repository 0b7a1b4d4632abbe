// GBK conversion through the Windows code page API: code page 54936 (GB18030) to read, 936 (GBK) to write. Where
// the system lacks 54936 (Wine), two-byte codes are read through 936 and four-byte codes above U+FFFF, which
// GB18030 maps by arithmetic, are computed.
#include "platform/gbk_codec.h"

#include <windows.h>

#include <cstdint>

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

// UTF-16 units as UTF-8; a lone surrogate is U+FFFD.
void appendWide(std::string& output, const wchar_t* units, int count)
{
    for (int i = 0; i < count; ++i) {
        const auto unit = static_cast<std::uint32_t>(units[i]);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            appendUtf8(output, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<std::uint32_t>(units[i + 1]) - 0xDC00));
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

// A four-byte code's place in GB18030's linear order of four-byte codes.
std::uint32_t linearIndex(std::string_view code)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(code[i])); };
    return (((byte(0) - 0x81) * 10 + (byte(1) - 0x30)) * 126 + (byte(2) - 0x81)) * 10 + (byte(3) - 0x30);
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
        char bytes[8];
        BOOL usedDefault = FALSE;
        // No best fit: a character GBK cannot hold is '?', never a look-alike.
        const int written = count > 0 ? WideCharToMultiByte(Gbk, WC_NO_BEST_FIT_CHARS, units, count, bytes,
                                                             sizeof bytes, "?", &usedDefault)
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
