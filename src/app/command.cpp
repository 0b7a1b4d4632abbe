// The commands that run without a window.
#include "app/command.h"

#include "app/catalog.h"
#include "app/store.h"
#include "articles/article_worker.h"
#include "platform/console.h"
#include "platform/gbk_codec.h"
#include "platform/http_client.h"
#include "platform/threads.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <memory>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string utf8(const Text& text)
{
    return platform::gbk::toUtf8(text);
}

// Display form of a GBK text: UTF-8 with CR LF as LF.
std::string displayText(const Text& text)
{
    std::string shown = utf8(text);
    std::string result;
    result.reserve(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i)
        if (!(shown[i] == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n'))
            result += shown[i];
    return result;
}

std::string jsonString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                quoted += escaped;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

std::optional<int> positiveNumber(const std::string& word)
{
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < 1)
        return std::nullopt;
    return value;
}

int usageError(std::FILE* err, const std::string& message)
{
    std::fprintf(err, "varnholt: %s\n\n%s", message.c_str(), platform::helpText(describeDefaultStore()).c_str());
    return ExitUsage;
}

// Waits up to `duration`, in short steps so that Ctrl-C is not held up. Returns false when interrupted.
bool pause(std::chrono::milliseconds duration)
{
    const auto until = Clock::now() + duration;
    while (Clock::now() < until) {
        if (platform::shutdownRequested())
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(std::chrono::milliseconds(50), until - Clock::now()));
    }
    return !platform::shutdownRequested();
}

// Downloads for the commands: retries passing failures with a growing pause, waits between downloads when asked,
// and counts what arrived. Shared by every SiteAccessor a command creates.
struct CommandDownloads {
    int retries = 0;
    std::chrono::milliseconds delay{0};
    std::atomic<long long> bytes{0};
    std::atomic<int> downloads{0};
    std::function<void()> onDownload;

    ByteSet operator()(const Text& address)
    {
        if (downloads.fetch_add(1) > 0 && delay.count() > 0 && !pause(delay))
            return {};
        platform::DownloadResult result = platform::fetch(address);
        for (int attempt = 1; attempt <= retries && result.isTransient(); ++attempt) {
            // 0.5 s, 1 s, 2 s, ... and at most 16 s between attempts.
            if (!pause(std::chrono::milliseconds(500) * (1 << std::min(attempt - 1, 5))))
                break;
            result = platform::fetch(address);
        }
        bytes += static_cast<long long>(result.body.size());
        if (onDownload)
            onDownload();
        return std::move(result.body);
    }
};

struct EntryState {
    int number = 0;
    CatalogEntry entry;
    bool storedBefore = false;
    bool stored = false;
};

// Loads listing page `page` and obtains every article as the page worker does. Empty when the page did not load.
std::optional<std::vector<EntryState>> loadPage(const SiteAccessor& site, int page)
{
    Catalog catalog;
    if (site.loadCatalog(page, catalog) <= 0)
        return std::nullopt;
    std::vector<EntryState> states;
    for (const CatalogEntry& entry : catalog.entries()) {
        EntryState state;
        state.number = static_cast<int>(states.size()) + 1;
        state.entry = entry;
        state.storedBefore = platform::exists(site.articleFilePath(entry.title));
        states.push_back(std::move(state));
    }
    site.loadPageArticles(catalog);
    for (EntryState& state : states)
        state.stored = platform::exists(site.articleFilePath(state.entry.title));
    return states;
}

int runCounts(const platform::CommandLine& line, const SiteAccessor& site, std::FILE* out)
{
    const int pages = site.queryPageCount();
    const int entries = site.queryEntryCount();
    if (line.json)
        std::fprintf(out, "{\"pages\": %d, \"entries\": %d}\n", pages, entries);
    else
        std::fprintf(out, "pages: %d\nentries: %d\n", pages, entries);
    return pages >= 0 && entries >= 0 ? ExitOk : ExitUnreadable;
}

int runPage(const platform::CommandLine& line, const SiteAccessor& site, int page, std::FILE* out, std::FILE* err)
{
    const auto states = loadPage(site, page);
    if (!states) {
        std::fprintf(err, "varnholt: listing page %d could not be loaded\n", page);
        return ExitUnreadable;
    }
    const bool allStored = std::all_of(states->begin(), states->end(), [](const EntryState& s) { return s.stored; });
    if (line.json) {
        std::string json = "{\"page\": " + std::to_string(page) + ", \"entries\": [";
        for (const EntryState& state : *states) {
            json += (state.number > 1 ? ", " : "") + std::string("{\"number\": ") + std::to_string(state.number) +
                    ", \"date\": " + jsonString(utf8(state.entry.date)) + ", \"title\": " +
                    jsonString(utf8(state.entry.title)) + ", \"href\": " + jsonString(utf8(state.entry.href)) +
                    ", \"state\": \"" + (state.stored ? "stored" : "failed") + "\"}";
        }
        std::fprintf(out, "%s]}\n", json.c_str());
    } else {
        for (const EntryState& state : *states)
            std::fprintf(out, "%d\t%s\t%s\t%s\n", state.number, utf8(state.entry.date).c_str(),
                         utf8(state.entry.title).c_str(), state.stored ? "stored" : "failed");
    }
    if (platform::shutdownRequested())
        return ExitInterrupted;
    return allStored ? ExitOk : ExitSomeFailed;
}

int runShow(const SiteAccessor& site, int page, int number, std::FILE* out, std::FILE* err)
{
    Catalog catalog;
    if (site.loadCatalog(page, catalog) <= 0) {
        std::fprintf(err, "varnholt: listing page %d could not be loaded\n%s\n", page,
                     utf8(articles::failureMessage()).c_str());
        return ExitNotShown;
    }
    const articles::ArticleOutcome outcome = articles::obtainArticle(site, catalog, number, {});
    if (outcome.kind != articles::ArticleOutcome::Kind::Shown) {
        std::fprintf(err, "%s\n", utf8(articles::failureMessage()).c_str());
        return ExitNotShown;
    }
    std::string shown = displayText(outcome.content);
    if (!shown.ends_with('\n'))
        shown += '\n';
    std::fputs(shown.c_str(), out);
    return ExitOk;
}

struct ArchiveTotals {
    int pagesDone = 0;
    int pagesFailed = 0;
    int entries = 0;
    int storedBefore = 0;
    int downloaded = 0;
    int failed = 0;
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

int runArchive(const platform::CommandLine& line, const SiteEnvironment& environment, CommandDownloads& downloads,
               int from, std::optional<int> to, std::FILE* out, std::FILE* err)
{
    const SiteAccessor site(environment);
    if (!to) {
        const int pages = site.queryPageCount();
        if (pages < 0) {
            std::fprintf(err, "varnholt: the page count could not be read\n");
            return ExitUnreadable;
        }
        to = pages;
    }
    const int total = std::max(0, *to - from + 1);
    const auto start = Clock::now();
    ArchiveTotals totals;
    std::string pagesJson;
    const bool live = platform::standardErrorIsTerminal() && !line.json;
    const auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    const auto progress = [&] {
        const double elapsed = seconds();
        const double rate = elapsed > 0 ? static_cast<double>(downloads.bytes) / elapsed : 0;
        const double left = totals.pagesDone > 0 ? elapsed / totals.pagesDone * (total - totals.pagesDone) : 0;
        std::fprintf(err, "\r\033[Kpages %d/%d  stored %d  failed %d  %s  %s/s  ~%.0f s left", totals.pagesDone, total,
                     totals.storedBefore + totals.downloaded, totals.failed, formatBytes(downloads.bytes).c_str(),
                     formatBytes(static_cast<long long>(rate)).c_str(), left);
        std::fflush(err);
    };
    if (live)
        downloads.onDownload = progress;

    for (int page = from; page <= *to && !platform::shutdownRequested(); ++page) {
        const auto states = loadPage(site, page);
        int before = 0;
        int now = 0;
        int failedHere = 0;
        if (!states) {
            ++totals.pagesFailed;
        } else {
            for (const EntryState& state : *states) {
                before += state.storedBefore;
                now += state.stored && !state.storedBefore;
                failedHere += !state.stored;
            }
        }
        ++totals.pagesDone;
        const int entriesHere = states ? static_cast<int>(states->size()) : 0;
        totals.entries += entriesHere;
        totals.storedBefore += before;
        totals.downloaded += now;
        totals.failed += failedHere;
        pagesJson += (pagesJson.empty() ? "" : ", ") + std::string("{\"page\": ") + std::to_string(page) +
                     ", \"loaded\": " + (states ? "true" : "false") + ", \"entries\": " + std::to_string(entriesHere) +
                     ", \"storedBefore\": " + std::to_string(before) + ", \"downloaded\": " + std::to_string(now) +
                     ", \"failed\": " + std::to_string(failedHere) + "}";
        if (live)
            progress();
        else if (states)
            std::fprintf(err, "page %d/%d: %d entries, %d stored before, %d downloaded, %d failed\n", page, *to,
                         entriesHere, before, now, failedHere);
        else
            std::fprintf(err, "page %d/%d: the listing page could not be loaded\n", page, *to);
    }
    if (live)
        std::fputc('\n', err);

    const bool interrupted = platform::shutdownRequested();
    if (line.json) {
        std::fprintf(out,
                     "{\"from\": %d, \"to\": %d, \"pages\": %d, \"pagesFailed\": %d, \"entries\": %d, "
                     "\"storedBefore\": %d, \"downloaded\": %d, \"failed\": %d, \"bytes\": %lld, \"seconds\": %.3f, "
                     "\"interrupted\": %s, \"pageResults\": [%s]}\n",
                     from, *to, totals.pagesDone, totals.pagesFailed, totals.entries, totals.storedBefore,
                     totals.downloaded, totals.failed, static_cast<long long>(downloads.bytes), seconds(),
                     interrupted ? "true" : "false", pagesJson.c_str());
    }
    std::fprintf(err,
                 "%s: pages %d, entries %d, stored before %d, downloaded now %d, failed %d, bytes %lld, seconds %.1f\n",
                 interrupted ? "interrupted" : "done", totals.pagesDone, totals.entries, totals.storedBefore,
                 totals.downloaded, totals.failed, static_cast<long long>(downloads.bytes), seconds());
    if (interrupted)
        return ExitInterrupted;
    return totals.failed == 0 && totals.pagesFailed == 0 ? ExitOk : ExitSomeFailed;
}

// "FROM" or "FROM-TO", both positive and FROM <= TO.
bool parseRange(const std::string& word, int& from, std::optional<int>& to)
{
    const std::size_t dash = word.find('-');
    const auto first = positiveNumber(word.substr(0, dash));
    if (!first)
        return false;
    from = *first;
    if (dash == std::string::npos)
        return true;
    const auto last = positiveNumber(word.substr(dash + 1));
    if (!last || *last < from)
        return false;
    to = *last;
    return true;
}

} // namespace

int runCommand(const platform::CommandLine& line, const SiteEnvironment& environment, std::FILE* out, std::FILE* err)
{
    const std::vector<std::string>& words = line.arguments;
    const std::string& command = words.front();
    const auto operands = words.size() - 1;

    auto downloads = std::make_shared<CommandDownloads>();
    downloads->retries = line.retries;
    downloads->delay = std::chrono::milliseconds(static_cast<long long>(line.delaySeconds * 1000));
    // Commands download through the retrying, pausing and counting wrapper.
    SiteEnvironment commandEnvironment = environment;
    commandEnvironment.download = [downloads](const Text& address) { return (*downloads)(address); };
    SiteAccessor(commandEnvironment).removeInterruptedWrites();

    if (command == "counts") {
        if (operands != 0)
            return usageError(err, "counts takes no operands");
        return runCounts(line, SiteAccessor(commandEnvironment), out);
    }
    if (command == "page") {
        const auto page = operands == 1 ? positiveNumber(words[1]) : std::nullopt;
        if (!page)
            return usageError(err, "page takes one page number, a positive whole number");
        platform::stopOnInterrupt();
        return runPage(line, SiteAccessor(commandEnvironment), *page, out, err);
    }
    if (command == "show") {
        const auto page = operands == 2 ? positiveNumber(words[1]) : std::nullopt;
        const auto number = operands == 2 ? positiveNumber(words[2]) : std::nullopt;
        if (!page || !number)
            return usageError(err, "show takes a page number and an entry number, both positive whole numbers");
        return runShow(SiteAccessor(commandEnvironment), *page, *number, out, err);
    }
    if (command == "archive") {
        int from = 1;
        std::optional<int> to;
        if (operands > 1 || (operands == 1 && !parseRange(words[1], from, to)))
            return usageError(err, "archive takes an optional range FROM or FROM-TO of page numbers, FROM <= TO");
        platform::stopOnInterrupt();
        return runArchive(line, commandEnvironment, *downloads, from, to, out, err);
    }
    return usageError(err, "unknown command '" + command + "'");
}
