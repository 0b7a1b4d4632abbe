// The store as the search and the exports read it: the article files and the saved listing pages.
#pragma once

#include "articles/article_file.h"
#include "site/site_accessor.h"

#include <map>
#include <string>
#include <vector>

namespace commands {

/// One article file of the store.
struct StoredArticle {
    std::string fileName;  ///< in the category folder
    articles::ArticleParts parts;
    int page = 0;          ///< the first saved listing page that lists it; 0 when none does
};

/// The saved listing pages: their numbers in order and their entries.
struct SavedListings {
    std::map<int, std::vector<CatalogEntry>> pages;
    /// The first saved page that lists the article file `fileName`, or 0.
    int pageOf(const std::string& fileName) const;

private:
    friend SavedListings readSavedListings(const SiteAccessor& site);
    std::map<std::string, int> pageOfFile;
};

/// Every saved listing page that still yields entries.
SavedListings readSavedListings(const SiteAccessor& site);

/// Every article file of the store (regular ".txt" files of the category folder), read and taken apart.
std::vector<StoredArticle> readStoredArticles(const SiteAccessor& site, const SavedListings& listings);

} // namespace commands
