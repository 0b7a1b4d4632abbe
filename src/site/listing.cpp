// Listing-page clean-up and the entry pattern.
#include "site/listing.h"

#include "matching/gbk_text.h"
#include "matching/pattern_matcher.h"
#include "site/site_texts.h"

namespace site {

int extractListingEntries(const ByteSet& page, std::vector<CatalogEntry>& entries)
{
    // Spaces, blank lines, TABs and then the blank lines the TABs' removal joined.
    static constexpr std::string_view cleanUp[] = {" ", "\r\n\r\n", "\t", "\r\n\r\n"};
    Text text = matching::eraseInTurn(page, cleanUp);
    if (text.empty())
        return -1;

    matching::PatternMatcher matcher;
    matching::MatchTable table;
    const int rows = matcher.findAll(std::move(text), entryPattern(), table);
    if (rows == matching::SearchFailed)
        return ListingSearchFailed;
    if (rows <= 0 || table.columns() < 4)
        return -5;

    std::vector<CatalogEntry> found;
    found.reserve(static_cast<std::size_t>(table.rows()));
    for (int row = 1; row <= table.rows(); ++row) {
        CatalogEntry entry;
        entry.title = table.at(row, 4);
        entry.href = table.at(row, 3);
        entry.date = table.at(row, 2);
        found.push_back(std::move(entry));
    }
    entries = std::move(found);
    return table.rows();
}

} // namespace site
