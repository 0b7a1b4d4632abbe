// Bad servers and bad pages: nothing is stored, everything returns within its time-out, and a later good answer
// stores the article.
#include "articles/article_worker.h"
#include "site/site_accessor.h"

#include "support/fault_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>

using testing_support::FakeWindow;
using testing_support::gbk;
using testing_support::ScratchFolder;

namespace {

struct Fault {
    const char* name;
    const char* route; // where the article's address leads
};

const Fault Faults[] = {
    {"404", "/fault/404"},
    {"500 with an HTML body", "/fault/500"},
    {"slow drip", "/fault/drip"},
    {"connection reset in mid-body", "/fault/reset"},
    {"body over the size limit", "/fault/huge"},
    {"redirect to file://", "/fault/file-redirect"},
    {"redirect loop", "/fault/redirect-loop"},
    {"accepts and never answers", "/fault/silent"},
    {"page of only mark-up", nullptr},
};

std::chrono::milliseconds since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

} // namespace

TEST(FaultInjection, NoArticleIsStoredAndAGoodAnswerLaterStoresIt)
{
    testing_support::FaultServer server;
    server.setHugeBodyBytes(2 * 1024 * 1024);
    ScratchFolder store;
    const SiteEnvironment environment{testing_support::quickDownload, store.path(), server.baseAddress()};
    const SiteAccessor site(environment);
    std::vector<CatalogEntry> entries;
    for (std::size_t i = 0; i < std::size(Faults); ++i) {
        const std::string path = "/303/2024/" + std::to_string(i) + ".html";
        if (Faults[i].route)
            server.setRedirect(path, Faults[i].route);
        else
            server.setPage(path, "<html><head></head><body><div class=\"a\"><br/></div></body></html>");
        entries.push_back({gbk("故障") + std::to_string(i), "", "2024-1-1", "", "", path, ""});
    }
    Catalog catalog;
    catalog.replaceAll(entries);

    // Each fault alone: the page worker's load and the article worker, within the short time-outs.
    for (std::size_t i = 0; i < std::size(Faults); ++i) {
        SCOPED_TRACE(Faults[i].name);
        Catalog one;
        one.replaceAll({entries[i]});
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(site.loadPageArticles(one), 0);
        EXPECT_LT(since(start), std::chrono::seconds(6));
        EXPECT_EQ(one.entryCopy(1), entries[i]);

        FakeWindow window;
        window.replaceText("before");
        start = std::chrono::steady_clock::now();
        EXPECT_EQ(articles::runArticleWorker(window, catalog, environment, static_cast<int>(i) + 1), 0);
        EXPECT_LT(since(start), std::chrono::seconds(6));
        EXPECT_EQ(window.text(), "");
    }
    EXPECT_EQ(store.files(), std::vector<std::string>{});

    // The server recovers: the next load stores every article.
    for (std::size_t i = 0; i < std::size(Faults); ++i)
        server.setPage(entries[i].href, gbk("<p>【导读】摘要...</p>\r\n<p>　　正文") + std::to_string(i) + "</p>");
    EXPECT_EQ(site.loadPageArticles(catalog), static_cast<int>(std::size(Faults)));
    for (std::size_t i = 0; i < std::size(Faults); ++i)
        EXPECT_EQ(platform::readWholeFile(site.articleFilePath(entries[i].title)).value(),
                  entries[i].title + "\r\n2024-1-1\r\n" + gbk("作者未知") + "\r\n" + gbk("\r\n　　正文") +
                      std::to_string(i) + "\r\n");
}

TEST(FaultInjection, ListingFaultsKeepTheCatalogAndTheListingFile)
{
    testing_support::FaultServer server;
    server.setHugeBodyBytes(2 * 1024 * 1024);
    ScratchFolder store;
    const SiteAccessor site({testing_support::quickDownload, store.path(), server.baseAddress()});
    Catalog catalog;
    catalog.replaceAll({{"kept", "", "2024-1-1", "", "", "/x.html", ""}});
    const auto before = catalog.entries();
    ASSERT_TRUE(platform::writeWholeFile(site.listingFilePath(2), "last good copy"));
    for (const Fault& fault : Faults) {
        if (!fault.route)
            continue;
        SCOPED_TRACE(fault.name);
        server.setRedirect("/303/2.html", fault.route);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(site.loadCatalog(2, catalog), -1);
        EXPECT_LT(since(start), std::chrono::seconds(6));
    }
    EXPECT_EQ(platform::readWholeFile(site.listingFilePath(2)).value(), "last good copy");
    // A listing page that is not GBK (UTF-16) holds no entry the pattern knows.
    std::string utf16;
    for (const char c : std::string("<li class=\"catlist_li\"><span class=\"r\">2024-1-1</span></li>")) {
        utf16 += c;
        utf16 += '\0';
    }
    server.setPage("/303/2.html", utf16);
    EXPECT_EQ(site.loadCatalog(2, catalog), -5);
    EXPECT_EQ(catalog.entries(), before);
}

TEST(HostileTitles, EveryArticleIsStoredInsideTheCategoryFolder)
{
    testing_support::FaultServer server;
    ScratchFolder store;
    const SiteEnvironment environment{testing_support::quickDownload, store.path(), server.baseAddress()};
    const SiteAccessor site(environment);
    const std::vector<std::string> titles = {
        "../../escape", "a/b", "c\\d", "e:f", std::string("g\x01h\x1Fi\x7Fj"), "..", ".", "CON", "nul.txt", "COM1",
        std::string(300, 'x'), "問題?<>|*\"名",
    };
    std::string items;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const std::string path = "/303/2024/" + std::to_string(i) + ".html";
        server.setPage(path, gbk("【导读】摘要...\r\n正文") + std::to_string(i));
        std::string attribute;
        for (const char c : titles[i])
            attribute += c == '"' ? std::string("&quot;") : std::string(1, c);
        items += "<li class=\"catlist_li\"><span class=\"r\">2024-1-1</span><a href=\"" + path +
                 "\" target=\"_blank\" title=\"" + attribute + "\">" + std::to_string(i) + "</a></li>\r\n";
    }
    server.setPage("/303/2.html", gbk(items + "</html>"));
    Catalog catalog;
    ASSERT_EQ(site.loadCatalog(2, catalog), static_cast<int>(titles.size()));
    EXPECT_EQ(site.loadPageArticles(catalog), static_cast<int>(titles.size()));
    for (int number = 1; number <= catalog.count(); ++number) {
        const auto outcome = articles::obtainArticle(site, catalog, number, {});
        EXPECT_EQ(outcome.kind, articles::ArticleOutcome::Kind::Shown) << number;
        EXPECT_FALSE(outcome.downloaded) << number;
    }
    // Everything lies directly in the category folder (or is the listing file).
    for (const std::string& file : store.files()) {
        EXPECT_TRUE(file.starts_with("Marrowfen/母豬養殖技術/")) << file;
        const std::string name = file.substr(std::string("Marrowfen/母豬養殖技術/").size());
        EXPECT_TRUE(name.find('/') == std::string::npos || name == "目録/第2頁網頁.html") << file;
        EXPECT_LE(name.size(), 255u);
    }
    EXPECT_EQ(store.files().size(), titles.size() + 1);
}
