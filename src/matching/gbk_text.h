// Plain-text operations on GBK bytes that respect character boundaries.
#pragma once

#include "platform/text.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace matching {

/// A double-byte GBK character is a lead byte 0x81-0xFE followed by a trail byte 0x40-0x7E or 0x80-0xFE. Every
/// other byte, including a lead byte without a valid trail, is a character of its own.
constexpr bool isLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
constexpr bool isTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

/// The byte length (1 or 2) of the character that starts at 0-based `index`; 0 at or past the end.
std::size_t characterLength(std::string_view text, std::size_t index);

/// Whether 0-based `index` starts a character (or is the end): false only inside a double-byte character.
bool isCharacterBoundary(std::string_view text, std::size_t index);

/// The 0-based position of the first occurrence of `needle` at or after `from` that starts on a character boundary
/// (never inside a double-byte character), or npos. `from` must be a character boundary.
std::size_t findText(std::string_view text, std::string_view needle, std::size_t from = 0);

/// `text` without any occurrence of `needle`, found left to right without overlap. Text that the deletions join
/// together is not searched again, so three CR LF pairs in a row leave one when CR LF CR LF is deleted.
Text eraseAll(std::string_view text, std::string_view needle);

/// `text` without any byte equal to `byte`, which must be an ASCII byte below 0x40 (it never occurs inside a
/// double-byte character): the space, the TAB.
Text eraseByte(std::string_view text, char byte);
/// `text` without any of up to four `bytes`, each an ASCII byte below 0x40; the same as erasing them one by one.
Text eraseBytes(std::string_view text, std::string_view bytes);

/// Splits `text` at every occurrence of `separator`. An empty separator gives the whole text as the only piece; an
/// empty text gives no pieces; an empty stretch between two adjacent separators counts as a piece.
std::vector<std::string_view> splitText(std::string_view text, std::string_view separator);

} // namespace matching
