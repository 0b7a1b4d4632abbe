// Listing-page clean-up and the entry pattern.
#include "site/listing.h"

#include "matching/gbk_text.h"
#include "matching/pattern_matcher.h"
#include "site/site_texts.h"

#include <charconv>

namespace site {
namespace {

constexpr std::string_view ListingPrefix = "第";
constexpr std::string_view ListingSuffix = "頁網頁.html";

} // namespace

std::string listingFileName(int page)
{
    return std::string(ListingPrefix) + std::to_string(page) + std::string(ListingSuffix);
}

int listingPageOfFileName(std::string_view name)
{
    if (!name.starts_with(ListingPrefix) || !name.ends_with(ListingSuffix) ||
        name.size() <= ListingPrefix.size() + ListingSuffix.size() || name[ListingPrefix.size()] == '0')
        return 0;
    const std::string_view digits = name.substr(ListingPrefix.size(), name.size() - ListingPrefix.size() -
                                                                          ListingSuffix.size());
    int page = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), page);
    return error == std::errc() && end == digits.data() + digits.size() && page > 0 ? page : 0;
}

std::string_view describe(ListingProblem problem)
{
    switch (problem) {
    case ListingProblem::Unreachable: return "no saved copy with entries";
    case ListingProblem::Empty:
    case ListingProblem::NoEntries: return "the page holds no entries";
    case ListingProblem::NotGbk: return "the page is not GBK text";
    case ListingProblem::SearchFailed: return "the page is too complex to search";
    }
    return {};
}

int listingCode(ListingProblem problem)
{
    switch (problem) {
    case ListingProblem::Unreachable:
    case ListingProblem::Empty: return -1;
    case ListingProblem::NoEntries:
    case ListingProblem::NotGbk: return -5;
    case ListingProblem::SearchFailed: return ListingSearchFailed;
    }
    return -1;
}

platform::Result<std::vector<CatalogEntry>, ListingProblem> readListingEntries(const ByteSet& page)
{
    // Spaces, blank lines, TABs and then the blank lines the TABs' removal joined.
    static constexpr std::string_view cleanUp[] = {" ", "\r\n\r\n", "\t", "\r\n\r\n"};
    Text text = matching::eraseInTurn(page, cleanUp);
    if (text.empty())
        return ListingProblem::Empty;

    matching::PatternMatcher matcher;
    matching::MatchTable table;
    const int rows = matcher.findAll(std::move(text), entryPattern(), table);
    if (rows == matching::SearchFailed)
        return ListingProblem::SearchFailed;
    if (rows <= 0 || table.columns() < 4)
        return matching::isWellFormedGbk(page) ? ListingProblem::NoEntries : ListingProblem::NotGbk;

    std::vector<CatalogEntry> found;
    found.reserve(static_cast<std::size_t>(table.rows()));
    // A title is the first line of its article file and a line of every listing: a line break in it would split it.
    static constexpr std::string_view LineBreaks[] = {"\r", "\n"};
    for (int row = 1; row <= table.rows(); ++row) {
        CatalogEntry entry;
        entry.title = matching::eraseInTurn(table.at(row, 4), LineBreaks);
        entry.href = table.at(row, 3);
        entry.date = table.at(row, 2);
        found.push_back(std::move(entry));
    }
    return found;
}

int extractListingEntries(const ByteSet& page, std::vector<CatalogEntry>& entries)
{
    auto found = readListingEntries(page);
    if (!found)
        return listingCode(found.error());
    entries = std::move(*found);
    return static_cast<int>(entries.size());
}

} // namespace site
