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

/// Searches the stored articles' titles and bodies for articles that hold every word (UTF-8), downloading nothing.
/// `terminal`: mark the matches in the context for a terminal, else with « and ».
SearchResult searchStore(const SiteAccessor& site, const std::vector<std::string>& words, bool terminal);

} // namespace library
