// Text and ByteSet: the program's two byte-string types, and the few byte-level helpers every layer uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// A byte string in the GBK code page (936). The empty text stands for an absent one.
using Text = std::string;
/// An owned block of bytes: a download or a whole file, taken byte for byte.
using ByteSet = std::string;

namespace text {

/// The byte length of the UTF-8 sequence that starts with `lead`, as the lead byte tells it (1 for a byte that
/// starts no sequence).
constexpr std::size_t utf8SequenceLength(unsigned char lead)
{
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

/// The 64-bit FNV-1a hash of `bytes`, continuing from `hash` (the FNV offset basis for a new hash).
constexpr std::uint64_t fnv1a(std::string_view bytes, std::uint64_t hash = 0xcbf29ce484222325ull)
{
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

/// `text` broken into lines of at most `width` bytes at spaces; a longer word stands on a line of its own.
std::vector<std::string> wrapped(std::string_view text, std::size_t width);

/// `text` with every CR that comes before an LF removed: CR LF line ends become LF.
std::string withLineFeeds(std::string_view text);

} // namespace text
