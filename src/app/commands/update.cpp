// update: the articles that are new on the site. New articles come on page 1 and push older ones onwards, so the
// listing pages are read from 1 on until one whose entries were all stored already.
#include "app/commands/commands.h"
#include "app/commands/output.h"

#include "platform/threads.h"

namespace commands {
namespace {

struct NewArticle {
    int page = 0;
    CatalogEntry entry;
};

struct UpdateResult {
    std::vector<NewArticle> added; ///< stored now, in listing order
    int pagesRead = 0;             ///< listing pages that came from the site
    int failed = 0;                ///< new articles that could not be stored
    bool siteUnread = false;       ///< a listing page needed could not be read from the site
    bool interrupted = false;
    bool storeFailed = false;
};

UpdateResult update(const SiteAccessor& site, std::FILE* err)
{
    UpdateResult result;
    int pageCount = 1;
    for (int page = 1; page <= pageCount && !platform::shutdownRequested(); ++page) {
        const PageResult loaded = loadPage(site, page, err);
        if (page == 1 && loaded.pageCount > 0)
            pageCount = loaded.pageCount;
        // A saved copy tells nothing new: the site must be read.
        if (!loaded.loaded() || loaded.listing.origin.source == ListingSource::Stored) {
            if (!loaded.loaded())
                reportUnloadedListing(page, loaded.listing, err);
            result.siteUnread = true;
            break;
        }
        ++result.pagesRead;
        bool allStoredBefore = true;
        for (const PageEntry& entry : loaded.entries) {
            allStoredBefore = allStoredBefore && entry.state == EntryState::Stored;
            if (entry.state == EntryState::Downloaded)
                result.added.push_back({page, entry.entry});
            result.failed += entry.state == EntryState::Failed;
        }
        result.storeFailed = loaded.storeFailed;
        if (allStoredBefore || result.storeFailed)
            break;
    }
    result.interrupted = platform::shutdownRequested();
    return result;
}

int exitCode(const UpdateResult& result)
{
    if (result.interrupted)
        return ExitInterrupted;
    if (result.storeFailed)
        return ExitStore;
    if (result.siteUnread)
        return ExitUnreadable;
    return result.failed > 0 ? ExitSomeFailed : ExitOk;
}

void summarise(const UpdateResult& result, std::FILE* err)
{
    std::fprintf(err, "update: %zu new article%s, %d failed, %d listing page%s read from the site\n",
                 result.added.size(), result.added.size() == 1 ? "" : "s", result.failed, result.pagesRead,
                 result.pagesRead == 1 ? "" : "s");
}

void printText(const UpdateResult& result, std::FILE* out, std::FILE* err)
{
    for (const NewArticle& article : result.added)
        std::fprintf(out, "%d\t%s\t%s\n", article.page, printable(utf8(article.entry.date), false).c_str(),
                     printable(utf8(article.entry.title), false).c_str());
    summarise(result, err);
}

platform::Json jsonOf(const UpdateResult& result, std::FILE* err)
{
    summarise(result, err);
    platform::Json added = platform::Json::array();
    for (const NewArticle& article : result.added)
        added.add(platform::Json::object()
                      .set("page", article.page)
                      .set("date", utf8(article.entry.date))
                      .set("title", utf8(article.entry.title))
                      .set("href", utf8(article.entry.href)));
    return platform::Json::object()
        .set("new", std::move(added))
        .set("failed", result.failed)
        .set("listingPages", result.pagesRead)
        .set("siteRead", !result.siteUnread)
        .set("interrupted", result.interrupted)
        .set("storeFailed", result.storeFailed);
}

} // namespace

std::optional<int> updateCommand(const Invocation& run)
{
    if (!run.operands.empty())
        return std::nullopt;
    if (!run.storeReady())
        return ExitStore;
    platform::stopOnInterrupt();
    const UpdateResult result = update(SiteAccessor(run.environment), run.err);
    return finish(run, result, exitCode(result), printText, jsonOf);
}

} // namespace commands
