// SiteAccessor: listing-page addresses, downloads, the two counts and the listing entries.
#include "site/site_accessor.h"

#include "matching/pattern_matcher.h"
#include "platform/http_client.h"
#include "site/listing.h"
#include "site/site_texts.h"

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
            [](const Text& address) { return platform::fetch(address); }};
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

platform::DownloadResult SiteAccessor::fetchResult(const Text& address) const
{
    platform::DownloadResult result;
    if (environment.fetch) {
        result = environment.fetch(address);
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
    counts.download = fetchResult(indexPageAddress);
    if (std::vector<CatalogEntry> entries; site::extractListingEntries(counts.download.body, entries) > 0)
        refuse(counts.download);
    ByteSet page = counts.download.body;
    if (page.empty()) {
        // The index page is listing page 1: its saved copy holds the pager too.
        const platform::Path stored = listingFilePath(1);
        if (platform::Result<ByteSet> copy = platform::readRegularFile(stored, MaxListingBytes); copy && !copy->empty()) {
            page = std::move(*copy);
            counts.source = ListingSource::Stored;
            counts.storedAt = platform::modificationTime(stored);
        }
    }
    counts.pages = countIn(page, site::pageCountPattern(), MaxPages);
    counts.entries = countIn(page, site::entryCountPattern(), MaxEntries);
    return counts;
}

ListingLoad SiteAccessor::loadListing(int page) const
{
    ListingLoad load;
    load.address = pageAddress(page);
    load.download = fetchResult(load.address);
    if (!load.download.body.empty()) {
        auto found = site::readListingEntries(load.download.body);
        if (!found) {
            load.problem = found.error();
            return load;
        }
        // Only a whole GBK page with entries replaces the listing file: an error page, a page in another encoding
        // or a truncated one would lose the last good copy, which is what offline reading reads.
        load.rejected = refuse(load.download);
        if (!load.rejected) {
            load.entries = std::move(*found);
            load.problem.reset();
            load.listingWriteFailed = !platform::writeWholeFile(listingFilePath(page), load.download.body);
            return load;
        }
    }
    // Nothing arrived, or a page that was refused: the saved copy, if it still yields entries. It is read, never
    // rewritten.
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
