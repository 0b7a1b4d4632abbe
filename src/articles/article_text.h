// The clean text of an article page.
#pragma once

#include "catalog/catalog.h"
#include "platform/text.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace articles {

/// Turns a downloaded article page into the article's text: mark-up removed, everything up to and including the
/// lead-in cut, the notice sentence and everything after it cut, spaces, TABs, the script residue and blank lines
/// removed (the ideographic space stays). Returns the empty text for an empty page and the page itself when it holds
/// nothing but mark-up. When `entry` is given and text was found, fills its disclaimer, body and author.
/// Takes the page by value so that a freshly downloaded page is moved in, not copied. Returns the empty text, with
/// the entry untouched, when the pattern engine gave up on the page: a half-cleaned page is no article.
/// Callable from any thread.
Text cleanArticlePage(ByteSet page, CatalogEntry* entry = nullptr);

/// Whether a downloaded page is one of the site's article pages, by the marks every one of them shows: the lead-in
/// marker, the site's notice, or the entry's own title (compared without spaces and TABs). A login portal, a parked
/// domain or a "no such article" page shows none of them, and is no article to store.
bool isArticlePage(std::string_view page, const Text& title);

/// The first match of the lead-in pattern in `text` as a 0-based byte offset and a byte length, found with plain
/// text searches.
std::optional<std::pair<std::size_t, std::size_t>> findLeadIn(std::string_view text);

} // namespace articles
