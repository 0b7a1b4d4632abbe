// Plain-text operations on GBK bytes that respect character boundaries.
#pragma once

#include "platform/text.h"

#include <cstddef>
#include <span>
#include <string_view>

namespace matching {

/// A double-byte GBK character is a lead byte 0x81-0xFE followed by a trail byte 0x40-0x7E or 0x80-0xFE. Every
/// other byte, including a lead byte without a valid trail, is a character of its own.
constexpr bool isLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
constexpr bool isTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

/// Whether `text` reads as GBK text: no NUL byte (as UTF-16 has in every other byte), and no byte that neither
/// stands alone nor starts a double-byte character (0x80, 0xFF, or a lead byte without a trail).
bool isWellFormedGbk(std::string_view text);

/// The byte length (1 or 2) of the character that starts at 0-based `index`; 0 at or past the end.
std::size_t characterLength(std::string_view text, std::size_t index);

/// Whether 0-based `index` starts a character (or is the end): false only inside a double-byte character.
/// `knownBoundary`, a position known to start a character, bounds the look back when it lies before `index`.
bool isCharacterBoundary(std::string_view text, std::size_t index, std::size_t knownBoundary = 0);

/// The start of the character that holds 0-based byte `index`; the byte length at or past the end.
std::size_t characterStart(std::string_view text, std::size_t index, std::size_t knownBoundary = 0);

/// The 0-based position of the first occurrence of `needle` at or after `from` that starts on a character boundary
/// (never inside a double-byte character), or npos. `from` must be a character boundary.
std::size_t findText(std::string_view text, std::string_view needle, std::size_t from = 0);

/// The bytes [begin, end) of `text` with every occurrence of each of `texts` erased, one text after the other, each
/// from what the one before left, in place: one pass per text and no copy. Occurrences are found left to right
/// without overlap; text that the deletions join is not searched again, so three CR LF pairs in a row leave one
/// when CR LF CR LF is erased.
Text eraseInTurn(Text text, std::span<const std::string_view> texts, std::size_t begin = 0,
                 std::size_t end = Text::npos);

} // namespace matching
