// SiteAccessor: listing-page addresses, downloads, the two counts and the listing entries.
#include "site/site_accessor.h"

#include "matching/pattern_matcher.h"
#include "platform/http_client.h"
#include "site/listing.h"
#include "site/site_texts.h"

#include <algorithm>
#include <charconv>

namespace {

// Counts above these are no real category's: an index page claiming them is broken or hostile, and the window
// would fill its lists item by item.
constexpr int MaxPages = 100'000;
constexpr int MaxEntries = 10'000'000;
// A saved listing page is at most what a download may bring.
constexpr std::size_t MaxListingBytes = platform::DownloadLimits{}.maxBodyBytes;

// The number the pattern's first group captures on `page`, or -1.
int countIn(Text page, const Text& pattern, int limit)
{
    matching::PatternMatcher matcher;
    matching::MatchTable table;
    if (matcher.findAll(std::move(page), pattern, table) <= 0 || table.columns() < 2)
        return -1;
    const Text& digits = table.at(1, 2);
    int count = -1;
    // "(\d+)" admits digits only; a number too large for an int is no count either.
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (error != std::errc() || end != digits.data() + digits.size() || count > limit)
        return -1;
    return count;
}

// A listing page with entries that arrived cut short or in another encoding would replace the last good copy and
// give wrong entries: it is turned into a failed download, its cause in the reason. Returns what was wrong, if
// anything. (A page without entries is not judged: it keeps the codes the design gives it.)
std::optional<ListingProblem> refuse(platform::DownloadResult& download)
{
    const std::optional<ListingProblem> problem = site::unacceptableListing(download.body, download.contentType);
    if (problem) {
        download.body.clear();
        download.failure = platform::DownloadFailure::Other;
        download.reason = std::string(site::describe(*problem));
    }
    return problem;
}

} // namespace

SiteEnvironment SiteEnvironment::standard()
{
    return {platform::download, platform::runningDirectory(), std::string(site::DefaultSiteAddress),
            [](const Text& address, const platform::DownloadLimits& limits) { return platform::fetch(address, limits); }};
}

SiteAccessor::SiteAccessor(SiteEnvironment environment)
    : indexPageAddress(environment.siteAddress + std::string(site::IndexPagePath)), environment(std::move(environment))
{
    categoryPath = platform::joinPath(rootFolder(), std::string(site::CategoryFolderName));
    prepareFolders();
}

platform::Path SiteAccessor::rootFolder() const
{
    return platform::joinPath(environment.storeRoot, std::string(site::RootFolderName));
}

platform::Path SiteAccessor::categoryFolder() const
{
    return categoryPath;
}

platform::Path SiteAccessor::listingFolder() const
{
    return platform::joinPath(categoryFolder(), std::string(site::ListingFolderName));
}

platform::Path SiteAccessor::listingFilePath(int page) const
{
    return platform::joinPath(listingFolder(), site::listingFileName(page));
}

void SiteAccessor::prepareFolders() const
{
    platform::ensureDirectory(rootFolder());
    platform::ensureDirectory(categoryFolder());
    platform::ensureDirectory(listingFolder());
}

void SiteAccessor::removeInterruptedWrites() const
{
    platform::removeStaleTemporaryFiles(rootFolder());
    platform::removeStaleTemporaryFiles(categoryFolder());
    platform::removeStaleTemporaryFiles(listingFolder());
}

ByteSet SiteAccessor::download(const Text& address) const
{
    return fetchResult(address).body;
}

platform::DownloadResult SiteAccessor::fetchResult(const Text& address, bool copySaved) const
{
    platform::DownloadResult result;
    if (environment.fetch) {
        platform::DownloadLimits limits = environment.limits;
        if (copySaved && environment.fallbackDeadline.count() > 0) {
            limits.totalTimeout = std::min(limits.totalTimeout, environment.fallbackDeadline);
            limits.connectTimeout = std::min(limits.connectTimeout, environment.fallbackDeadline);
        }
        result = environment.fetch(address, limits);
    } else {
        result.body = environment.download ? environment.download(address) : ByteSet();
        if (result.body.empty()) {
            result.failure = platform::DownloadFailure::Other;
            result.reason = "nothing was downloaded";
        }
    }
    // A 2xx answer without a body brings nothing either.
    if (result.failure == platform::DownloadFailure::None && result.body.empty())
        result.reason = "empty answer";
    return result;
}

ByteSet SiteAccessor::fetchIndexPage() const
{
    return download(indexPageAddress);
}

Text SiteAccessor::pageAddress(int page) const
{
    if (page == 1)
        return indexPageAddress;
    Text address = indexPageAddress;
    address.replace(address.rfind("index"), 5, std::to_string(page));
    return address;
}

ByteSet SiteAccessor::fetchPage(int page) const
{
    return download(pageAddress(page));
}

int SiteAccessor::queryPageCount() const
{
    return countIn(fetchIndexPage(), site::pageCountPattern(), MaxPages);
}

int SiteAccessor::queryEntryCount() const
{
    return countIn(fetchIndexPage(), site::entryCountPattern(), MaxEntries);
}

CountsLoad SiteAccessor::queryCounts() const
{
    CountsLoad counts;
    // The index page is listing page 1: its saved copy holds the pager too.
    const platform::Path stored = listingFilePath(1);
    const bool copySaved = platform::fileKind(stored) == platform::FileKind::Regular;
    counts.download = fetchResult(indexPageAddress, copySaved);
    if (std::vector<CatalogEntry> entries; site::extractListingEntries(counts.download.body, entries) > 0)
        refuse(counts.download);
    if (const ByteSet& page = counts.download.body; !page.empty()) {
        counts.pages = countIn(page, site::pageCountPattern(), MaxPages);
        counts.entries = countIn(page, site::entryCountPattern(), MaxEntries);
        if (counts.pages >= 0 && counts.entries >= 0)
            return counts;
        if (!copySaved) {
            counts.savedPages = savedPageNumbers();
            return counts;
        }
        // A page without the counts (a parked domain, a portal) counts as a failed download.
        counts.download.body.clear();
        counts.download.failure = platform::DownloadFailure::Other;
        counts.download.reason = "the page holds no counts";
    }
    CountsLoad saved = savedCounts();
    saved.download = std::move(counts.download);
    return saved;
}

CountsLoad SiteAccessor::savedCounts() const
{
    CountsLoad counts;
    const platform::Path stored = listingFilePath(1);
    if (platform::Result<ByteSet> copy = platform::readRegularFile(stored, MaxListingBytes); copy && !copy->empty()) {
        counts.pages = countIn(*copy, site::pageCountPattern(), MaxPages);
        counts.entries = countIn(*copy, site::entryCountPattern(), MaxEntries);
        counts.source = ListingSource::Stored;
        counts.storedAt = platform::modificationTime(stored);
    }
    // No counts: the pages saved are what can be read.
    if (counts.pages < 0 || counts.entries < 0)
        counts.savedPages = savedPageNumbers();
    return counts;
}

std::vector<int> SiteAccessor::savedPageNumbers() const
{
    std::vector<int> pages;
    for (const std::string& name : platform::regularFilesIn(listingFolder()))
        if (const int page = site::listingPageOfFileName(name); page > 0)
            pages.push_back(page);
    std::sort(pages.begin(), pages.end());
    return pages;
}

ListingLoad SiteAccessor::loadListing(int page) const
{
    ListingLoad load;
    load.address = pageAddress(page);
    const platform::Path stored = listingFilePath(page);
    // With a saved copy to fall back on, the site gets a short deadline only.
    load.download = fetchResult(load.address, platform::fileKind(stored) == platform::FileKind::Regular);
    std::optional<ListingProblem> unlisted; // a page arrived, but gave no entries
    if (!load.download.body.empty()) {
        auto found = site::readListingEntries(load.download.body);
        if (!found) {
            load.problem = unlisted = found.error();
        } else if (load.rejected = refuse(load.download); !load.rejected) {
            // Only a whole GBK page with entries replaces the listing file: an error page, a page in another
            // encoding or a truncated one would lose the last good copy, which is what offline reading reads.
            load.entries = std::move(*found);
            load.problem.reset();
            load.listingWriteFailed = !platform::writeWholeFile(stored, load.download.body);
            if (page == 1)
                load.pageCount = countIn(load.download.body, site::pageCountPattern(), MaxPages);
            return load;
        }
    }
    // Nothing arrived, a page without entries (a parked domain, a portal, a maintenance page) or a page that was
    // refused: the saved copy, if it still yields entries. It is read, never rewritten.
    ListingLoad saved = savedListing(page);
    if (saved.problem)
        return load;
    if (unlisted) {
        // The page that arrived counts as a failed download, as a refused one does.
        load.rejected = unlisted;
        load.download.body.clear();
        load.download.failure = platform::DownloadFailure::Other;
        load.download.reason = std::string(site::describe(*unlisted));
    }
    saved.download = std::move(load.download);
    saved.rejected = load.rejected;
    return saved;
}

ListingLoad SiteAccessor::savedListing(int page) const
{
    ListingLoad load;
    load.address = pageAddress(page);
    const platform::Path stored = listingFilePath(page);
    const platform::Result<ByteSet> copy = platform::readRegularFile(stored, MaxListingBytes);
    if (!copy || copy->empty())
        return load;
    auto saved = site::readListingEntries(*copy);
    if (!saved)
        return load;
    load.entries = std::move(*saved);
    load.problem.reset();
    load.source = ListingSource::Stored;
    load.storedAt = platform::modificationTime(stored);
    return load;
}

int SiteAccessor::loadCatalog(int page, Catalog& catalog) const
{
    ListingLoad load = loadListing(page);
    if (load.problem)
        return load.code();
    const int count = load.code();
    catalog.replaceAll(std::move(load.entries));
    return count;
}
