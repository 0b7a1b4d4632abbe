// The commands that run without a window. Each does its work and returns what it found; the printers render it.
#pragma once

#include "catalog/catalog.h"
#include "platform/download_policy.h"
#include "site/site_accessor.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace commands {

/// Exit codes of the commands.
enum Exit : int {
    ExitOk = 0,
    ExitNotShown = 1,      ///< show: no text could be shown
    ExitUsage = 2,
    ExitUnreadable = 3,    ///< the counts or the listing page could not be read
    ExitSomeFailed = 4,    ///< some articles could not be stored
    ExitStore = 5,         ///< the store cannot be written
    ExitOutput = 6,        ///< the output could not be written
    ExitInterrupted = 130, ///< stopped by Ctrl-C (143 for SIGTERM: see platform::interruptedExitCode)
};

/// Where a listing came from, and why from there.
struct ListingOrigin {
    ListingSource source = ListingSource::Network;
    std::string reason;                ///< why the download brought nothing; empty when it arrived
    std::optional<long long> storedAt; ///< when the saved copy that was read was saved
};

/// How a listing page was loaded, as the messages tell it.
struct ListingOutcome {
    int code = -1;       ///< the number of entries, or -1, -5, -6 (see ListingLoad)
    bool notGbk = false; ///< the page arrived but is not GBK text
    ListingOrigin origin;
};

struct CountsResult {
    int pages = -1;   ///< -1: unreadable
    int entries = -1;
    ListingOrigin origin;
};

/// What became of one entry's article.
enum class EntryState {
    Downloaded, ///< downloaded and stored now
    Stored,     ///< stored already
    Failed,
    Skipped,    ///< not attempted: the command was stopped before its turn
};

/// One entry of a listing page and what became of its article.
struct PageEntry {
    int number = 0;
    CatalogEntry entry;
    EntryState state = EntryState::Skipped;
};

struct PageResult {
    int page = 0;
    ListingOutcome listing;
    std::vector<PageEntry> entries;
    bool interrupted = false;
    bool storeFailed = false; ///< a file could not be written (said on standard error); the load stopped there

    bool loaded() const { return listing.code > 0; }
};

struct ShowResult {
    int page = 0;
    int number = 0;
    ListingOutcome listing;
    bool shown = false;
    bool storeFailed = false; ///< shown, but it could not be stored
    Text title;
    Text content; ///< the article file's text
};

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

/// Loads listing page `page` (from its saved copy when the site brings nothing) and obtains every article as the
/// page worker does. Says on `err` when the saved copy was used.
PageResult loadPage(const SiteAccessor& site, int page, std::FILE* err);

CountsResult runCounts(const SiteAccessor& site, std::FILE* err);
PageResult runPage(const SiteAccessor& site, int page, std::FILE* err);
ShowResult runShow(const SiteAccessor& site, int page, int number, std::FILE* err);
/// Loads pages `from` to `to` (to the page count when not given, and never beyond it), reporting each page on `err`
/// as it goes: a live line on a terminal (`live`), else one line per page.
ArchiveResult runArchive(const SiteEnvironment& environment, platform::PolicyDownloader& downloads, int from,
                         std::optional<int> to, bool live, std::FILE* err);

/// One article that holds every searched word.
struct SearchHit {
    std::string fileName;
    Text title;
    Text date;
    int page = 0;        ///< the saved listing page that lists it; 0 when none does
    int hits = 0;        ///< the matches of all words together
    std::string context; ///< UTF-8: the line around the first match, the matches marked
    long dateKey = 0;    ///< the date as a number that sorts as the date does
};

struct SearchResult {
    std::vector<std::string> words;
    std::vector<SearchHit> hits; ///< most hits first, then the newest
};

/// Searches the stored articles' titles and bodies for articles that hold every word (UTF-8), downloading nothing.
/// `terminal`: mark the matches in the context for a terminal, else with « and ».
SearchResult runSearch(const SiteAccessor& site, const std::vector<std::string>& words, bool terminal);

struct ExportRequest {
    bool epub = true;        ///< else UTF-8 text files
    std::string target;      ///< the book's file, or the text files' folder
    int from = 1;
    std::optional<int> to;   ///< the last saved listing page when not given
};

struct ExportResult {
    int pages = 0;    ///< saved listing pages in the range
    int articles = 0; ///< exported
    int missing = 0;  ///< listed on those pages but not stored: named on standard error and left out
    bool written = false;
};

/// Exports the stored articles of the saved listing pages `from` to `to`, in listing order (page by page, each page's
/// entries in order, each article once): one EPUB 3 book, written atomically, or one UTF-8 file with LF line ends
/// per article under a folder, each replaced atomically. Downloads nothing.
ExportResult runExport(const SiteAccessor& site, const ExportRequest& request, std::FILE* err);

/// Tells on `err` that the site brought nothing and listing page `page`'s saved copy serves instead.
void reportStoredListing(const ListingOrigin& origin, int page, std::FILE* err);
/// `load` of listing page `page` as the commands tell it; says on `err` when the saved copy serves.
ListingOutcome takeListing(const ListingLoad& load, int page, std::FILE* err);

int exitCode(const CountsResult& result);
int exitCode(const PageResult& result);
int exitCode(const ShowResult& result);
int exitCode(const ArchiveResult& result);
int exitCode(const SearchResult& result);
int exitCode(const ExportResult& result);

} // namespace commands
