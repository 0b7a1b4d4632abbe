// GBK-aware plain-text operations: each is one linear pass.
#include "matching/gbk_text.h"

#include <algorithm>
#include <bit>
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

namespace {

constexpr std::uint64_t Ones = 0x0101010101010101ull;
constexpr std::uint64_t Highs = 0x8080808080808080ull;

// 0x80 in each byte of `word` that equals the byte repeated in `repeated`, and 0 in the others (exact: no false
// positives from borrows).
std::uint64_t equalBytes(std::uint64_t word, std::uint64_t repeated)
{
    const std::uint64_t x = word ^ repeated;
    return ~(((x & ~Highs) + ~Highs) | x) & Highs;
}

} // namespace

Text eraseBytes(std::string_view text, std::string_view bytes)
{
    assert(bytes.size() <= 4);
    for ([[maybe_unused]] const char byte : bytes)
        assert(static_cast<unsigned char>(byte) < 0x40 && "eraseBytes works only for bytes that are never trail bytes");
    const std::size_t size = text.size();
    // Eight bytes of slack: a word is always stored whole, and the bytes past the kept ones are written over.
    Text kept(size + 8, '\0');
    char* out = kept.data();
    const char* in = text.data();
    std::uint64_t repeated[4] = {};
    const std::size_t targets = bytes.size();
    for (std::size_t t = 0; t < targets; ++t)
        repeated[t] = Ones * static_cast<unsigned char>(bytes[t]);
    std::size_t length = 0;
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= size; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, in + i, 8);
            std::uint64_t dropped = 0;
            for (std::size_t t = 0; t < targets; ++t)
                dropped |= equalBytes(word, repeated[t]);
            std::memcpy(out + length, &word, 8);
            if (dropped == 0) {
                length += 8;
                continue;
            }
            // Copy the kept stretches between dropped bytes, each as a whole shifted word.
            std::size_t from = 0;
            std::size_t end = length;
            for (; dropped != 0; dropped &= dropped - 1) {
                const auto lane = static_cast<std::size_t>(std::countr_zero(dropped)) / 8;
                const std::uint64_t rest = word >> (8 * from);
                std::memcpy(out + end, &rest, 8);
                end += lane - from;
                from = lane + 1;
            }
            if (from < 8) {
                const std::uint64_t rest = word >> (8 * from);
                std::memcpy(out + end, &rest, 8);
                end += 8 - from;
            }
            length = end;
        }
    }
    for (; i < size; ++i) {
        out[length] = in[i];
        length += bytes.find(in[i]) == std::string_view::npos;
    }
    kept.resize(length);
    return kept;
}

Text eraseByte(std::string_view text, char byte)
{
    return eraseBytes(text, std::string_view(&byte, 1));
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
