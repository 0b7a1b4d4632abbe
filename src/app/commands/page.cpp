// page N: one listing page and all of its articles.
#include "app/commands/commands.h"

#include "platform/file_system.h"
#include "platform/threads.h"

#include <algorithm>

namespace commands {

PageResult loadPage(const SiteAccessor& site, int page)
{
    PageResult result;
    result.page = page;
    Catalog catalog;
    if (site.loadCatalog(page, catalog) <= 0)
        return result;
    result.loaded = true;
    for (const CatalogEntry& entry : catalog.entries()) {
        PageEntry state;
        state.number = static_cast<int>(result.entries.size()) + 1;
        state.entry = entry;
        state.storedBefore = platform::exists(site.articleFilePath(entry.title));
        result.entries.push_back(std::move(state));
    }
    site.loadPageArticles(catalog);
    for (PageEntry& state : result.entries)
        state.stored = platform::exists(site.articleFilePath(state.entry.title));
    return result;
}

PageResult runPage(const SiteAccessor& site, int page)
{
    PageResult result = loadPage(site, page);
    result.interrupted = platform::shutdownRequested();
    return result;
}

int exitCode(const PageResult& result)
{
    if (!result.loaded)
        return ExitUnreadable;
    if (result.interrupted)
        return ExitInterrupted;
    const bool allStored =
        std::all_of(result.entries.begin(), result.entries.end(), [](const PageEntry& entry) { return entry.stored; });
    return allStored ? ExitOk : ExitSomeFailed;
}

} // namespace commands
