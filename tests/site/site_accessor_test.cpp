// SiteAccessor against the sample site: addresses, folders, counts, listing entries and the listing file.
#include "site/site_accessor.h"

#include "site/address.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using testing_support::gbk;
using testing_support::SampleServer;
using testing_support::ScratchFolder;

namespace {

SiteEnvironment environmentServing(const platform::LocalServer& server, const ScratchFolder& store)
{
    return {testing_support::quickDownload, store.path(), server.baseAddress(), testing_support::quickFetch};
}

// A listing page with the given items between realistic mark-up.
Text listingPage(const std::string& items)
{
    return gbk("<html>\r\n<body>\r\n<ul>\r\n" + items + "</ul>\r\n</body>\r\n</html>\r\n");
}

std::string item(const std::string& date, const std::string& href, const std::string& title)
{
    return "\t<li class=\"catlist_li\"><span class=\"right\">" + date + "</span><a href=\"" + href +
           "\" target=\"_blank\" title=\"" + title + "\">" + title + "</a></li>\r\n";
}

} // namespace

TEST(SiteAccessorAddresses, PageAddressesFollowTheIndexPage)
{
    ScratchFolder store;
    const SiteAccessor site({testing_support::quickDownload, store.path(), "https://example.invalid"});
    EXPECT_EQ(site.indexPageAddress, "https://example.invalid/303/index.html");
    EXPECT_EQ(site.pageAddress(1), site.indexPageAddress);
    EXPECT_EQ(site.pageAddress(2), "https://example.invalid/303/2.html");
    EXPECT_EQ(site.pageAddress(10), "https://example.invalid/303/10.html");
    EXPECT_EQ(site.listingFilePath(3), store.path() + "/Marrowfen/母豬養殖技術/目録/第3頁網頁.html");
}

TEST(SiteAccessorFolders, ConstructionMakesTheTreeOnceAndKeepsFiles)
{
    ScratchFolder store;
    const SiteEnvironment environment{testing_support::quickDownload, store.path(), "http://127.0.0.1:9"};
    const SiteAccessor first(environment);
    const platform::Path kept = platform::joinPath(first.listingFolder(), "kept.html");
    ASSERT_TRUE(platform::writeWholeFile(kept, "k"));
    const SiteAccessor second(environment);
    EXPECT_EQ(store.files(), std::vector<std::string>{"Marrowfen/母豬養殖技術/目録/kept.html"});
    // Removed while the program runs: the next accessor makes it again.
    std::filesystem::remove_all(std::filesystem::path(first.rootFolder()));
    const SiteAccessor third(environment);
    EXPECT_TRUE(platform::exists(third.listingFolder()));
}

TEST(SiteAccessorCounts, BothCountsAreReadFromTheIndexPage)
{
    platform::LocalServer server;
    ScratchFolder store;
    const SiteAccessor site(environmentServing(server, store));
    server.setPage("/303/index.html",
                   gbk("<div class=\"pages\"><a class=\"a1\">365条</a> <a href=\"/303/index.html\" class=\"a1\">上一页</a> "
                       "<span>1</span> <a href=\"/303/2.html\">2</a> <a href=\"/303/57.html\">57</a> "
                       "<a href=\"/303/2.html\" class=\"a1\">下一页</a> <a href=\"/303/57.html\">尾页</a></div>"));
    EXPECT_EQ(site.queryPageCount(), 57);
    EXPECT_EQ(site.queryEntryCount(), 365);
    EXPECT_EQ(server.requestCount("/303/index.html"), 2);
}

TEST(SiteAccessorCounts, UnreadableCountsAreMinusOne)
{
    platform::LocalServer server;
    ScratchFolder store;
    const SiteAccessor site(environmentServing(server, store));
    // No page at all, then an error page, then a next-page link followed by a line break.
    EXPECT_EQ(site.queryPageCount(), -1);
    EXPECT_EQ(site.queryEntryCount(), -1);
    server.setStatus("/303/index.html", 500);
    EXPECT_EQ(site.queryPageCount(), -1);
    server.setPage("/303/index.html", gbk("<p><a href=\"/303/5.html\">5</a> <a href=\"/303/2.html\" class=\"a1\">下一页</a>\r\n"));
    EXPECT_EQ(site.queryPageCount(), -1);
    // A number too large for a count.
    server.setPage("/303/index.html", gbk("<a class=\"a1\">99999999999999条</a> <a href=\"/303/index.html\" class=\"a1\">上一页</a>"));
    EXPECT_EQ(site.queryEntryCount(), -1);
}

TEST(SiteAccessorLoadCatalog, SamplePageGivesItsEntriesInPageOrder)
{
    SampleServer sample;
    const SiteAccessor site(sample.environment());
    Catalog catalog;
    const auto expected = sample.site.articlesOfPage(1);
    ASSERT_EQ(site.loadCatalog(1, catalog), static_cast<int>(expected.size()));
    ASSERT_EQ(catalog.count(), 20);
    for (int i = 1; i <= catalog.count(); ++i) {
        SCOPED_TRACE(i);
        const CatalogEntry entry = catalog.entryCopy(i);
        EXPECT_EQ(entry.title, expected[static_cast<std::size_t>(i - 1)].title);
        EXPECT_EQ(entry.date, expected[static_cast<std::size_t>(i - 1)].date);
        EXPECT_EQ(entry.href, expected[static_cast<std::size_t>(i - 1)].href);
        EXPECT_TRUE(entry.author.empty() && entry.body.empty() && entry.disclaimer.empty() && entry.fileText.empty());
    }
    // The listing file holds the page's bytes unchanged.
    ByteSet served;
    for (const sample::SamplePage& page : sample.site.pages())
        if (page.path == "/303/index.html")
            served = page.bytes;
    EXPECT_EQ(platform::readWholeFile(site.listingFilePath(1)).value(), served);
}

TEST(SiteAccessorLoadCatalog, TitlesDatesAndHrefsKeepTheirForm)
{
    platform::LocalServer server;
    ScratchFolder store;
    const SiteAccessor site(environmentServing(server, store));
    server.setPage("/303/4.html",
                   listingPage(item("2024-3-5", "https://h.invalid/303/1.html", "母豬 產後\t護理") + "\t\t\r\n" +
                               item("2023-11-28", "/303/2.html", "仔猪(图)") +
                               item("2024-03-07", "x/3.html", "pH值与采食量") +
                               item("2022-1-30", "https://h.invalid/303/4.html", "分娩前的十條准备")));
    Catalog catalog;
    ASSERT_EQ(site.loadCatalog(4, catalog), 4);
    EXPECT_EQ(catalog.entryCopy(1).title, gbk("母豬產後護理"));
    EXPECT_EQ(catalog.entryCopy(1).date, "2024-3-5");
    EXPECT_EQ(catalog.entryCopy(2).title, gbk("仔猪(图)"));
    EXPECT_EQ(catalog.entryCopy(2).date, "2023-11-28");
    EXPECT_EQ(catalog.entryCopy(2).href, "/303/2.html");
    EXPECT_EQ(catalog.entryCopy(3).title, gbk("pH值与采食量"));
    EXPECT_EQ(catalog.entryCopy(3).date, "2024-03-07");
    EXPECT_EQ(catalog.entryCopy(4).title, gbk("分娩前的十條准备"));
}

TEST(SiteAccessorLoadCatalog, ALineBreakInATitleAttributeIsRemoved)
{
    platform::LocalServer server;
    ScratchFolder store;
    const SiteAccessor site(environmentServing(server, store));
    // A title of line breaks alone is none: that item is no entry (it could be neither stored nor shown).
    server.setPage("/303/2.html", listingPage(item("2024-1-1", "/a.html", "母猪\r\n产后\n护理") +
                                              item("2024-1-2", "/b.html", "\r\n")));
    Catalog catalog;
    ASSERT_EQ(site.loadCatalog(2, catalog), 1);
    EXPECT_EQ(catalog.entryCopy(1).title, gbk("母猪产后护理"));
}

TEST(SiteAccessorLoadCatalog, ItemsJoinedOnOneLineStaySeparateEntries)
{
    platform::LocalServer server;
    ScratchFolder store;
    const SiteAccessor site(environmentServing(server, store));
    // A line of only spaces between the items becomes CR LF CR LF and is deleted, joining the two items.
    const std::string first = item("2024-1-1", "https://h.invalid/a.html", "第一篇");
    const std::string second = item("2024-1-2", "https://h.invalid/b.html", "第二篇");
    server.setPage("/303/2.html", listingPage(first.substr(0, first.size() - 2) + "\r\n   \r\n" + second));
    Catalog catalog;
    ASSERT_EQ(site.loadCatalog(2, catalog), 2);
    EXPECT_EQ(catalog.entryCopy(1).href, "https://h.invalid/a.html");
    EXPECT_EQ(catalog.entryCopy(2).title, gbk("第二篇"));
}

TEST(SiteAccessorLoadCatalog, FailedLoadsKeepTheCatalogAndTheLastGoodListingFile)
{
    platform::LocalServer server;
    ScratchFolder store;
    const SiteAccessor site(environmentServing(server, store));
    server.setPage("/303/2.html", listingPage(item("2024-1-1", "https://h.invalid/a.html", "第一篇")));
    Catalog catalog;
    ASSERT_EQ(site.loadCatalog(2, catalog), 1);
    CatalogEntry completed = catalog.entryCopy(1);
    completed.body = "body";
    catalog.replace(1, completed);
    const ByteSet firstListing = platform::readWholeFile(site.listingFilePath(2)).value();

    // Pages that arrive without entries change nothing: not the catalog, not the last good copy. Without a copy
    // they fail with their own codes; with one, they count as failed downloads and the copy serves.
    const std::vector<std::pair<ByteSet, int>> unlisted{{"\r\n\t\r\n", -1},
                                                      {"\r\n", -5},
                                                      {gbk("<html>改版后的页面</html>"), -5},
                                                      {std::string("<\0h\0t\0m\0l\0>\0", 12), -5}};
    for (const auto& [page, code] : unlisted) {
        server.setPage("/303/3.html", page);
        const ListingLoad fresh = site.loadListing(3);
        EXPECT_EQ(fresh.code(), code);
        EXPECT_EQ(fresh.notGbk(), page.size() == 12);
        EXPECT_EQ(site.loadCatalog(3, catalog), code);
        server.setPage("/303/2.html", page);
        const ListingLoad fallen = site.loadListing(2);
        ASSERT_EQ(fallen.code(), 1);
        EXPECT_EQ(fallen.source, ListingSource::Stored);
        EXPECT_TRUE(fallen.rejected.has_value());
        EXPECT_EQ(fallen.download.reason, site::describe(*fallen.rejected));
    }
    EXPECT_FALSE(platform::exists(site.listingFilePath(3)));
    EXPECT_EQ(platform::readWholeFile(site.listingFilePath(2)).value(), firstListing);
    ASSERT_EQ(catalog.count(), 1);
    EXPECT_EQ(catalog.entryCopy(1), completed);

    // A download that brings nothing reads the saved copy, and leaves it as it is.
    server.removePage("/303/2.html");
    const ListingLoad offline = site.loadListing(2);
    ASSERT_EQ(offline.code(), 1);
    EXPECT_EQ(offline.source, ListingSource::Stored);
    EXPECT_EQ(offline.download.reason, "HTTP 404 Not Found");
    EXPECT_TRUE(offline.storedAt.has_value());
    EXPECT_EQ(offline.entries[0].title, gbk("第一篇"));
    EXPECT_EQ(platform::readWholeFile(site.listingFilePath(2)).value(), firstListing);

    // A damaged copy is used only if it still yields entries.
    ASSERT_TRUE(platform::writeWholeFile(site.listingFilePath(2), firstListing.substr(0, firstListing.size() / 3)));
    EXPECT_EQ(site.loadCatalog(2, catalog), -1);
    EXPECT_EQ(catalog.entryCopy(1), completed);
    ASSERT_TRUE(platform::writeWholeFile(site.listingFilePath(2), ""));
    EXPECT_EQ(site.loadListing(2).code(), -1);
}

TEST(SiteAccessorLoadCatalog, ACutOrForeignListingNeverReplacesTheLastGoodCopy)
{
    SampleServer sample;
    const SiteAccessor site(sample.environment());
    ASSERT_EQ(site.loadListing(2).code(), 20);
    const ByteSet good = platform::readWholeFile(site.listingFilePath(2)).value();
    ByteSet served;
    for (const sample::SamplePage& page : sample.site.pages())
        if (page.path == "/303/2.html")
            served = page.bytes;

    // What arrives when the connection closes after three of twenty entries, with no length announced.
    const std::size_t cut = served.find("</li>", served.find("</li>", served.find("</li>") + 1) + 1) + 5;
    sample.server.setPage("/303/2.html", served.substr(0, cut));
    ListingLoad load = site.loadListing(2);
    EXPECT_EQ(load.rejected, ListingProblem::CutShort);
    EXPECT_EQ(load.source, ListingSource::Stored);
    EXPECT_EQ(load.entries.size(), 20u);
    EXPECT_EQ(load.download.reason, "the page arrived cut short");
    EXPECT_EQ(platform::readWholeFile(site.listingFilePath(2)).value(), good);

    // The same page served in UTF-8, whole: refused as well, whether it says so or not.
    for (const std::string& header : {std::string("<meta charset=\"utf-8\">"), std::string()}) {
        sample.server.setPage("/303/2.html", header + testing_support::utf8(served));
        load = site.loadListing(2);
        EXPECT_EQ(load.rejected, ListingProblem::NotGbkPage) << header;
        EXPECT_EQ(load.source, ListingSource::Stored);
        EXPECT_EQ(platform::readWholeFile(site.listingFilePath(2)).value(), good);
    }
}

TEST(SiteAccessorCounts, OneDownloadGivesBothCountsAndTheSavedIndexServesOffline)
{
    SampleServer sample;
    const SiteAccessor site(sample.environment());
    const CountsLoad online = site.queryCounts();
    EXPECT_EQ(online.pages, 3);
    EXPECT_EQ(online.entries, 58);
    EXPECT_EQ(online.source, ListingSource::Network);
    EXPECT_EQ(sample.server.requestCount("/303/index.html"), 1);

    // Without a saved page 1, an unreachable index page gives no counts; with one, the counts come from it.
    sample.server.setStatus("/303/index.html", 503);
    EXPECT_EQ(site.queryCounts().pages, -1);
    for (const sample::SamplePage& page : sample.site.pages())
        if (page.path == "/303/index.html")
            sample.server.setPage(page.path, page.bytes);
    Catalog catalog;
    ASSERT_GT(site.loadCatalog(1, catalog), 0);
    sample.server.setStatus("/303/index.html", 503);
    const CountsLoad offline = site.queryCounts();
    EXPECT_EQ(offline.pages, 3);
    EXPECT_EQ(offline.entries, 58);
    EXPECT_EQ(offline.source, ListingSource::Stored);
    EXPECT_EQ(offline.download.reason, "HTTP 503 Service Unavailable");
}

TEST(SiteAccessorCounts, CountsBeyondAnyRealCategoryAreUnreadable)
{
    platform::LocalServer server;
    ScratchFolder store;
    const SiteAccessor site(environmentServing(server, store));
    server.setPage("/303/index.html",
                   gbk("xx<a href=\"/303/2.html\">2147483647</a> <a href=\"/303/2.html\" class=\"a1\">下一页</a> "
                       "<a class=\"a1\">10000001条</a> <a href=\"/303/index.html\" class=\"a1\">上一页</a>"));
    const CountsLoad counts = site.queryCounts();
    EXPECT_EQ(counts.pages, -1);
    EXPECT_EQ(counts.entries, -1);
    server.setPage("/303/index.html",
                   gbk("xx<a href=\"/303/2.html\">100000</a> <a href=\"/303/2.html\" class=\"a1\">下一页</a> "
                       "<a class=\"a1\">10000000条</a> <a href=\"/303/index.html\" class=\"a1\">上一页</a>"));
    EXPECT_EQ(site.queryCounts().pages, 100000);
    EXPECT_EQ(site.queryCounts().entries, 10000000);
}

TEST(SiteAddress, LinksResolveAgainstTheIndexPage)
{
    const Text base = "https://h.invalid/303/index.html";
    EXPECT_EQ(site::resolveAddress("https://o.invalid/a.html", base), "https://o.invalid/a.html");
    EXPECT_EQ(site::resolveAddress("HTTP://o.invalid/a.html", base), "HTTP://o.invalid/a.html");
    EXPECT_EQ(site::resolveAddress("/303/2024/1.html", base), "https://h.invalid/303/2024/1.html");
    EXPECT_EQ(site::resolveAddress("2024/1.html", base), "https://h.invalid/303/2024/1.html");
    EXPECT_EQ(site::resolveAddress("../x/../y.html?a=1", base), "https://h.invalid/y.html?a=1");
    EXPECT_EQ(site::resolveAddress("//cdn.invalid/z.html", base), "https://cdn.invalid/z.html");
    EXPECT_EQ(site::resolveAddress("javascript:void(0)", base), "javascript:void(0)");
    EXPECT_EQ(site::resolveAddress("", base), "");
}
