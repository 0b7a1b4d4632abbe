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
    result.listing = load.result;
    result.notGbk = load.notGbk;
    result.origin = {load.source, load.download.reason, load.storedAt};
    if (load.result <= 0)
        return result;
    reportStoredListing(result.origin, page, err);
    for (const CatalogEntry& entry : load.entries)
        result.entries.push_back({static_cast<int>(result.entries.size()) + 1, entry, EntryState::Skipped});
    Catalog catalog;
    catalog.replaceAll(std::move(load.entries));
    site.loadPageArticles(catalog, [&](int number, const Text&, ArticleState state) {
        EntryState& shown = result.entries[static_cast<std::size_t>(number - 1)].state;
        shown = state == ArticleState::Stored       ? EntryState::Stored
                : state == ArticleState::Downloaded ? EntryState::Downloaded
                                                    : EntryState::Failed;
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
    if (!result.loaded())
        return ExitUnreadable;
    if (result.interrupted)
        return ExitInterrupted;
    const bool allStored = std::all_of(result.entries.begin(), result.entries.end(), [](const PageEntry& entry) {
        return entry.state == EntryState::Stored || entry.state == EntryState::Downloaded;
    });
    return allStored ? ExitOk : ExitSomeFailed;
}

} // namespace commands
