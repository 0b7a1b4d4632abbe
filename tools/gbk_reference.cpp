// Writes the Linux program's reading (iconv's GB18030) of every one- and two-byte GBK code, of every four-byte code
// below U+10000 and of a sample of those beyond, and its writing of characters as GBK, for checking the Windows
// program's code-page conversion against it: a line per code, its bytes and the UTF-8 bytes, in hex; a line per
// character, "w", its UTF-8 bytes and the GBK bytes.
//   gbk_reference OUTPUT
#include "platform/gbk_codec.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gbk_reference OUTPUT\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out)
        return 1;
    const auto hex = [&](const std::string& bytes) {
        for (const char c : bytes)
            std::fprintf(out, "%02X", static_cast<unsigned char>(c));
    };
    const auto write = [&](const std::string& code) {
        hex(code);
        std::fputc('\t', out);
        hex(platform::gbk::toUtf8(code));
        std::fputc('\n', out);
    };
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        write(std::string(1, static_cast<char>(lead)));
        for (int trail = 0x30; trail <= 0xFF; ++trail)
            write(std::string{static_cast<char>(lead), static_cast<char>(trail)});
    }
    // Every four-byte code below U+10000: 81 30 81 30 to 84 31 A4 39.
    for (int index = 0; index < 39420; ++index) {
        const int lead = 0x81 + index / 12600, second = 0x30 + index / 1260 % 10, third = 0x81 + index / 10 % 126;
        write(std::string{static_cast<char>(lead), static_cast<char>(second), static_cast<char>(third),
                          static_cast<char>(0x30 + index % 10)});
    }
    // Four-byte codes from 90 30 81 30 on: U+10000 onwards, every 97th.
    for (int index = 0; index < 0x100000; index += 97) {
        const int lead = 0x90 + index / 12600, second = 0x30 + index / 1260 % 10, third = 0x81 + index / 10 % 126;
        write(std::string{static_cast<char>(lead), static_cast<char>(second), static_cast<char>(third),
                          static_cast<char>(0x30 + index % 10)});
    }
    // The other way, marked "w": every character below U+10000 but the surrogates, and a sample of those beyond, as
    // GBK bytes ("?" where GBK has none).
    const auto utf8 = [](unsigned code) {
        if (code < 0x800)
            return std::string{static_cast<char>(0xC0 | code >> 6), static_cast<char>(0x80 | (code & 0x3F))};
        if (code < 0x10000)
            return std::string{static_cast<char>(0xE0 | code >> 12), static_cast<char>(0x80 | (code >> 6 & 0x3F)),
                               static_cast<char>(0x80 | (code & 0x3F))};
        return std::string{static_cast<char>(0xF0 | code >> 18), static_cast<char>(0x80 | (code >> 12 & 0x3F)),
                           static_cast<char>(0x80 | (code >> 6 & 0x3F)), static_cast<char>(0x80 | (code & 0x3F))};
    };
    for (unsigned code = 0x80; code <= 0x10FFFF; code += code < 0x10000 ? 1 : 97) {
        if (code >= 0xD800 && code < 0xE000)
            continue;
        std::fputc('w', out);
        hex(utf8(code));
        std::fputc('\t', out);
        hex(platform::gbk::fromUtf8(utf8(code)));
        std::fputc('\n', out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
