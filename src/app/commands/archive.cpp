// archive [FROM[-TO]]: every listing page of a range and all of their articles, resumable.
#include "app/commands/commands.h"
#include "app/commands/output.h"

#include "platform/threads.h"

#include <chrono>
#include <string>

namespace commands {
namespace {

using Clock = std::chrono::steady_clock;

/// What `archive` did with one listing page.
struct ArchivePage {
    int page = 0;
    bool loaded = false;
    ListingSource source = ListingSource::Network;
    int entries = 0;
    int storedBefore = 0;
    int downloaded = 0;
    int failed = 0;
    int skipped = 0;
};

struct ArchiveResult {
    int from = 1;
    int to = 0;
    bool pageCountRead = true; ///< false: the page count could not be read
    bool fromBeyondLastPage = false; ///< a usage error: FROM is beyond the page count
    std::vector<ArchivePage> pages;
    long long bytes = 0;
    double seconds = 0;
    bool interrupted = false;
    bool storeFailed = false;

    /// The sums over `pages`, as one ArchivePage (its `loaded` says whether every page loaded).
    ArchivePage totals() const;
};

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

/// Loads pages `from` to `to` (to the page count when not given, and never beyond it), reporting each page on `err`
/// as it goes: a live line on a terminal (`live`), else one line per page.
ArchiveResult archive(const SiteEnvironment& environment, platform::PolicyDownloader& downloads, int from,
                      std::optional<int> to, bool live, std::FILE* err)
{
    ArchiveResult result;
    result.from = from;
    const SiteAccessor site(environment);
    // The page count bounds every range: a mistyped TO must not send thousands of requests.
    const CountsLoad counts = site.queryCounts();
    // A category of no pages is a count that could not be read, not a range the user got wrong.
    if (counts.pages <= 0) {
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
    // Counted as each article is stored or fails, not when its page ends.
    int stored = 0, failed = 0;
    const auto progress = [&] {
        const double elapsed = seconds();
        const auto done = static_cast<int>(result.pages.size());
        const double rate = elapsed > 0 ? static_cast<double>(downloads.bytes()) / elapsed : 0;
        // An estimate from fewer pages than this says nothing yet.
        constexpr int Estimated = 3;
        char left[32] = "";
        if (done >= Estimated)
            std::snprintf(left, sizeof left, "  ~%.0f s left", elapsed / done * (total - done));
        std::fprintf(err, "\r\033[Kpages %d/%d  stored %d  failed %d  %s  %s/s%s", done, total, stored, failed,
                     formatBytes(downloads.bytes()).c_str(), formatBytes(static_cast<long long>(rate)).c_str(), left);
        std::fflush(err);
    };
    const auto counted = [&](EntryState state) {
        stored += state == EntryState::Stored || state == EntryState::Downloaded;
        failed += state == EntryState::Failed;
    };
    if (live)
        downloads.setOnDownload(progress);

    // `to` is at most the page count, itself bounded: the page number cannot overflow.
    for (int page = from; page <= result.to && !platform::shutdownRequested() && !result.storeFailed; ++page) {
        const PageResult loaded = loadPage(site, page, err, counted);
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

int failedPages(const ArchiveResult& result)
{
    int failed = 0;
    for (const ArchivePage& page : result.pages)
        failed += !page.loaded;
    return failed;
}

void reportProblems(const ArchiveResult& result, std::FILE* err)
{
    if (!result.pageCountRead) {
        std::fprintf(err, "varnholt: the page count could not be read\n");
        return;
    }
    if (result.fromBeyondLastPage)
        return;
    const ArchivePage sum = result.totals();
    const char* ending = result.interrupted ? "interrupted" : result.storeFailed ? "stopped" : "done";
    std::fprintf(err,
                 "%s: pages %zu (failed %d), entries %d, stored before %d, downloaded now %d, failed articles %d, "
                 "not attempted %d, bytes %lld, seconds %.1f\n",
                 ending, result.pages.size(), failedPages(result), sum.entries, sum.storedBefore, sum.downloaded,
                 sum.failed, sum.skipped, result.bytes, result.seconds);
}

void printText(const ArchiveResult& result, std::FILE*, std::FILE* err)
{
    reportProblems(result, err);
}

platform::Json jsonOf(const ArchiveResult& result, std::FILE* err)
{
    reportProblems(result, err);
    if (!result.pageCountRead || result.fromBeyondLastPage)
        return {};
    const ArchivePage sum = result.totals();
    platform::Json pages = platform::Json::array();
    for (const ArchivePage& page : result.pages) {
        pages.add(platform::Json::object()
                      .set("page", page.page)
                      .set("loaded", page.loaded)
                      .set("source", sourceWord(page.source))
                      .set("entries", page.entries)
                      .set("storedBefore", page.storedBefore)
                      .set("downloaded", page.downloaded)
                      .set("failed", page.failed)
                      .set("notAttempted", page.skipped));
    }
    return platform::Json::object()
                  .set("from", result.from)
                  .set("to", result.to)
                  .set("pages", static_cast<int>(result.pages.size()))
                  .set("pagesFailed", failedPages(result))
                  .set("entries", sum.entries)
                  .set("storedBefore", sum.storedBefore)
                  .set("downloaded", sum.downloaded)
                  .set("failed", sum.failed)
                  .set("notAttempted", sum.skipped)
                  .set("bytes", result.bytes)
                  .set("seconds", result.seconds)
                  .set("interrupted", result.interrupted)
                  .set("storeFailed", result.storeFailed)
                  .set("pageResults", std::move(pages));
}

} // namespace

std::optional<int> archiveCommand(const Invocation& run)
{
    int from = 1;
    std::optional<int> to;
    if (run.operands.size() > 1 || (run.operands.size() == 1 && !parseRange(run.operands[0], from, to)))
        return std::nullopt;
    if (!run.storeReady())
        return ExitStore;
    platform::stopOnInterrupt();
    const bool live = platform::standardErrorIsTerminal() && platform::terminalRedraws() && !run.line.json;
    const ArchiveResult result = archive(run.environment, run.downloads, from, to, live, run.err);
    return finish(run, result, exitCode(result), printText, jsonOf);
}

} // namespace commands
