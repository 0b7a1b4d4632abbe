// GBK-aware plain-text operations: each is one linear pass.
#include "matching/gbk_text.h"

#include <cassert>
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

std::size_t findText(std::string_view text, std::string_view needle, std::size_t from)
{
    if (needle.empty())
        return std::string_view::npos;
    // A needle that starts with a byte below 0x40 can only match at a boundary: no trail byte is that low.
    const bool anyPositionIsBoundary = static_cast<unsigned char>(needle[0]) < 0x40;
    std::size_t boundary = from;
    for (std::size_t candidate = text.find(needle, from); candidate != std::string_view::npos;
         candidate = text.find(needle, candidate + 1)) {
        if (anyPositionIsBoundary)
            return candidate;
        // Walk the character boundaries up to the candidate; over the whole search this walk is linear.
        while (boundary < candidate)
            boundary += characterLength(text, boundary);
        if (boundary == candidate)
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
    std::size_t out = 0;
    std::size_t copied = 0;
    // memchr finds the next byte to drop; the stretch before it is copied in one go.
    while (copied < text.size()) {
        const void* hit = std::memchr(text.data() + copied, byte, text.size() - copied);
        const std::size_t found = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
        std::memcpy(kept.data() + out, text.data() + copied, found - copied);
        out += found - copied;
        copied = found + 1;
    }
    kept.resize(out);
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
