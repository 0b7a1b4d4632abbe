// page N: one listing page and all of its articles.
#include "app/commands/commands.h"

#include "platform/threads.h"

#include <algorithm>

namespace commands {

PageResult loadPage(const SiteAccessor& site, int page, std::FILE* err)
{
    PageResult result;
    result.page = page;
    ListingLoad load = site.loadListing(page);
    result.listing = takeListing(load, page, err);
    if (load.result <= 0)
        return result;
    if (load.listingWriteFailed) {
        std::fprintf(err, "varnholt: %s: the listing page could not be saved\n", site.listingFilePath(page).c_str());
        result.storeFailed = true;
    }
    for (const CatalogEntry& entry : load.entries)
        result.entries.push_back({static_cast<int>(result.entries.size()) + 1, entry, EntryState::Skipped});
    Catalog catalog;
    catalog.replaceAll(std::move(load.entries));
    site.loadPageArticles(catalog, [&](const ArticleReport& report) {
        EntryState& shown = result.entries[static_cast<std::size_t>(report.number - 1)].state;
        switch (report.state) {
        case ArticleState::Stored: shown = EntryState::Stored; break;
        case ArticleState::Downloaded: shown = EntryState::Downloaded; break;
        case ArticleState::Failed: shown = EntryState::Failed; break;
        case ArticleState::NotAFile:
            shown = EntryState::Failed;
            std::fprintf(err, "varnholt: %s: not a regular file; left alone\n", report.path.c_str());
            break;
        case ArticleState::NotWritten:
            shown = EntryState::Failed;
            result.storeFailed = true;
            std::fprintf(err, "varnholt: %s: %s\n", report.path.c_str(), report.detail.c_str());
            break;
        }
    });
    return result;
}

PageResult runPage(const SiteAccessor& site, int page, std::FILE* err)
{
    PageResult result = loadPage(site, page, err);
    result.interrupted = platform::shutdownRequested();
    return result;
}

int exitCode(const PageResult& result)
{
    if (result.interrupted)
        return ExitInterrupted;
    if (result.storeFailed)
        return ExitStore;
    if (!result.loaded())
        return ExitUnreadable;
    const bool allStored = std::all_of(result.entries.begin(), result.entries.end(), [](const PageEntry& entry) {
        return entry.state == EntryState::Stored || entry.state == EntryState::Downloaded;
    });
    return allStored ? ExitOk : ExitSomeFailed;
}

} // namespace commands
