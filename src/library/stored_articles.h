// The store as the search and the exports read it: the article files and the saved listing pages.
#pragma once

#include "library/store_snapshot.h"
#include "site/site_accessor.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace library {

/// One article file of the store, as the search reads it: views into what the snapshot read.
struct StoredArticle {
    std::string fileName; ///< in the category folder
    std::string_view date;
    std::string_view text; ///< the title and the body, a line break between them
    std::string_view title() const { return text.substr(0, text.find("\r\n")); }
};

/// The saved listing pages that still yield entries, by page number, with their entries.
using SavedListings = std::map<int, std::vector<CatalogEntry>>;
SavedListings readSavedListings(const SiteAccessor& site);

/// Where the search keeps its snapshot of the store, and the folders whose files it keeps.
platform::Path searchSnapshotPath(const SiteAccessor& site);
std::vector<platform::Path> snapshotFolders(const SiteAccessor& site);

/// The first saved listing page that lists each title.
class ListedPages {
public:
    /// Where a title is listed: the page and the entry's number on it; both 0 when no saved page lists it.
    struct Place {
        int page = 0;
        int entry = 0;
    };
    /// Where the article titled `title` is listed. An article file tells its title in its first line, whatever its
    /// name.
    Place placeOf(std::string_view title) const;

private:
    friend ListedPages readListedPages(const SiteAccessor& site, StoreSnapshot& snapshot);
    std::unordered_map<std::string_view, Place> pages; // views into the snapshot
};

/// The saved listing pages as the search needs them; files unchanged since `snapshot` was saved are not read again.
/// Lives no longer than `snapshot`.
ListedPages readListedPages(const SiteAccessor& site, StoreSnapshot& snapshot);

/// Calls `visit` with every article file of the store (regular ".txt" files of the category folder), read and taken
/// apart; on several threads at once, each article once, in no set order. Files unchanged since `snapshot` was saved
/// are not read again. The article's views are valid during the call only.
void forEachStoredArticle(const SiteAccessor& site, StoreSnapshot& snapshot,
                          const std::function<void(StoredArticle&)>& visit);

} // namespace library
