// The commands that run without a window. Each does its work and returns what it found; the printers render it.
#pragma once

#include "catalog/catalog.h"
#include "platform/download_policy.h"
#include "site/site_accessor.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace commands {

/// Exit codes of the commands.
enum Exit : int {
    ExitOk = 0,
    ExitNotShown = 1,      ///< show: no text could be shown
    ExitUsage = 2,
    ExitUnreadable = 3,    ///< the counts or the listing page could not be read
    ExitSomeFailed = 4,    ///< some articles could not be stored
    ExitInterrupted = 130, ///< stopped by Ctrl-C or SIGTERM
};

struct CountsResult {
    int pages = -1;   ///< -1: unreadable
    int entries = -1;
};

/// One entry of a listing page and whether its article file exists before and after the page's articles loaded.
struct PageEntry {
    int number = 0;
    CatalogEntry entry;
    bool storedBefore = false;
    bool stored = false;
};

struct PageResult {
    int page = 0;
    bool loaded = false; ///< false: the listing page could not be loaded
    std::vector<PageEntry> entries;
    bool interrupted = false;
};

struct ShowResult {
    int page = 0;
    int number = 0;
    bool listingLoaded = false;
    bool shown = false;
    Text title;
    Text content; ///< the article file's text
};

/// What `archive` did with one listing page.
struct ArchivePage {
    int page = 0;
    bool loaded = false;
    int entries = 0;
    int storedBefore = 0;
    int downloaded = 0;
    int failed = 0;
};

struct ArchiveResult {
    int from = 1;
    int to = 0;
    bool pageCountRead = true; ///< false: no range was given and the page count could not be read
    std::vector<ArchivePage> pages;
    long long bytes = 0;
    double seconds = 0;
    bool interrupted = false;

    /// The sums over `pages`, as one ArchivePage (its `loaded` says whether every page loaded).
    ArchivePage totals() const;
};

/// Loads listing page `page` and obtains every article as the page worker does.
PageResult loadPage(const SiteAccessor& site, int page);

CountsResult runCounts(const SiteAccessor& site);
PageResult runPage(const SiteAccessor& site, int page);
ShowResult runShow(const SiteAccessor& site, int page, int number);
/// Loads pages `from` to `to` (to the page count when not given), reporting each page on `err` as it goes: a live
/// line on a terminal (`live`), else one line per page.
ArchiveResult runArchive(const SiteEnvironment& environment, platform::PolicyDownloader& downloads, int from,
                         std::optional<int> to, bool live, std::FILE* err);

int exitCode(const CountsResult& result);
int exitCode(const PageResult& result);
int exitCode(const ShowResult& result);
int exitCode(const ArchiveResult& result);

} // namespace commands
