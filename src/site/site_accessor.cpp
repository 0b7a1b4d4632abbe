// SiteAccessor: listing-page addresses, downloads, the two counts and the listing entries.
#include "site/site_accessor.h"

#include "matching/pattern_matcher.h"
#include "platform/http_client.h"
#include "platform/window_port.h"
#include "site/listing.h"
#include "site/site_texts.h"

#include <charconv>

SiteEnvironment SiteEnvironment::standard()
{
    return {platform::download, platform::runningDirectory(), std::string(site::DefaultSiteAddress)};
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
    return platform::joinPath(listingFolder(), "第" + std::to_string(page) + "頁網頁.html");
}

void SiteAccessor::prepareFolders() const
{
    platform::ensureDirectory(rootFolder());
    platform::ensureDirectory(categoryFolder());
    platform::ensureDirectory(listingFolder());
}

void SiteAccessor::removeInterruptedWrites() const
{
    platform::removeStaleTemporaryFiles(categoryFolder());
    platform::removeStaleTemporaryFiles(listingFolder());
}

ByteSet SiteAccessor::download(const Text& address) const
{
    ByteSet bytes = environment.download ? environment.download(address) : ByteSet();
    platform::letWindowProcessEvents();
    return bytes;
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

int SiteAccessor::queryCount(const Text& pattern) const
{
    matching::PatternMatcher matcher;
    matching::MatchTable table;
    if (matcher.findAll(fetchIndexPage(), pattern, table) <= 0 || table.columns() < 2)
        return -1;
    const Text& digits = table.at(1, 2);
    int count = -1;
    // "(\d+)" admits digits only; a number too large for an int is no count either.
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (error != std::errc() || end != digits.data() + digits.size())
        return -1;
    return count;
}

int SiteAccessor::queryPageCount() const
{
    return queryCount(site::pageCountPattern());
}

int SiteAccessor::queryEntryCount() const
{
    return queryCount(site::entryCountPattern());
}

int SiteAccessor::loadCatalog(int page, Catalog& catalog) const
{
    const ByteSet bytes = fetchPage(page);
    // An outage must not wipe the last good copy: an empty download leaves the listing file as it was.
    if (!bytes.empty())
        platform::writeWholeFile(listingFilePath(page), bytes);

    std::vector<CatalogEntry> entries;
    const int found = site::extractListingEntries(bytes, entries);
    if (found <= 0)
        return found;
    catalog.replaceAll(std::move(entries));
    return found;
}
