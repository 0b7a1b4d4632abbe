// Which patterns may be searched on the GBK bytes themselves instead of on one unit per character.
#pragma once

#include "platform/text.h"

#include <optional>
#include <string>
#include <string_view>

namespace matching {

/// The pattern rewritten for a search on bytes that finds exactly what the search on character units finds, given
/// that a byte search also rejects matches which do not start on a character boundary; or nothing when the pattern
/// cannot be shown to be safe on bytes.
///
/// It is safe when, searched from a character boundary, it can never start, end, split or count inside a
/// double-byte character. That holds for a pattern built only of
/// - ASCII literals and non-negated classes of ASCII members: from a boundary they match single-byte characters;
/// - whole double-byte literals (case-sensitive): from a boundary the same two bytes are the same character;
/// - "wide" repeats, `.`, `\S`, `\D` or a negated class whose members are all below 0x40, with `*` or `+`, each
///   followed by a byte below 0x40 before anything else. Such a byte is never a trail byte, so the repeat can only
///   stop on a boundary; and it accepts a run of characters exactly when it accepts their bytes;
/// - plain and non-capturing groups, alternatives and quantifiers over the above, with groups entered on a boundary.
/// Anchors, assertions, back-references, inline options and other escapes are not accepted.
std::optional<std::string> bytePattern(std::string_view pattern, bool caseless);

} // namespace matching
