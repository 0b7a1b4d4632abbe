// GBK-aware plain-text operations: each is one linear pass.
#include "matching/gbk_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

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

bool isWellFormedGbk(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); i += characterLength(text, i)) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == 0 || (byte >= 0x80 && characterLength(text, i) != 2))
            return false;
    }
    return true;
}

bool isCharacterBoundary(std::string_view text, std::size_t index, std::size_t knownBoundary)
{
    if (index == 0 || index >= text.size() || index == knownBoundary)
        return true;
    // A byte that cannot lead a double-byte character always ends one: the position after it is a boundary, as is
    // a known boundary. From there, lead-range bytes pair up, so the parity of the run before `index` decides.
    const std::size_t floor = knownBoundary < index ? knownBoundary : 0;
    std::size_t run = 0;
    // Chinese text is one long run of such bytes: through it sixteen at a time, in a loop the compiler vectorizes,
    // and the rest one by one.
    for (; index - run >= floor + 16; run += 16) {
        const auto* block = reinterpret_cast<const unsigned char*>(text.data() + index - run - 16);
        if (std::count_if(block, block + 16, isLeadByte) != 16)
            break;
    }
    while (index - run > floor && isLeadByte(static_cast<unsigned char>(text[index - 1 - run])))
        ++run;
    if (run % 2 == 0)
        return true;
    // `index - 1` starts a character: `index` is its trail unless that byte cannot be one.
    return !isTrailByte(static_cast<unsigned char>(text[index]));
}

std::size_t characterStart(std::string_view text, std::size_t index, std::size_t knownBoundary)
{
    if (index >= text.size())
        return text.size();
    return isCharacterBoundary(text, index, knownBoundary) ? index : index - 1;
}

std::size_t findText(std::string_view text, std::string_view needle, std::size_t from)
{
    if (needle.empty() || from > text.size() || needle.size() > text.size() - from)
        return std::string_view::npos;
    // Look for one byte of the needle with memchr, then compare the rest around it: punctuation, where the needle
    // has any, is rarer in pages than letters, digits, white space and the bytes of Chinese characters.
    std::size_t anchor = 0;
    for (std::size_t i = 0; i < needle.size(); ++i) {
        const auto byte = static_cast<unsigned char>(needle[i]);
        if (byte > ' ' && byte < 0x80 && !std::isalnum(byte)) {
            anchor = i;
            break;
        }
    }
    // A needle that starts below 0x40 starts a character wherever it stands: no trail byte is that low.
    const bool alwaysOnBoundary = static_cast<unsigned char>(needle[0]) < 0x40;
    const std::size_t stop = text.size() - needle.size() + anchor + 1; // the anchor of the last possible candidate
    std::size_t knownBoundary = from;
    for (std::size_t scan = from + anchor; scan < stop;) {
        const void* hit = std::memchr(text.data() + scan, needle[anchor], stop - scan);
        if (!hit)
            break;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) - anchor;
        scan = at + anchor + 1;
        // The last byte first: a cheap test that turns away most candidates before a call compares the rest.
        if (text[at + needle.size() - 1] != needle.back() || text.compare(at, needle.size(), needle) != 0)
            continue;
        if (alwaysOnBoundary || isCharacterBoundary(text, at, knownBoundary))
            return at;
        // `at` is a trail byte, so the next byte starts a character.
        knownBoundary = at + 1;
    }
    return std::string_view::npos;
}

namespace {

// Moves the bytes [0, size) of `data` down over the occurrences of `needle`, found left to right without overlap;
// returns the length kept. Every write lands before the position the search has reached.
std::size_t dropText(char* data, std::size_t size, std::string_view needle)
{
    const std::string_view input(data, size);
    // A byte below 0x40 never trails a character, so memchr alone finds each occurrence: pages hold thousands of
    // spaces, and a full search per space would double the clean-up.
    const bool lowByte = needle.size() == 1 && static_cast<unsigned char>(needle[0]) < 0x40;
    const auto next = [&](std::size_t from) {
        if (!lowByte)
            return findText(input, needle, from);
        const void* hit = std::memchr(data + from, needle[0], size - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : std::string_view::npos;
    };
    std::size_t kept = 0;
    std::size_t read = 0;
    for (std::size_t found = next(0); found != std::string_view::npos;) {
        std::memmove(data + kept, data + read, found - read);
        kept += found - read;
        read = found + needle.size();
        // A needle that ends with a lone lead byte may end inside a character: go on from the next one.
        found = next(lowByte || isCharacterBoundary(input, read, found) ? read : read + 1);
    }
    std::memmove(data + kept, data + read, size - read);
    return kept + size - read;
}

} // namespace

Text eraseInTurn(Text text, std::span<const std::string_view> texts, std::size_t begin, std::size_t end)
{
    end = std::min(end, text.size());
    begin = std::min(begin, end);
    text.resize(end);
    text.erase(0, begin);
    std::size_t size = text.size();
    for (const std::string_view erased : texts)
        size = dropText(text.data(), size, erased);
    text.resize(size);
    return text;
}

} // namespace matching
