// SiteAccessor: the short-lived object through which handlers and workers reach the site and the folder tree.
#pragma once

#include "catalog/catalog.h"
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/text.h"
#include "site/listing.h"

#include <chrono>
#include <functional>
#include <optional>
#include <vector>
#include <string>

/// The outside world of a SiteAccessor, passed in as plain values; tests pass a local server and a scratch folder.
struct SiteEnvironment {
    /// One GET; the whole body, or an empty ByteSet on any failure. Called from the accessor's thread.
    std::function<ByteSet(const Text&)> download;
    /// The folder that holds the folder tree "Marrowfen/...".
    platform::Path storeRoot;
    /// Scheme, host and port of the site, without a trailing slash.
    std::string siteAddress;
    /// One GET within `limits`, with the cause of a failure; when set, used instead of `download`.
    std::function<platform::DownloadResult(const Text&, const platform::DownloadLimits&)> fetch = {};
    /// The bounds of every download.
    platform::DownloadLimits limits = {};
    /// How long a listing or the counts wait for the site when a saved copy could serve instead; zero for no
    /// shorter wait than `limits` gives.
    std::chrono::milliseconds fallbackDeadline{0};

    /// The real site, the real HTTP client and the running directory.
    static SiteEnvironment standard();
};

/// Where a listing's entries came from: the site, or the listing file saved when the site last gave them.
enum class ListingSource { Network, Stored };

using site::ListingProblem;

/// What loading one listing page found, for the callers that tell the user why.
struct ListingLoad {
    /// Why there are no entries; none when there are.
    std::optional<ListingProblem> problem = ListingProblem::Unreachable;
    std::vector<CatalogEntry> entries;
    ListingSource source = ListingSource::Network;
    /// The download: its failure and cause (None and empty when the page arrived).
    platform::DownloadResult download;
    /// When the stored copy that was read was saved (seconds since 1970); nothing when none was read.
    std::optional<long long> storedAt;
    /// The listing page's address.
    Text address;
    /// The page arrived but was refused (cut short, not GBK) or, where a saved copy serves instead, gave no entries:
    /// it counts as a failed download, whose reason says why.
    std::optional<ListingProblem> rejected;
    /// The page had entries, but its listing file could not be written.
    bool listingWriteFailed = false;
    /// For page 1 as it arrived from the site: the number of listing pages its pager tells; -1 otherwise.
    int pageCount = -1;

    /// As `loadCatalog` returns it: the number of entries, or -1, -5 or -6 (see site::listingCode).
    int code() const { return problem ? site::listingCode(*problem) : static_cast<int>(entries.size()); }
    /// The page arrived but is not GBK text.
    bool notGbk() const { return problem == ListingProblem::NotGbk; }
};

/// What a download of an entry's article brought.
enum class ArticleFetch {
    Obtained,
    DownloadFailed, ///< nothing arrived (the download has said why)
    SiteSilent,     ///< nothing arrived: the site did not answer at all (see DownloadResult::siteSilent)
    NotAnArticle,   ///< a page arrived, but not one of the site's article pages (see articles::isArticlePage)
    NoText,         ///< an article page of nothing but mark-up
};

/// What became of one entry's article in `loadPageArticles`.
enum class ArticleState {
    Stored,     ///< its file was there already
    Downloaded, ///< downloaded and stored now
    Failed,     ///< could not be obtained (see `detail` where the download itself did not say why)
    NotAFile,   ///< something that is not a regular file stands at its file's name: left alone, not downloaded
    NotWritten, ///< downloaded, but its file could not be written (see `detail`); the load stops there
};
struct ArticleReport {
    int number = 0;
    ArticleState state = ArticleState::Failed;
    platform::Path path;  ///< the article file
    std::string detail;   ///< why the file could not be written, or why what arrived is no article
    bool siteSilent = false; ///< Failed because the site did not answer at all
};
/// Told about each entry as `loadPageArticles` finishes with it. Entries it never reached (the program was stopping,
/// the store could not be written, or the catalog held another page meanwhile) are not reported.
using ArticleObserver = std::function<void(const ArticleReport&)>;

/// The category's two counts and where they were read.
struct CountsLoad {
    int pages = -1;   ///< -1: unreadable
    int entries = -1; ///< -1: unreadable
    ListingSource source = ListingSource::Network;
    platform::DownloadResult download;
    std::optional<long long> storedAt;
    /// When a count is unreadable: the listing pages that have a saved copy, in order.
    std::vector<int> savedPages;
};

/// Created for one task on one thread and released at its end. Every construction makes the folder tree again
/// where it is missing. Never throws; failures are reported by value.
class SiteAccessor {
public:
    explicit SiteAccessor(SiteEnvironment environment = SiteEnvironment::standard());

    /// The address of the category's index page (listing page 1).
    const Text indexPageAddress;

    /// Creates the three folders of the tree where missing; the outcome is not reported.
    void prepareFolders() const;
    /// Removes the temporary files that writes cut off by a crash or kill left in the tree (older than a minute).
    void removeInterruptedWrites() const;
    /// Downloads the index page; empty on failure.
    ByteSet fetchIndexPage() const;
    /// The number of listing pages read from the index page's pager, or -1.
    int queryPageCount() const;
    /// The number of entries of the category read from the index page's pager, or -1.
    int queryEntryCount() const;
    /// Both counts from one download of the index page; from the stored copy of listing page 1 when the download
    /// brings no counts (waiting for the site no longer than `fallbackDeadline` when there is a copy). A count beyond
    /// any real category's (100,000 pages, 10,000,000 entries) counts as unreadable.
    CountsLoad queryCounts() const;
    /// Both counts from the saved copy of listing page 1 only, asking the site nothing; with the saved pages when a
    /// count is unreadable.
    CountsLoad savedCounts() const;
    /// The address of listing page `page`: the index page for 1, ".../303/<page>.html" otherwise.
    Text pageAddress(int page) const;
    /// Downloads listing page `page`; empty on failure.
    ByteSet fetchPage(int page) const;
    /// Downloads listing page `page` and extracts its entries. A whole GBK page with entries replaces its listing
    /// file; one without entries leaves the last good copy. When the download brings nothing, or a page cut short or
    /// in another encoding (see site::unacceptableListing), the entries come from the listing file (left as it is),
    /// if it has any.
    ListingLoad loadListing(int page) const;
    /// The entries of listing page `page`'s saved copy only, asking the site nothing (source Stored); the problem
    /// Unreachable when there is no copy with entries.
    ListingLoad savedListing(int page) const;
    /// `loadListing`, then the catalog's contents replaced with the entries. Returns the number of entries, or
    /// `loadListing`'s code (-1, -5, -6) with the catalog left exactly as it was.
    int loadCatalog(int page, Catalog& catalog) const;

    /// Downloads the article at `address` and returns its cleaned text; the empty text when nothing could be
    /// downloaded; the raw page when it holds nothing but mark-up. Fills `entry`'s author, body and disclaimer when
    /// given and an article was found. An address that is not absolute is resolved against the index page's
    /// address first.
    Text fetchArticleText(const Text& address, CatalogEntry* entry = nullptr) const;
    /// Downloads the article of `entry` from `address` into a copy and, when article text was found, puts the copy
    /// with author, body and disclaimer filled in its place. A page that is not one of the site's article pages, or
    /// holds nothing but mark-up, is no article: it is never stored, and the entry is left as it was.
    ArticleFetch fetchArticleInto(const Text& address, CatalogEntry& entry) const;
    /// Makes sure every catalog entry has its article file, downloading only the missing ones, strictly one after
    /// the other. Returns how many entries have their file afterwards (a failed write is not counted); -1 for an
    /// empty catalog. An entry whose file name holds anything but a regular file is left alone. Stops early, without
    /// counting the rest, when the program is shutting down, when a file cannot be written (no later one could be
    /// either) or when the catalog holds another page's entries (it never writes into those).
    int loadPageArticles(Catalog& catalog, const ArticleObserver& observer = {}) const;
    /// The article file text: title, date, author, body and disclaimer joined by CR LF, no final line break.
    Text composeFileText(const CatalogEntry& entry) const;

    platform::Path rootFolder() const;
    platform::Path categoryFolder() const;
    platform::Path listingFolder() const;
    /// The listing file of page `page`: ".../目録/第<page>頁網頁.html".
    platform::Path listingFilePath(int page) const;
    /// The article file of an entry titled `title` in the category folder (see articleFileName).
    platform::Path articleFilePath(const Text& title) const;

private:
    /// One download; empty on failure.
    ByteSet download(const Text& address) const;
    /// The numbers of the listing pages that have a saved copy, in order.
    std::vector<int> savedPageNumbers() const;
    /// One download with the cause of a failure; within `fallbackDeadline` when `copySaved`.
    platform::DownloadResult fetchResult(const Text& address, bool copySaved = false) const;

    SiteEnvironment environment;
    platform::Path categoryPath; // built once: every article file lies in it
};
