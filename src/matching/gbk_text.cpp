// GBK-aware plain-text operations: each is one linear pass.
#include "matching/gbk_text.h"

#include <cassert>
#include <cstdint>
#include <cstring>

namespace matching {

std::size_t characterLength(std::string_view text, std::size_t index)
{
    if (index >= text.size())
        return 0;
    const auto byte = static_cast<unsigned char>(text[index]);
    if (isLeadByte(byte) && index + 1 < text.size() && isTrailByte(static_cast<unsigned char>(text[index + 1])))
        return 2;
    return 1;
}

bool isCharacterBoundary(std::string_view text, std::size_t index)
{
    if (index == 0 || index >= text.size())
        return true;
    // A byte that cannot lead a double-byte character always ends one: the position after it is a boundary. From
    // there, lead-range bytes pair up, so the parity of the run before `index` decides.
    std::size_t run = 0;
    while (run < index && isLeadByte(static_cast<unsigned char>(text[index - 1 - run])))
        ++run;
    if (run % 2 == 0)
        return true;
    // `index - 1` starts a character: `index` is its trail unless that byte cannot be one.
    return !isTrailByte(static_cast<unsigned char>(text[index]));
}

std::size_t findText(std::string_view text, std::string_view needle, std::size_t from)
{
    if (needle.empty())
        return std::string_view::npos;
    for (std::size_t candidate = text.find(needle, from); candidate != std::string_view::npos;
         candidate = text.find(needle, candidate + 1)) {
        if (isCharacterBoundary(text, candidate))
            return candidate;
    }
    return std::string_view::npos;
}

Text eraseAll(std::string_view text, std::string_view needle)
{
    Text kept;
    if (needle.empty())
        return Text(text);
    kept.reserve(text.size());
    std::size_t copied = 0;
    for (std::size_t found = findText(text, needle, 0); found != std::string_view::npos;
         found = findText(text, needle, copied)) {
        kept.append(text.data() + copied, found - copied);
        copied = found + needle.size();
    }
    kept.append(text.data() + copied, text.size() - copied);
    return kept;
}

Text eraseByte(std::string_view text, char byte)
{
    assert(static_cast<unsigned char>(byte) < 0x40 && "eraseByte works only for bytes that are never trail bytes");
    Text kept;
    kept.resize(text.size());
    char* out = kept.data();
    const char* in = text.data();
    const std::size_t size = text.size();
    const std::uint64_t pattern = 0x0101010101010101ull * static_cast<unsigned char>(byte);
    std::size_t length = 0;
    std::size_t i = 0;
    // Eight bytes at a time: a word without the byte is copied whole, others byte by byte without branches.
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, in + i, 8);
        const std::uint64_t equal = word ^ pattern;
        const bool hasByte = ((equal - 0x0101010101010101ull) & ~equal & 0x8080808080808080ull) != 0;
        if (!hasByte) {
            std::memcpy(out + length, in + i, 8);
            length += 8;
            continue;
        }
        for (std::size_t k = 0; k < 8; ++k) {
            out[length] = in[i + k];
            length += in[i + k] != byte;
        }
    }
    for (; i < size; ++i) {
        out[length] = in[i];
        length += in[i] != byte;
    }
    kept.resize(length);
    return kept;
}

std::vector<std::string_view> splitText(std::string_view text, std::string_view separator)
{
    std::vector<std::string_view> pieces;
    if (text.empty())
        return pieces;
    if (separator.empty()) {
        pieces.push_back(text);
        return pieces;
    }
    std::size_t begin = 0;
    for (std::size_t found = findText(text, separator, 0); found != std::string_view::npos;
         found = findText(text, separator, begin)) {
        pieces.push_back(text.substr(begin, found - begin));
        begin = found + separator.size();
    }
    pieces.push_back(text.substr(begin));
    return pieces;
}

} // namespace matching
