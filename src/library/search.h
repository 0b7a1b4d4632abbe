// The search over the stored articles: every word, Simplified and Traditional alike, downloading nothing.
#pragma once

#include "platform/text.h"
#include "site/site_accessor.h"

#include <functional>
#include <string>
#include <vector>

namespace library {

/// One article that holds every searched word.
/// The line around an article's first match, in UTF-8, and where the matches lie in it (byte ranges, in order).
struct Context {
    std::string text;
    std::vector<std::pair<std::size_t, std::size_t>> marks;

    /// The line with each match between `open` and `close`; every piece of the line's own text through `render`
    /// (which makes it safe for where it goes), the marks as they are.
    std::string marked(const std::string& open, const std::string& close,
                       const std::function<std::string(const std::string&)>& render) const;
};

struct SearchHit {
    std::string fileName;
    Text title;
    Text date;
    int page = 0;        ///< the saved listing page that lists it; 0 when none does
    int entry = 0;       ///< its number on that page (for `show PAGE ENTRY`); 0 when no page lists it
    int hits = 0;        ///< the matches of all words together
    Context context;     ///< the line around the first match
    long dateKey = 0;    ///< the date as a number that sorts as the date does
};

struct SearchResult {
    std::vector<std::string> words;
    std::vector<SearchHit> hits; ///< most hits first, then the newest
};

/// The most words one search takes: each is searched in every stored article.
constexpr std::size_t MaxSearchWords = 16;

/// `words` without repeats, in their first order: two words that find the same (母猪 and 母豬, Pig and pig) count once.
std::vector<std::string> distinctWords(const std::vector<std::string>& words);

/// Searches the stored articles' titles and bodies for articles that hold every word (UTF-8), downloading nothing.
/// Words are taken as distinctWords gives them.
SearchResult searchStore(const SiteAccessor& site, const std::vector<std::string>& words);

} // namespace library
