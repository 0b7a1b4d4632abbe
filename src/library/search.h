// The search over the stored articles: every word, Simplified and Traditional alike, downloading nothing.
#pragma once

#include "platform/text.h"
#include "site/site_accessor.h"

#include <string>
#include <vector>

namespace library {

/// One article that holds every searched word.
struct SearchHit {
    std::string fileName;
    Text title;
    Text date;
    int page = 0;        ///< the saved listing page that lists it; 0 when none does
    int hits = 0;        ///< the matches of all words together
    std::string context; ///< UTF-8: the line around the first match, the matches marked
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
/// Words are taken as distinctWords gives them. `terminal`: mark the matches in the context for a terminal, else
/// with « and ».
SearchResult searchStore(const SiteAccessor& site, const std::vector<std::string>& words, bool terminal);

} // namespace library
