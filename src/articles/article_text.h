// The clean text of an article page.
#pragma once

#include "app/catalog.h"
#include "platform/text.h"

namespace articles {

/// Turns a downloaded article page into the article's text: mark-up removed, everything up to and including the
/// lead-in cut, the notice sentence and everything after it cut, spaces, TABs, the script residue and blank lines
/// removed (the ideographic space stays). Returns the empty text for an empty page and the page itself when it holds
/// nothing but mark-up. When `entry` is given and text was found, fills its disclaimer, body and author.
/// Takes the page by value so that a freshly downloaded page is moved in, not copied. Callable from any thread.
Text cleanArticlePage(ByteSet page, CatalogEntry* entry = nullptr);

} // namespace articles
