// page N: one listing page and all of its articles.
#include "app/commands/commands.h"
#include "app/commands/output.h"

#include "platform/threads.h"
#include "site/address.h"
#include "site/listing.h"

#include <algorithm>

namespace commands {

PageResult loadPage(const SiteAccessor& site, int page, std::FILE* err, const std::function<void(EntryState)>& onEntry)
{
    PageResult result;
    result.page = page;
    ListingLoad load = site.loadListing(page);
    result.listing = takeListing(load, page, err);
    result.pageCount = load.pageCount;
    result.indexAddress = site.indexPageAddress;
    if (load.problem)
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
        const auto index = static_cast<std::size_t>(report.number - 1);
        EntryState& shown = result.entries[index].state;
        switch (report.state) {
        case ArticleState::Stored: shown = EntryState::Stored; break;
        case ArticleState::Downloaded: shown = EntryState::Downloaded; break;
        case ArticleState::Failed:
            shown = EntryState::Failed;
            if (!report.detail.empty())
                std::fprintf(err, "varnholt: %s: %s\n", shownAddress(site, result.entries[index].entry.href).c_str(),
                             printable(report.detail, false).c_str());
            break;
        case ArticleState::NotAFile:
            shown = EntryState::Failed;
            std::fprintf(err, "varnholt: %s: not a regular file; left alone\n", printable(report.path, false).c_str());
            break;
        case ArticleState::NotWritten:
            shown = EntryState::Failed;
            result.storeFailed = true;
            std::fprintf(err, "varnholt: %s: %s\n", printable(report.path, false).c_str(),
                         printable(report.detail, false).c_str());
            break;
        }
        if (onEntry)
            onEntry(shown);
    });
    return result;
}

namespace {

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

const char* stateWord(const PageEntry& entry)
{
    switch (entry.state) {
    case EntryState::Downloaded: return "downloaded";
    case EntryState::Stored: return "stored";
    case EntryState::Failed: return "failed";
    case EntryState::Skipped: return "skipped";
    }
    return "";
}

void printText(const PageResult& result, std::FILE* out, std::FILE* err)
{
    if (!result.loaded())
        reportUnloadedListing(result.page, result.listing, err);
    for (const PageEntry& entry : result.entries)
        std::fprintf(out, "%d\t%s\t%s\t%s\n", entry.number, printable(utf8(entry.entry.date), false).c_str(),
                     printable(utf8(entry.entry.title), false).c_str(), stateWord(entry));
}

platform::Json jsonOf(const PageResult& result, std::FILE* err)
{
    if (!result.loaded()) {
        reportUnloadedListing(result.page, result.listing, err);
        return {};
    }
    platform::Json entries = platform::Json::array();
    for (const PageEntry& entry : result.entries)
        entries.add(platform::Json::object()
                        .set("number", entry.number)
                        .set("date", utf8(entry.entry.date))
                        .set("title", utf8(entry.entry.title))
                        .set("href", utf8(entry.entry.href))
                        .set("state", stateWord(entry))
                        .set("address", utf8(site::resolveAddress(entry.entry.href, result.indexAddress)))
                        .set("isoDate", site::isoDate(entry.entry.date).empty() ? platform::Json()
                                                                          : platform::Json(site::isoDate(entry.entry.date))));
    return platform::Json::object()
        .set("page", result.page)
        .set("source", sourceWord(result.listing.origin.source))
        .set("entries", std::move(entries));
}

} // namespace

std::optional<int> pageCommand(const Invocation& run)
{
    const auto page = run.operands.size() == 1 ? positiveNumber(run.operands[0]) : std::nullopt;
    if (!page)
        return std::nullopt;
    if (!run.storeReady())
        return ExitStore;
    platform::stopOnInterrupt();
    PageResult result = loadPage(SiteAccessor(run.environment), *page, run.err);
    result.interrupted = platform::shutdownRequested();
    return finish(run, result, exitCode(result), printText, jsonOf);
}

} // namespace commands
