// The article worker's ways out, with a recording window.
#include "articles/article_worker.h"

#include "support/system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using platform::Control;
using testing_support::FakeWindow;
using testing_support::gbk;
using testing_support::SampleServer;

namespace {

const std::string FailureLine = "text 文章獲取失敗，請聯繫開發者解決";

} // namespace

TEST(ArticleWorker, FreshCatalogShowsTheFailureForOneAndNothingBeyond)
{
    SampleServer sample;
    FakeWindow window;
    const Catalog catalog;
    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 2), 0);
    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 0), 0);
    EXPECT_TRUE(window.log().empty());
    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 1), 0);
    EXPECT_EQ(window.log(), std::vector<std::string>{FailureLine});
    EXPECT_EQ(sample.server.totalRequests(), 0);
}

TEST(ArticleWorker, DownloadsStoresAndShowsThenReadsTheFile)
{
    SampleServer sample;
    FakeWindow window;
    Catalog catalog;
    const SiteAccessor site(sample.environment());
    ASSERT_EQ(site.loadCatalog(1, catalog), 20);
    const sample::SampleArticle article = sample.site.articlesOfPage(1)[4];
    const Text expected =
        article.title + "\r\n" + article.date + "\r\n" + gbk("作者未知") + "\r\n" + article.body + "\r\n" + article.disclaimer;

    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 5), 1);
    EXPECT_EQ(window.text(), expected);
    EXPECT_EQ(platform::readWholeFile(site.articleFilePath(article.title)).value(), expected);
    EXPECT_EQ(sample.articleRequests(), 1);
    // The worker writes nothing back into the catalog.
    EXPECT_EQ(catalog.entryCopy(5).body, "");

    window.replaceText("other");
    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 5), 1);
    EXPECT_EQ(window.text(), expected);
    EXPECT_EQ(sample.articleRequests(), 1);
}

TEST(ArticleWorker, EmptyTitleTakesTheArticleListItem)
{
    SampleServer sample;
    FakeWindow window;
    Catalog catalog;
    const SiteAccessor site(sample.environment());
    catalog.replaceAll({{"", "", "2024-1-1", "", "", "", ""}, {"", "", "2024-1-1", "", "", "", ""}});
    window.addItem(Control::ArticleList, gbk("列表標題"), 1);
    const Text stored = gbk("列表標題\r\n已存");
    ASSERT_TRUE(platform::writeWholeFile(site.articleFilePath(gbk("列表標題")), stored));
    window.clearLog();
    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 1), 1);
    EXPECT_EQ(window.text(), stored);
    // Position 2 has no list item: no title.
    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 2), 0);
    EXPECT_EQ(window.log().back(), FailureLine);
}

TEST(ArticleWorker, NoAddressFailedDownloadAndEmptyFile)
{
    SampleServer sample;
    FakeWindow window;
    Catalog catalog;
    const SiteAccessor site(sample.environment());
    catalog.replaceAll({{"no-address", "", "", "", "", "", ""},
                        {"gone", "", "", "", "", "/fault/404", ""},
                        {"empty-file", "", "", "", "", "/fault/404", ""}});
    const platform::Path empty = platform::joinPath(site.categoryFolder(), "empty-file.txt");
    ASSERT_TRUE(platform::writeWholeFile(empty, ""));

    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 1), 0);
    EXPECT_EQ(window.log().back(), FailureLine);

    window.replaceText("before");
    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 2), 0);
    EXPECT_EQ(window.text(), "");
    EXPECT_FALSE(platform::exists(site.articleFilePath("gone")));

    window.replaceText("before");
    EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), 3), 0);
    EXPECT_EQ(window.text(), "");
    // The empty file is no one's article: not shown, not replaced.
    EXPECT_EQ(platform::readWholeFile(empty).value_or("missing"), "");
}

TEST(ArticleWorker, TwoWorkersForTheSameEntryLeaveOneCompleteFile)
{
    SampleServer sample;
    Catalog catalog;
    const SiteAccessor site(sample.environment());
    ASSERT_EQ(site.loadCatalog(1, catalog), 20);
    FakeWindow window;
    std::thread first([&] { articles::runArticleWorker(window, catalog, sample.environment(), 3); });
    std::thread second([&] { articles::runArticleWorker(window, catalog, sample.environment(), 3); });
    first.join();
    second.join();
    const sample::SampleArticle article = sample.site.articlesOfPage(1)[2];
    const ByteSet stored = platform::readWholeFile(site.articleFilePath(article.title)).value();
    EXPECT_TRUE(stored.starts_with(article.title + "\r\n"));
    EXPECT_TRUE(stored.ends_with(article.disclaimer));
    EXPECT_EQ(window.text(), stored);
    const auto files = sample.store.files();
    EXPECT_EQ(std::count_if(files.begin(), files.end(), [](const std::string& f) { return f.ends_with(".txt"); }), 1);
}

// Only a regular file, reached without a link, is a stored article: anything else under an article's name is
// neither read, nor downloaded over, nor replaced. (Where the system has no FIFOs or links, folders stand for them.)
TEST(ArticleWorker, WhatIsNotARegularFileIsNoStoredArticle)
{
    namespace fs = std::filesystem;
    SampleServer sample;
    const SiteAccessor site(sample.environment());
    Catalog catalog;
    ASSERT_EQ(site.loadCatalog(1, catalog), 20);
    const auto articles = sample.site.articlesOfPage(1);
    const std::string outside = sample.store.path() + "/outside.txt";
    ASSERT_TRUE(platform::writeWholeFile(outside, "secret"));
    const std::string folder = site.articleFilePath(articles[0].title);
    const std::string fifo = site.articleFilePath(articles[1].title);
    const std::string link = site.articleFilePath(articles[2].title);
    const std::string zero = site.articleFilePath(articles[3].title);
    fs::create_directory(fs::u8path(folder));
    testing_support::makeNonRegularFile(fifo);
    const bool linked = testing_support::linkTo(outside, link);
    if (!linked)
        testing_support::makeNonRegularFile(link);
    if (!testing_support::linkToEndlessDevice(zero))
        testing_support::makeNonRegularFile(zero);

    std::vector<ArticleReport> reports;
    EXPECT_EQ(site.loadPageArticles(catalog, [&](const ArticleReport& report) { reports.push_back(report); }), 16);
    ASSERT_EQ(reports.size(), 20u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(reports[static_cast<std::size_t>(i)].state, ArticleState::NotAFile) << i;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(sample.server.requestCount(articles[static_cast<std::size_t>(i)].path), 0) << i;
    if (linked) {
        EXPECT_EQ(fs::read_symlink(fs::u8path(link)), fs::u8path(outside));
    }
    EXPECT_TRUE(fs::exists(fs::u8path(fifo)) && !fs::is_regular_file(fs::u8path(fifo)));

    // The worker shows the failure message instead of the outside file, the FIFO's wait or /dev/zero's bytes.
    for (int number = 1; number <= 4; ++number) {
        FakeWindow window;
        EXPECT_EQ(articles::runArticleWorker(window, catalog, sample.environment(), number), 0) << number;
        EXPECT_EQ(window.log(), std::vector<std::string>{FailureLine}) << number;
    }
    EXPECT_EQ(platform::readWholeFile(outside).value(), "secret");
}
