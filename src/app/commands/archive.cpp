// archive [FROM[-TO]]: every listing page of a range and all of their articles, resumable.
#include "app/commands/commands.h"

#include "platform/threads.h"

#include <chrono>
#include <string>

namespace commands {
namespace {

using Clock = std::chrono::steady_clock;

std::string formatBytes(long long bytes)
{
    char text[32];
    if (bytes >= 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    else
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    return text;
}

ArchivePage summarise(const PageResult& loaded)
{
    ArchivePage page;
    page.page = loaded.page;
    page.loaded = loaded.loaded();
    page.source = loaded.listing.origin.source;
    page.entries = static_cast<int>(loaded.entries.size());
    for (const PageEntry& entry : loaded.entries) {
        page.storedBefore += entry.state == EntryState::Stored;
        page.downloaded += entry.state == EntryState::Downloaded;
        page.failed += entry.state == EntryState::Failed;
        page.skipped += entry.state == EntryState::Skipped;
    }
    return page;
}

} // namespace

ArchivePage ArchiveResult::totals() const
{
    ArchivePage sum;
    sum.loaded = true;
    for (const ArchivePage& page : pages) {
        sum.loaded = sum.loaded && page.loaded;
        sum.entries += page.entries;
        sum.storedBefore += page.storedBefore;
        sum.downloaded += page.downloaded;
        sum.failed += page.failed;
        sum.skipped += page.skipped;
    }
    return sum;
}

ArchiveResult runArchive(const SiteEnvironment& environment, platform::PolicyDownloader& downloads, int from,
                         std::optional<int> to, bool live, std::FILE* err)
{
    ArchiveResult result;
    result.from = from;
    const SiteAccessor site(environment);
    // The page count bounds every range: a mistyped TO must not send thousands of requests.
    const CountsLoad counts = site.queryCounts();
    if (counts.pages < 0) {
        result.pageCountRead = false;
        return result;
    }
    reportStoredListing({counts.source, counts.download.reason, counts.storedAt}, 1, err);
    if (from > counts.pages) {
        result.fromBeyondLastPage = true;
        std::fprintf(err, "varnholt: archive: page %d is beyond the last listing page, %d\n", from, counts.pages);
        return result;
    }
    if (to && *to > counts.pages)
        std::fprintf(err, "varnholt: archive: the category has %d listing pages; stopping at page %d\n", counts.pages,
                     counts.pages);
    result.to = to ? std::min(*to, counts.pages) : counts.pages;
    const int total = std::max(0, result.to - from + 1);
    const auto start = Clock::now();
    const auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    const auto progress = [&] {
        const ArchivePage sum = result.totals();
        const double elapsed = seconds();
        const auto done = static_cast<int>(result.pages.size());
        const double rate = elapsed > 0 ? static_cast<double>(downloads.bytes()) / elapsed : 0;
        const double left = done > 0 ? elapsed / done * (total - done) : 0;
        std::fprintf(err, "\r\033[Kpages %d/%d  stored %d  failed %d  %s  %s/s  ~%.0f s left", done, total,
                     sum.storedBefore + sum.downloaded, sum.failed, formatBytes(downloads.bytes()).c_str(),
                     formatBytes(static_cast<long long>(rate)).c_str(), left);
        std::fflush(err);
    };
    if (live)
        downloads.setOnDownload(progress);

    // `to` is at most the page count, itself bounded: the page number cannot overflow.
    for (int page = from; page <= result.to && !platform::shutdownRequested() && !result.storeFailed; ++page) {
        const PageResult loaded = loadPage(site, page, err);
        result.storeFailed = loaded.storeFailed;
        result.pages.push_back(summarise(loaded));
        const ArchivePage& done = result.pages.back();
        if (live)
            progress();
        else if (done.loaded)
            std::fprintf(err, "page %d/%d: %d entries, %d stored before, %d downloaded, %d failed\n", page, result.to,
                         done.entries, done.storedBefore, done.downloaded, done.failed);
        else
            std::fprintf(err, "page %d/%d: the listing page could not be loaded\n", page, result.to);
    }
    // The progress line refers to this function's locals: no download may call it once they are gone.
    downloads.setOnDownload({});
    if (live)
        std::fputc('\n', err);
    result.bytes = downloads.bytes();
    result.seconds = seconds();
    result.interrupted = platform::shutdownRequested();
    return result;
}

int exitCode(const ArchiveResult& result)
{
    if (result.fromBeyondLastPage)
        return ExitUsage;
    if (!result.pageCountRead)
        return ExitUnreadable;
    if (result.interrupted)
        return ExitInterrupted;
    if (result.storeFailed)
        return ExitStore;
    const ArchivePage sum = result.totals();
    return sum.failed == 0 && sum.loaded ? ExitOk : ExitSomeFailed;
}

} // namespace commands
