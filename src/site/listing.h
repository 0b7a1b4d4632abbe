// The entries of a listing page.
#pragma once

#include "catalog/catalog.h"
#include "platform/outcome.h"
#include "platform/text.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace site {

/// The listing file's name for page `page`: "第<page>頁網頁.html", the number without leading zeros.
std::string listingFileName(int page);
/// The page number of a listing file's name as listingFileName writes it, or 0 for any other name.
int listingPageOfFileName(std::string_view name);

/// Why a listing page yields no entries.
enum class ListingProblem {
    Unreachable,  ///< nothing arrived, and no saved copy has entries
    Empty,        ///< the page is empty once spaces, TABs and blank lines are gone
    NoEntries,    ///< the page holds no entry
    NotGbk,       ///< the page holds no entry, and is not GBK text
    SearchFailed, ///< the pattern engine gave up on the page
    CutShort,     ///< the page ends before its pager and its closing </html>: the connection closed early
    NotGbkPage,   ///< the page holds entries, but says it is in another encoding, or is UTF-8 text
};
/// The problem in a few words for the user ("the page holds no entries").
std::string_view describe(ListingProblem problem);
/// The problem as `loadCatalog` returns it: -1 for nothing to read, -5 for no entry, -6 when the search gave up.
int listingCode(ListingProblem problem);

/// Why a listing page that arrived must not be taken even if it yields entries: it is cut short (neither its
/// pager nor its closing </html> arrived), or it is not GBK (another charset in `contentType` or in the page's own
/// declaration, or valid UTF-8 holding non-ASCII text). Nothing when it is a whole GBK page.
std::optional<ListingProblem> unacceptableListing(std::string_view page, std::string_view contentType);

/// The entries of a listing page as `extractListingEntries` finds them, or why there are none.
platform::Result<std::vector<CatalogEntry>, ListingProblem> readListingEntries(const ByteSet& page);

/// Cleans a listing page (spaces, blank lines, TABs, blank lines again) and extracts one entry per article link,
/// with title (without line breaks), date and href filled. Returns the number of entries; -1 when the text is empty after the clean-up,
/// -5 when no entry matched, `ListingSearchFailed` when the pattern engine gave up on the page; `entries` is replaced
/// only on success. Callable from any thread.
constexpr int ListingSearchFailed = -6;
int extractListingEntries(const ByteSet& page, std::vector<CatalogEntry>& entries);

/// A listing's date ("2024-3-5") as ISO 8601 ("2024-03-05"); empty when it is not a date of that form.
std::string isoDate(const Text& date);

} // namespace site
