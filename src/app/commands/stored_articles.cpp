// Reading the store back: article files and saved listing pages.
#include "app/commands/stored_articles.h"

#include "articles/article_worker.h"
#include "platform/threads.h"
#include "site/listing.h"

#include <charconv>
#include <optional>

namespace commands {
namespace {

// N of a listing file's name "第N頁網頁.html", or 0.
int listingPageNumber(const std::string& name)
{
    constexpr std::string_view Prefix = "第";
    constexpr std::string_view Suffix = "頁網頁.html";
    if (!name.starts_with(Prefix) || !name.ends_with(Suffix) || name.size() <= Prefix.size() + Suffix.size())
        return 0;
    const std::string_view digits(name.data() + Prefix.size(), name.size() - Prefix.size() - Suffix.size());
    int page = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), page);
    return error == std::errc() && end == digits.data() + digits.size() && page > 0 ? page : 0;
}

} // namespace

int SavedListings::pageOf(const std::string& fileName) const
{
    const auto found = pageOfFile.find(fileName);
    return found == pageOfFile.end() ? 0 : found->second;
}

SavedListings readSavedListings(const SiteAccessor& site)
{
    SavedListings listings;
    for (const std::string& name : platform::regularFilesIn(site.listingFolder())) {
        const int page = listingPageNumber(name);
        if (page == 0)
            continue;
        const auto bytes = platform::readRegularFile(site.listingFilePath(page), articles::MaxArticleFileBytes);
        std::vector<CatalogEntry> entries;
        if (!bytes || site::extractListingEntries(*bytes, entries) <= 0)
            continue;
        listings.pages[page] = std::move(entries);
    }
    // The map is ordered: the first page that lists a title names it.
    for (auto it = listings.pages.rbegin(); it != listings.pages.rend(); ++it)
        for (const CatalogEntry& entry : it->second)
            listings.pageOfFile[articles::articleFileName(entry.title)] = it->first;
    return listings;
}

std::vector<StoredArticle> readStoredArticles(const SiteAccessor& site, const SavedListings& listings)
{
    std::vector<std::string> names = platform::regularFilesIn(site.categoryFolder());
    std::erase_if(names, [](const std::string& name) { return !name.ends_with(".txt"); });
    // Thousands of files: each is opened by its name in the held folder, not by its whole path, and the files are
    // read on every core.
    const platform::FolderLookup folder(site.categoryFolder());
    std::vector<std::optional<StoredArticle>> read(names.size());
    platform::runInParallel(names.size(), [&](std::size_t i) {
        const auto bytes = folder.readRegular(names[i], articles::MaxArticleFileBytes);
        if (bytes)
            read[i] = StoredArticle{std::move(names[i]), articles::parseArticleFile(*bytes), 0};
    });
    std::vector<StoredArticle> stored;
    stored.reserve(read.size());
    for (std::optional<StoredArticle>& article : read) {
        if (!article)
            continue;
        article->page = listings.pageOf(article->fileName);
        stored.push_back(std::move(*article));
    }
    return stored;
}

} // namespace commands
