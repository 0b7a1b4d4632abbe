// Listing-page clean-up and the entry pattern.
#include "site/listing.h"

#include "matching/gbk_text.h"
#include "matching/pattern_matcher.h"
#include "site/site_texts.h"

#include <cctype>
#include <charconv>
#include <cstdio>

namespace site {
namespace {

constexpr std::string_view ListingPrefix = "第";
constexpr std::string_view ListingSuffix = "頁網頁.html";

std::string lowerCase(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The charset that `text` (a Content-Type header, or a page) names first after "charset=", in lower case; empty when
// it names none.
std::string declaredCharset(std::string_view text)
{
    const std::string lower = lowerCase(text);
    const std::size_t at = lower.find("charset=");
    if (at == std::string::npos)
        return {};
    std::size_t begin = at + 8;
    while (begin < lower.size() && (lower[begin] == '"' || lower[begin] == '\'' || lower[begin] == ' '))
        ++begin;
    std::size_t end = begin;
    while (end < lower.size() && (std::isalnum(static_cast<unsigned char>(lower[end])) || lower[end] == '-' ||
                                  lower[end] == '_'))
        ++end;
    return lower.substr(begin, end - begin);
}

bool isGbkFamily(const std::string& charset)
{
    return charset.empty() || charset == "gbk" || charset == "gb2312" || charset == "gb18030" ||
           charset == "x-gbk" || charset == "cp936" || charset == "windows-936";
}

// Whether `text` holds bytes above 0x7F and all of it is well-formed UTF-8: then it is not GBK, whatever it says.
bool isUtf8Text(std::string_view text)
{
    bool wide = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        wide = true;
        const std::size_t length = text::utf8SequenceLength(lead);
        if (lead < 0xC2 || lead > 0xF4 || length == 1 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return wide;
}

} // namespace

std::optional<ListingProblem> unacceptableListing(std::string_view page, std::string_view contentType)
{
    if (!isGbkFamily(declaredCharset(contentType)) || !isGbkFamily(declaredCharset(page.substr(0, 4096))) ||
        isUtf8Text(page))
        return ListingProblem::NotGbkPage;
    // Whole: it ends with its closing tag, or at least the pager (whose links are of class "a1") follows the last
    // entry.
    const std::string tail = lowerCase(page.substr(page.size() - std::min<std::size_t>(page.size(), 64)));
    const std::size_t close = tail.rfind("</html>");
    if (close != std::string::npos && tail.find_first_not_of(" \t\r\n", close + 7) == std::string::npos)
        return std::nullopt;
    const std::size_t lastEntry = page.rfind("</li>");
    if (lastEntry != std::string_view::npos && page.find("class=\"a1\"", lastEntry) != std::string_view::npos)
        return std::nullopt;
    return ListingProblem::CutShort;
}

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
    case ListingProblem::CutShort: return "the page arrived cut short";
    case ListingProblem::NotGbkPage: return "the page is not in GBK";
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
    case ListingProblem::CutShort:
    case ListingProblem::NotGbkPage: return -1;
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
    // A title of nothing but line breaks is none, and its item no entry: it could be neither stored nor shown.
    static constexpr std::string_view LineBreaks[] = {"\r", "\n"};
    for (int row = 1; row <= table.rows(); ++row) {
        CatalogEntry entry;
        entry.title = matching::eraseInTurn(table.at(row, 4), LineBreaks);
        if (entry.title.empty())
            continue;
        entry.href = table.at(row, 3);
        entry.date = table.at(row, 2);
        found.push_back(std::move(entry));
    }
    if (found.empty())
        return ListingProblem::NoEntries;
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

std::string isoDate(const Text& date)
{
    int year = 0, month = 0, day = 0;
    char rest = 0;
    if (std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &rest) != 3 || year < 1000 || month < 1 ||
        month > 12 || day < 1 || day > 31)
        return {};
    char iso[32];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", year, month, day);
    return iso;
}

} // namespace site
