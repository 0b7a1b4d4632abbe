// The handlers and the page worker with a recording window, against the sample site.
#include "app/reader.h"

#include "app/store.h"

#include "platform/threads.h"
#include "site/listing.h"
#include "support/fault_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using platform::Control;
using testing_support::FakeWindow;
using testing_support::gbk;
using testing_support::SampleServer;
using testing_support::utf8;

namespace {

// Workers run in place, so the log is in one deterministic order.
struct ReaderFixture : ::testing::Test {
    SampleServer sample;
    FakeWindow window;
    Catalog catalog;
    int workersStarted = 0;
    Reader reader{window, catalog, sample.environment(), [this](std::function<void()> work) {
                      ++workersStarted;
                      work();
                  }};

    void choosePage(int page)
    {
        window.userSelects(Control::PageList, page - 1);
        onPageSelected(reader);
    }
};

std::vector<std::string> numberItems(const char* list, int count)
{
    std::vector<std::string> lines{std::string("clear ") + list};
    for (int i = 1; i <= count; ++i)
        lines.push_back(std::string("add ") + list + " " + std::to_string(i) + " " + std::to_string(i));
    return lines;
}

} // namespace

using ReaderWindow = ReaderFixture;

TEST_F(ReaderWindow, CreationSetsCaptionTopicAndBothCounts)
{
    onWindowCreated(reader);
    std::vector<std::string> expected{"caption Varnholt", "clear topic", "add topic 母豬養殖技術 1", "select topic 0",
                                      "disable topic"};
    for (const auto& line : numberItems("page", 3))
        expected.push_back(line);
    for (const auto& line : numberItems("entry", 58))
        expected.push_back(line);
    EXPECT_EQ(window.log(), expected);
    EXPECT_EQ(window.selectionIndex(Control::PageList), -1);
    EXPECT_EQ(window.selectionIndex(Control::EntryList), -1);
    EXPECT_EQ(window.text(), "");
    EXPECT_EQ(sample.store.files(), std::vector<std::string>{});
    EXPECT_TRUE(platform::exists(sample.store.path() + "/Marrowfen/母豬養殖技術/目録"));
    EXPECT_EQ(catalog.count(), 1);
}

TEST_F(ReaderWindow, UnreadableCountsClearTheListsAndZeroLeavesThem)
{
    sample.server.setStatus("/303/index.html", 500);
    window.addItem(Control::PageList, "9", 9);
    EXPECT_TRUE(fillPageList(reader));
    EXPECT_EQ(window.itemCount(Control::PageList), 0);

    sample.server.setPage("/303/index.html",
                          gbk("<a class=\"a1\">0条</a> <a href=\"/303/index.html\" class=\"a1\">上一页</a>"));
    window.addItem(Control::EntryList, "9", 9);
    EXPECT_FALSE(fillEntryList(reader));
    EXPECT_EQ(window.itemCount(Control::EntryList), 1);
}

TEST_F(ReaderWindow, ChoosingAPageListsItAndLoadsEveryArticle)
{
    onWindowCreated(reader);
    window.clearLog();
    choosePage(2);
    const auto articles = sample.site.articlesOfPage(2);
    // The lists stay usable throughout: a later choice overtakes this one.
    std::vector<std::string> expected{"clear article", "clear entry"};
    for (std::size_t i = 0; i < articles.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        expected.push_back("add article " + utf8(articles[i].title) + " " + number);
        expected.push_back("add entry " + number + " " + number);
    }
    for (const char* line : {"text 正在加載本頁所有文章\r\n如果是首次加載本頁文章，則比較耗時，請耐心等待！\r\n",
                             "append 如果非首次加載本頁文章，則比較快，不信就等着看！", "text 恭喜您：本頁所有文章加載完畢！"})
        expected.push_back(line);
    EXPECT_EQ(window.log(), expected);
    EXPECT_EQ(workersStarted, 2); // the counts, then the listing with its page worker
    EXPECT_EQ(sample.articleRequests(), 20);
    EXPECT_EQ(window.selectionIndex(Control::ArticleList), -1);
    EXPECT_EQ(window.selectionIndex(Control::EntryList), -1);

    // Page 3, then page 2 again: the second visit of page 2 downloads nothing.
    choosePage(3);
    choosePage(2);
    EXPECT_EQ(workersStarted, 4);
    EXPECT_EQ(sample.articleRequests(), 38);
    EXPECT_EQ(window.itemCount(Control::ArticleList), 20);
}

TEST_F(ReaderWindow, FailedOrBlockedPageChoiceChangesNothing)
{
    onWindowCreated(reader);
    choosePage(1);
    window.clearLog();
    const auto before = catalog.entries();
    const int workersBefore = workersStarted;

    // A page without entries, and a page that cannot be downloaded and was never saved: nothing changes, and no
    // page worker runs.
    sample.server.setPage("/303/3.html", gbk("<html>維護中</html>"));
    choosePage(3);
    sample.server.setStatus("/303/2.html", 503);
    choosePage(2);
    EXPECT_TRUE(window.log().empty());
    EXPECT_EQ(workersStarted, workersBefore + 2);
    EXPECT_EQ(catalog.entries(), before);
    EXPECT_EQ(window.text(), gbk("恭喜您：本頁所有文章加載完畢！"));

    window.setDisabled(Control::PageList, true);
    window.clearLog();
    sample.server.resetCounts();
    choosePage(1);
    EXPECT_TRUE(window.log().empty());
    EXPECT_EQ(sample.server.totalRequests(), 0);
}

TEST_F(ReaderWindow, ChoosingAnEntryShowsItAndMovesTheOtherList)
{
    onWindowCreated(reader);
    choosePage(1);
    window.clearLog();
    const auto articles = sample.site.articlesOfPage(1);

    // What the window was told, for a failure's message.
    const auto told = [&] {
        std::string lines;
        for (const std::string& line : window.log())
            lines += line.substr(0, 80) + "\n";
        return lines;
    };
    window.userSelects(Control::ArticleList, 4);
    onArticleSelected(reader);
    ASSERT_EQ(window.log().size(), 2u) << told();
    EXPECT_TRUE(window.log()[0].starts_with("text " + utf8(articles[4].title) + "\r\n"));
    EXPECT_EQ(window.log()[1], "select entry 4");

    window.clearLog();
    window.userSelects(Control::EntryList, 2);
    onEntrySelected(reader);
    ASSERT_EQ(window.log().size(), 2u) << told();
    EXPECT_TRUE(window.log()[0].starts_with("text " + utf8(articles[2].title) + "\r\n"));
    EXPECT_EQ(window.log()[1], "select article 2");
    // The counts, the listing and its page worker, and the two article workers.
    EXPECT_EQ(workersStarted, 4);
    // All stored by the page worker: showing them downloaded nothing more.
    EXPECT_EQ(sample.articleRequests(), 20);

    window.setDisabled(Control::EntryList, true);
    window.clearLog();
    onEntrySelected(reader);
    EXPECT_TRUE(window.log().empty());
    EXPECT_EQ(workersStarted, 4);
}

TEST_F(ReaderWindow, EntriesBeforeAnyPageWasChosen)
{
    onWindowCreated(reader);
    window.clearLog();
    window.userSelects(Control::EntryList, 0);
    onEntrySelected(reader);
    EXPECT_EQ(window.log(), (std::vector<std::string>{"text 文章獲取失敗，請聯繫開發者解決", "select article 0"}));
    window.clearLog();
    window.userSelects(Control::EntryList, 2);
    onEntrySelected(reader);
    EXPECT_EQ(window.log(), std::vector<std::string>{"select article 2"});
    EXPECT_EQ(window.selectionIndex(Control::ArticleList), -1);
}

namespace {

// The sample page at `path`, as served.
ByteSet servedPage(const SampleServer& sample, const std::string& path)
{
    for (const sample::SamplePage& page : sample.site.pages())
        if (page.path == path)
            return page.bytes;
    return {};
}

// Answers `path` with its sample page after `delay`.
void answerLate(SampleServer& sample, const std::string& path, std::chrono::milliseconds delay)
{
    const ByteSet page = servedPage(sample, path);
    sample.server.setStreamedRoute(path, {delay, page.size(), [page](std::size_t offset, std::string& piece) {
                                              piece = page.substr(offset);
                                              return true;
                                          }});
}

std::vector<bool> checkMarks(const FakeWindow& window)
{
    std::vector<bool> marks;
    for (int i = 0; i < window.itemCount(Control::ArticleList); ++i)
        marks.push_back(window.isItemChecked(Control::ArticleList, i));
    return marks;
}

} // namespace

TEST_F(ReaderWindow, WithTheSiteGoneTheSavedListsAndArticlesServeWithTheNoticeOnce)
{
    onWindowCreated(reader);
    choosePage(1);
    // The site is gone: nothing listens at its address any more.
    SiteEnvironment offline = sample.environment();
    offline.siteAddress = "http://127.0.0.1:1";
    FakeWindow window2;
    Catalog catalog2;
    Reader gone{window2, catalog2, offline, [](std::function<void()> work) { work(); }};
    onWindowCreated(gone);
    EXPECT_EQ(window2.itemCount(Control::PageList), 3);
    EXPECT_EQ(window2.itemCount(Control::EntryList), 58);
    EXPECT_EQ(window2.text(), gbk("網站暫時無法連接，現顯示本機保存的目錄"));

    window2.userSelects(Control::PageList, 0);
    onPageSelected(gone);
    ASSERT_EQ(window2.itemCount(Control::ArticleList), 20);
    EXPECT_EQ(checkMarks(window2), std::vector<bool>(20, true));
    // Shown once: the page's completion message stands alone.
    EXPECT_EQ(window2.text(), gbk("恭喜您：本頁所有文章加載完畢！"));
    window2.userSelects(Control::ArticleList, 2);
    onArticleSelected(gone);
    EXPECT_TRUE(window2.text().starts_with(sample.site.articlesOfPage(1)[2].title + "\r\n"));

    // A page never saved cannot be listed.
    window2.userSelects(Control::PageList, 1);
    onPageSelected(gone);
    EXPECT_EQ(window2.itemText(Control::ArticleList, 0), sample.site.articlesOfPage(1)[0].title);
    EXPECT_FALSE(window2.isDisabled(Control::PageList));
}

TEST_F(ReaderWindow, CheckMarksShowExactlyTheStoredArticles)
{
    onWindowCreated(reader);
    const auto articles = sample.site.articlesOfPage(2);
    const SiteAccessor site(sample.environment());
    // One stored before, two that fail.
    ASSERT_TRUE(platform::writeWholeFile(site.articleFilePath(articles[5].title), articles[5].title + "\r\nstored"));
    sample.server.setStatus(articles[1].path, 404);
    sample.server.setStatus(articles[7].path, 500);
    choosePage(2);
    std::vector<bool> expected(20, true);
    expected[1] = expected[7] = false;
    EXPECT_EQ(checkMarks(window), expected);
    for (std::size_t i = 0; i < articles.size(); ++i)
        EXPECT_EQ(platform::exists(site.articleFilePath(articles[i].title)), expected[i]) << i;

    // The article worker stores and marks one that failed before.
    sample.server.setPage(articles[1].path, servedPage(sample, articles[1].path));
    window.userSelects(Control::ArticleList, 1);
    onArticleSelected(reader);
    EXPECT_TRUE(window.isItemChecked(Control::ArticleList, 1));
    EXPECT_FALSE(window.isItemChecked(Control::ArticleList, 7));
}

// A slow download chosen first and a stored article chosen second: the stored one stays shown.
TEST(ReaderRace, ALaterArticleChoiceWinsOverASlowerEarlierOne)
{
    SampleServer sample;
    FakeWindow window;
    Catalog catalog;
    Reader reader{window, catalog, sample.environment(),
                  [](std::function<void()> work) { platform::startDetached(std::move(work)); }};
    const auto articles = sample.site.articlesOfPage(1);
    loadChosenPage(reader, 1);
    const SiteAccessor site(sample.environment());
    platform::removeRegularFile(site.articleFilePath(articles[4].title));
    answerLate(sample, articles[4].path, std::chrono::milliseconds(400));

    window.userSelects(Control::ArticleList, 4);
    onArticleSelected(reader);
    window.userSelects(Control::ArticleList, 2);
    onArticleSelected(reader);
    ASSERT_TRUE(platform::waitForDetachedThreads(std::chrono::seconds(5)));
    EXPECT_TRUE(window.text().starts_with(articles[2].title + "\r\n"));
    // The slow one was still stored and marked.
    EXPECT_TRUE(platform::exists(site.articleFilePath(articles[4].title)));
    EXPECT_TRUE(window.isItemChecked(Control::ArticleList, 4));
}

// Choosing a page lists its saved copy at once; when the site's page differs, its entries replace the copy's, the new
// ones in bold, and the text box says how many articles could not be obtained.
TEST_F(ReaderWindow, TheSavedPageIsListedFirstAndFreshEntriesReplaceItWithTheNewOnesInBold)
{
    onWindowCreated(reader);
    choosePage(2);
    const auto articles = sample.site.articlesOfPage(2);
    std::string items = "<li class=\"catlist_li\"><span class=\"r\">2025-1-1</span><a href=\"/a/new.html\" "
                        "target=\"_blank\" title=\"" + utf8(gbk("新到的文章")) + "\">t</a></li>\r\n";
    for (std::size_t i = 0; i + 1 < articles.size(); ++i)
        items += "<li class=\"catlist_li\"><span class=\"r\">" + utf8(articles[i].date) + "</span><a href=\"" +
                 utf8(articles[i].href) + "\" target=\"_blank\" title=\"" + utf8(articles[i].title) + "\">t</a></li>\r\n";
    sample.server.setPage("/303/2.html", gbk("<html><ul>\r\n" + items + "</ul></html>"));
    window.clearLog();
    choosePage(2);
    // The saved copy's twenty entries, then the fresh ones.
    const std::vector<std::string> log = window.log();
    ASSERT_GE(log.size(), 42u);
    EXPECT_EQ(log[2], "add article " + utf8(articles[0].title) + " 1");
    EXPECT_EQ(log[42], "clear article");
    ASSERT_EQ(window.itemCount(Control::ArticleList), 20);
    EXPECT_EQ(window.itemText(Control::ArticleList, 0), gbk("新到的文章"));
    EXPECT_TRUE(window.isItemEmphasized(Control::ArticleList, 0));
    EXPECT_FALSE(window.isItemChecked(Control::ArticleList, 0));
    for (int i = 1; i < 20; ++i) {
        EXPECT_FALSE(window.isItemEmphasized(Control::ArticleList, i)) << i;
        EXPECT_TRUE(window.isItemChecked(Control::ArticleList, i)) << i;
    }
    EXPECT_EQ(window.text(), gbk("本頁 1 篇文章暫時無法獲取：下載失敗"));
    // Shown again, the page is what was saved: nothing is new.
    choosePage(2);
    EXPECT_FALSE(window.isItemEmphasized(Control::ArticleList, 0));
}

// A site that accepts connections and never answers: the page list offers the saved pages, the saved page is listed
// with its marks, the text box says what is missing and why, and an article not stored says so.
TEST_F(ReaderWindow, ASiteThatNeverAnswersStillListsTheStoreAndSaysWhatIsMissing)
{
    onWindowCreated(reader);
    choosePage(2);
    const auto articles = sample.site.articlesOfPage(2);
    const SiteAccessor site(sample.environment());
    for (const std::size_t i : {0, 1})
        platform::removeRegularFile(site.articleFilePath(articles[i].title));
    platform::removeRegularFile(site.listingFilePath(1));

    testing_support::RawServer silent("");
    SiteEnvironment environment = sample.environment();
    environment.siteAddress = silent.address();
    // The saved page links its articles on the site that now never answers.
    ByteSet listing = platform::readWholeFile(site.listingFilePath(2)).value();
    for (std::size_t at; (at = listing.find(sample.server.baseAddress())) != ByteSet::npos;)
        listing.replace(at, sample.server.baseAddress().size(), silent.address());
    ASSERT_TRUE(platform::writeWholeFile(site.listingFilePath(2), listing));
    FakeWindow window2;
    Catalog catalog2;
    Reader unanswered{window2, catalog2, environment, [](std::function<void()> work) { work(); }};
    onWindowCreated(unanswered);
    ASSERT_EQ(window2.itemCount(Control::PageList), 1);
    EXPECT_EQ(window2.itemData(Control::PageList, 0), 2);
    window2.userSelects(Control::PageList, 0);
    onPageSelected(unanswered);
    ASSERT_EQ(window2.itemCount(Control::ArticleList), 20);
    std::vector<bool> marks(20, true);
    marks[0] = marks[1] = false;
    EXPECT_EQ(checkMarks(window2), marks);
    EXPECT_EQ(window2.text(), gbk("本頁 2 篇文章暫時無法獲取：網站無法連接\r\n網站暫時無法連接，現顯示本機保存的目錄"));
    window2.userSelects(Control::ArticleList, 1);
    onArticleSelected(unanswered);
    EXPECT_EQ(window2.text(), gbk("本文尚未保存在本機，網站暫時無法連接，請稍後再試。"));
    window2.userSelects(Control::ArticleList, 2);
    onArticleSelected(unanswered);
    EXPECT_TRUE(window2.text().starts_with(articles[2].title + "\r\n"));
}

// What the window keeps for the next run: the next start shows the last page and article from the store, with the
// site refusing connections.
TEST_F(ReaderWindow, TheNextStartShowsTheLastPageAndArticleFromTheStore)
{
    onWindowCreated(reader);
    choosePage(2);
    window.userSelects(Control::ArticleList, 3);
    onArticleSelected(reader);
    const SiteAccessor site(sample.environment());
    rememberWindow(site, {60, 70, 800, 700, 26, reader.state->shownPage.load(), reader.state->shownArticle.load()});
    const WindowMemory recalled = recallWindow(site);
    EXPECT_EQ(recalled.left, 60);
    EXPECT_EQ(recalled.height, 700);
    EXPECT_EQ(recalled.textSize, 26);
    ASSERT_EQ(recalled.page, 2);
    ASSERT_EQ(recalled.article, 4);

    SiteEnvironment refused = sample.environment();
    refused.siteAddress = "http://127.0.0.1:1";
    FakeWindow window2;
    Catalog catalog2;
    Reader next{window2, catalog2, refused, [](std::function<void()> work) { work(); }};
    next.state->restoredPage = recalled.page;
    next.state->restoredArticle = recalled.article;
    onWindowCreated(next);
    EXPECT_EQ(window2.selectionIndex(Control::PageList), 0); // the only saved page: page 2
    ASSERT_EQ(window2.itemCount(Control::ArticleList), 20);
    EXPECT_EQ(window2.selectionIndex(Control::ArticleList), 3);
    EXPECT_EQ(window2.selectionIndex(Control::EntryList), 3);
    EXPECT_TRUE(window2.text().starts_with(sample.site.articlesOfPage(2)[3].title + "\r\n"));

    // The site answers with a new entry above it: the article stays chosen where it now stands, and is remembered so.
    ByteSet listing = servedPage(sample, "/303/2.html");
    listing.insert(listing.find("<li class=\"catlist_li\">"),
                   "<li class=\"catlist_li\"><span class=\"r\">2025-3-1</span><a href=\"/new.html\" "
                   "target=\"_blank\" title=\"" + gbk("新文章") + "\">t</a></li>");
    sample.server.setPage("/303/2.html", listing);
    FakeWindow window3;
    Catalog catalog3;
    Reader moved{window3, catalog3, sample.environment(), [](std::function<void()> work) { work(); }};
    moved.state->restoredPage = recalled.page;
    moved.state->restoredArticle = recalled.article;
    onWindowCreated(moved);
    ASSERT_EQ(window3.itemCount(Control::ArticleList), 21);
    EXPECT_EQ(window3.selectionIndex(Control::ArticleList), 4);
    EXPECT_EQ(window3.selectionIndex(Control::EntryList), 4);
    EXPECT_EQ(moved.state->shownArticle.load(), 5);
    EXPECT_TRUE(window3.text().starts_with(sample.site.articlesOfPage(2)[3].title + "\r\n"));

    // A damaged memory is no memory.
    ASSERT_TRUE(platform::writeWholeFile(site.rootFolder() + "/.varnholt-window", "page=two\nleft=99999999\nx"));
    const WindowMemory damaged = recallWindow(site);
    EXPECT_EQ(damaged.page, 0);
    EXPECT_FALSE(damaged.left.has_value());
}

// A page worker of page 1 still downloading when the catalog is rebuilt with page 2 writes nothing into it.
TEST(ReaderRace, AnEarlierPagesWorkerNeverWritesIntoALaterPagesCatalog)
{
    SampleServer sample;
    const SiteAccessor site(sample.environment());
    Catalog catalog;
    ASSERT_GT(site.loadCatalog(1, catalog), 0);
    answerLate(sample, sample.site.articlesOfPage(1)[0].path, std::chrono::milliseconds(400));
    std::thread worker([&] { site.loadPageArticles(catalog); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<CatalogEntry> page2;
    ASSERT_GT(site::extractListingEntries(servedPage(sample, "/303/2.html"), page2), 0);
    catalog.replaceAll(page2);
    worker.join();
    EXPECT_EQ(catalog.entries(), page2);
    // Its first article was still stored; the rest of page 1 was left for its next load.
    EXPECT_TRUE(platform::exists(site.articleFilePath(sample.site.articlesOfPage(1)[0].title)));
    EXPECT_FALSE(platform::exists(site.articleFilePath(sample.site.articlesOfPage(1)[1].title)));
}
