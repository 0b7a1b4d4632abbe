// Page loads, article workers and page choices overlapping on real threads: no torn entry, no partial file.
// Also run under ThreadSanitizer by scripts/test.
#include "app/reader.h"

#include "articles/article_worker.h"
#include "platform/threads.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

using platform::Control;
using testing_support::FakeWindow;
using testing_support::SampleServer;

namespace {

// Every article file holds exactly what a clean run writes; every entry's fields belong together.
void expectConsistentStore(const SampleServer& sample, const Catalog& catalog)
{
    std::map<Text, sample::SampleArticle> byTitle;
    for (const sample::SampleArticle& article : sample.site.articles())
        byTitle[article.title] = article;
    const SiteAccessor site(sample.environment());
    for (const auto& [title, article] : byTitle) {
        const auto content = platform::readWholeFile(site.articleFilePath(title));
        if (!content)
            continue;
        EXPECT_EQ(*content, title + "\r\n" + article.date + "\r\n" + testing_support::gbk("作者未知") + "\r\n" +
                                article.body + "\r\n" + article.disclaimer);
    }
    for (const CatalogEntry& entry : catalog.entries()) {
        if (entry.title.empty())
            continue;
        const auto found = byTitle.find(entry.title);
        ASSERT_NE(found, byTitle.end());
        EXPECT_EQ(entry.date, found->second.date);
        EXPECT_EQ(entry.href, found->second.href);
        EXPECT_TRUE(entry.body.empty() || entry.body == found->second.body);
    }
    for (const std::string& file : sample.store.files())
        EXPECT_TRUE(file.ends_with(".txt") || file.ends_with(".html")) << file;
}

} // namespace

TEST(Concurrency, PageChoicesAndArticleWorkersOverlapWithoutHarm)
{
    for (int round = 0; round < 4; ++round) {
        SampleServer sample;
        FakeWindow window;
        Catalog catalog;
        Reader reader{window, catalog, sample.environment(),
                      [](std::function<void()> work) { platform::startDetached(std::move(work)); }};
        onWindowCreated(reader);
        std::vector<std::thread> users;
        // Article workers for the same and for different entries, while pages are chosen and loaded.
        for (int i = 0; i < 6; ++i)
            users.emplace_back([&, i] {
                for (int n = 0; n < 5; ++n)
                    articles::runArticleWorker(window, catalog, reader.environment, 1 + (i * 3 + n) % 20);
            });
        for (int page : {1, 2, 1, 3, 2}) {
            window.userSelects(Control::PageList, page - 1);
            window.setDisabled(Control::PageList, false); // a page chosen while the last worker still runs
            onPageSelected(reader);
        }
        for (auto& user : users)
            user.join();
        ASSERT_TRUE(platform::waitForDetachedThreads(std::chrono::seconds(30)));
        expectConsistentStore(sample, catalog);
    }
}

TEST(Concurrency, CatalogCopiesAreNeverTorn)
{
    Catalog catalog;
    std::atomic<bool> stop{false};
    std::thread rebuilder([&] {
        for (int n = 0; n < 2000; ++n) {
            const std::string tag = std::to_string(n);
            catalog.replaceAll({{tag, tag, tag, tag, tag, tag, ""}, {tag, tag, tag, tag, tag, tag, ""}});
            catalog.replace(2, {tag + "x", tag + "x", tag + "x", tag + "x", tag + "x", tag + "x", ""});
        }
        stop = true;
    });
    int torn = 0;
    while (!stop) {
        for (int number = 1; number <= 2; ++number) {
            CatalogEntry entry;
            if (catalog.copyEntry(number, entry) &&
                (entry.title != entry.date || entry.title != entry.href || entry.title != entry.body))
                ++torn;
        }
    }
    rebuilder.join();
    EXPECT_EQ(torn, 0);
}
