// The entries of a listing page.
#pragma once

#include "catalog/catalog.h"
#include "platform/text.h"

#include <string>
#include <string_view>
#include <vector>

namespace site {

/// The listing file's name for page `page`: "第<page>頁網頁.html", the number without leading zeros.
std::string listingFileName(int page);
/// The page number of a listing file's name as listingFileName writes it, or 0 for any other name.
int listingPageOfFileName(std::string_view name);

/// Cleans a listing page (spaces, blank lines, TABs, blank lines again) and extracts one entry per article link,
/// with title, date and href filled. Returns the number of entries; -1 when the text is empty after the clean-up,
/// -5 when no entry matched, `ListingSearchFailed` when the pattern engine gave up on the page; `entries` is replaced
/// only on success. Callable from any thread.
constexpr int ListingSearchFailed = -6;
int extractListingEntries(const ByteSet& page, std::vector<CatalogEntry>& entries);

} // namespace site
