// Reading the store back: article files and saved listing pages.
#include "library/stored_articles.h"

#include "articles/article_file.h"
#include "articles/article_worker.h"
#include "platform/threads.h"
#include "site/listing.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

namespace library {
namespace {

bool isListingFile(const std::string& name)
{
    return site::listingPageOfFileName(name) != 0;
}

bool isArticleFile(const std::string& name)
{
    return name.ends_with(".txt");
}

// What `make` gives for each of the listing files `names`, by page number; read on every core.
template <typename Make>
auto readListingPages(const SiteAccessor& site, const std::vector<std::string>& names, Make make)
{
    const platform::FolderLookup folder(site.listingFolder());
    using Made = decltype(make(folder, std::string()));
    std::vector<Made> read(names.size());
    platform::runInParallel(names.size(), [&](std::size_t i) { read[i] = make(folder, names[i]); });
    std::map<int, Made> pages;
    for (std::size_t i = 0; i < names.size(); ++i)
        pages.emplace(site::listingPageOfFileName(names[i]), std::move(read[i]));
    return pages;
}

std::vector<CatalogEntry> entriesOf(const ByteSet& page)
{
    std::vector<CatalogEntry> entries;
    if (site::extractListingEntries(page, entries) <= 0)
        entries.clear();
    return entries;
}

// The date and the text of an article as the search keeps them; nothing when the content is not in that form.
std::optional<std::pair<std::string_view, std::string_view>> dateAndText(std::string_view kept)
{
    const std::size_t colon = kept.find(':');
    std::size_t length = 0;
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto [end, error] = std::from_chars(kept.data(), kept.data() + colon, length);
    if (error != std::errc() || end != kept.data() + colon || length > kept.size() - colon - 1)
        return std::nullopt;
    return std::pair{kept.substr(colon + 1, length), kept.substr(colon + 1 + length)};
}

} // namespace

SavedListings readSavedListings(const SiteAccessor& site)
{
    std::vector<std::string> names = platform::regularFilesIn(site.listingFolder());
    std::erase_if(names, [](const std::string& name) { return !isListingFile(name); });
    auto pages = readListingPages(site, names, [](const platform::FolderLookup& folder, const std::string& name) {
        const auto bytes = folder.readRegular(name, articles::MaxArticleFileBytes);
        return bytes ? entriesOf(*bytes) : std::vector<CatalogEntry>{};
    });
    std::erase_if(pages, [](const auto& page) { return page.second.empty(); });
    return pages;
}

platform::Path searchSnapshotPath(const SiteAccessor& site)
{
    // Beside the category folder, not in it: writing it must not change the folder it keeps the names of.
    return platform::joinPath(site.rootFolder(), ".varnholt-search-cache");
}

std::vector<platform::Path> snapshotFolders(const SiteAccessor& site)
{
    return {site.categoryFolder(), site.listingFolder()};
}

ListedPages::Place ListedPages::placeOf(std::string_view title) const
{
    const auto found = pages.find(title);
    return found == pages.end() ? Place{} : found->second;
}

ListedPages readListedPages(const SiteAccessor& site, StoreSnapshot& snapshot)
{
    const std::vector<std::string> names = snapshot.filesIn(site.listingFolder(), "folder/listing", isListingFile);
    // What the search needs of a listing page: the titles of its entries, a line each (a title holds no line break).
    const auto listed =
        readListingPages(site, names, [&](const platform::FolderLookup& folder, const std::string& name) {
            const auto derive = [](const ByteSet& page) {
                std::string titles;
                for (const CatalogEntry& entry : entriesOf(page))
                    titles += entry.title + "\n";
                return titles;
            };
            return snapshot.read(folder, name, "titles/" + name, articles::MaxArticleFileBytes, derive)
                .value_or(std::string_view());
        });
    ListedPages pages;
    // The map is ordered: the first page that lists a title names it.
    for (const auto& [page, titles] : listed) {
        int entry = 0;
        for (std::size_t at = 0, end; (end = titles.find('\n', at)) != std::string_view::npos; at = end + 1)
            pages.pages.emplace(titles.substr(at, end - at), ListedPages::Place{page, ++entry});
    }
    return pages;
}

void forEachStoredArticle(const SiteAccessor& site, StoreSnapshot& snapshot,
                          const std::function<void(StoredArticle&)>& visit)
{
    const std::vector<std::string> names = snapshot.filesIn(site.categoryFolder(), "folder/articles", isArticleFile);
    // Thousands of files: each is looked up by its name in the held folder, not by its whole path, on both cores.
    const platform::FolderLookup folder(site.categoryFolder());
    // What the search needs of an article, kept in the snapshot: the date's length, ':', the date, the text.
    const auto derive = [](const ByteSet& file) {
        const articles::ArticleParts parts = articles::parseArticleFile(file);
        return std::to_string(parts.date.size()) + ":" + parts.date + parts.title + "\r\n" + parts.body;
    };
    snapshot.scanFiles(folder, names, articles::MaxArticleFileBytes, derive,
                       [&](const std::string& name, std::string_view kept) {
                           const auto parts = dateAndText(kept);
                           if (!parts)
                               return;
                           StoredArticle article{name, parts->first, parts->second};
                           visit(article);
                       });
}

} // namespace library
