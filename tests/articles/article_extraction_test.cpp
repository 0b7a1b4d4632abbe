// Article extraction, file text, naming, and loading a page's articles against local pages.
#include "site/site_accessor.h"

#include "articles/article_file.h"
#include "articles/article_text.h"
#include "articles/article_worker.h"
#include "matching/pattern_matcher.h"
#include "platform/gbk_codec.h"
#include "site/listing.h"
#include "site/site_texts.h"
#include "support/fault_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <random>
#include <set>
#include <unordered_map>

using testing_support::gbk;
using testing_support::SampleServer;
using testing_support::ScratchFolder;

namespace {

struct ArticleServer {
    testing_support::FaultServer server;
    ScratchFolder store;
    SiteAccessor site{{testing_support::quickDownload, store.path(), server.baseAddress()}};

    // Extracts `html` (UTF-8, sent as GBK) and returns the text; fills `entry` when given.
    Text extract(const std::string& html, CatalogEntry* entry = nullptr)
    {
        server.setPage("/a.html", gbk(html));
        return site.fetchArticleText(server.baseAddress() + "/a.html", entry);
    }
};

} // namespace

TEST(FetchArticleText, CutsLeadInNoticeAndMarkup)
{
    ArticleServer s;
    CatalogEntry entry;
    entry.title = "t";
    const Text text = s.extract("<div class=\"nav\">首页</div>\r\n<p>【导读】本文介绍...</p>\r\n<p>　　第一段 有 空格</p>"
                                "<script>a(\"conten\");</script>\r\n<p>\t第二段</p>\r\n\r\n"
                                "<p>内容由用户发布，不代表本站观点。如发现有害或侵权内容。请点击这里</p>尾部",
                                &entry);
    EXPECT_EQ(text, gbk("\r\n　　第一段有空格\r\n第二段"));
    EXPECT_EQ(entry.body, text);
    EXPECT_EQ(entry.author, gbk("作者未知"));
    EXPECT_EQ(entry.disclaimer, gbk("内容由用户发布，不代表本站观点。如发现有害或侵权内容。请点击这里"));
    EXPECT_EQ(entry.title, "t");
}

TEST(FetchArticleText, LeadInTwiceKeepsOnlyTheTextBetween)
{
    ArticleServer s;
    EXPECT_EQ(s.extract("前言【导读】摘要...\r\n正文\r\n【导读】摘要...\r\n后记"), gbk("\r\n正文\r\n"));
    // On one line the greedy ".+" takes both: everything up to the last "..." goes.
    EXPECT_EQ(s.extract("前言【导读】摘要...正文【导读】摘要...后记"), gbk("后记"));
}

TEST(FetchArticleText, NoticeAtTheStartGivesAnEmptyBody)
{
    ArticleServer s;
    CatalogEntry entry;
    entry.body = "old";
    const Text text = s.extract("免责申明：本栏目所发资料信息部分来自网络，仅供大家学习、交流。我们尊重原创作者和单位，支持正版。其后", &entry);
    EXPECT_EQ(text, "");
    EXPECT_EQ(entry.body, "");
    EXPECT_EQ(entry.author, gbk("作者未知"));
}

TEST(FetchArticleText, LineBreakRunsSpacesAndTabs)
{
    ArticleServer s;
    EXPECT_EQ(s.extract("a\r\nb"), "a\r\nb");
    EXPECT_EQ(s.extract("a\r\n\r\nb"), "ab");
    EXPECT_EQ(s.extract("a\r\n\r\n\r\nb"), "a\r\nb");
    EXPECT_EQ(s.extract("a\r\n\r\n\r\n\r\nb"), "ab");
    EXPECT_EQ(s.extract("a b\tc"), "abc");
    // The ideographic space indents Chinese paragraphs and stays.
    EXPECT_EQ(s.extract("　　段落"), gbk("　　段落"));
}

TEST(FetchArticleText, TagsWithCharactersOutsideTheClassStay)
{
    ArticleServer s;
    EXPECT_EQ(s.extract("<x {y}>1<p|q>2<a&b>3<c#d>4<e(f)>5"), "<x{y}>1<p|q>2345");
}

TEST(FetchArticleText, MarkupOnlyGivesTheRawPageAndLeavesTheEntry)
{
    ArticleServer s;
    CatalogEntry entry;
    entry.body = "old";
    EXPECT_EQ(s.extract("<html><body></body></html>", &entry), "<html><body></body></html>");
    EXPECT_EQ(entry.body, "old");
    EXPECT_EQ(entry.author, "");
}

TEST(FetchArticleText, NothingToDownloadGivesTheEmptyText)
{
    ArticleServer s;
    CatalogEntry entry;
    EXPECT_EQ(s.site.fetchArticleText("", &entry), "");
    EXPECT_EQ(s.site.fetchArticleText(s.server.baseAddress() + "/fault/404", &entry), "");
    s.server.setPage("/empty.html", "");
    EXPECT_EQ(s.site.fetchArticleText(s.server.baseAddress() + "/empty.html", &entry), "");
    EXPECT_EQ(entry, CatalogEntry{});
}

TEST(FetchArticleText, SampleArticlesGiveTheirBodiesWithOrWithoutAnEntry)
{
    SampleServer sample;
    const SiteAccessor site(sample.environment());
    for (const sample::SampleArticle& article : sample.site.articles()) {
        SCOPED_TRACE(article.path);
        CatalogEntry entry;
        EXPECT_EQ(site.fetchArticleText(article.href, &entry), article.body);
        EXPECT_EQ(entry.disclaimer, article.disclaimer);
        EXPECT_EQ(site.fetchArticleText(article.href), article.body);
    }
}

TEST(ComposeFileText, FivePartsJoinedByCrLfWithoutAFinalBreak)
{
    ScratchFolder store;
    const SiteAccessor site({testing_support::quickDownload, store.path(), "http://127.0.0.1:9"});
    CatalogEntry entry{gbk("標題"), gbk("作者未知"), "2024-3-5", gbk("\r\n　　正文\r\n"), gbk("免责"), "h", ""};
    EXPECT_EQ(site.composeFileText(entry), gbk("標題\r\n2024-3-5\r\n作者未知\r\n\r\n　　正文\r\n\r\n免责"));
    entry.disclaimer.clear();
    entry.body.clear();
    EXPECT_EQ(site.composeFileText(entry), gbk("標題\r\n2024-3-5\r\n作者未知\r\n\r\n"));
}

TEST(ArticleFileName, OrdinaryTitlesKeepTheirExactName)
{
    EXPECT_EQ(articles::articleFileName(gbk("母豬產後護理(圖)")), "母豬產後護理(圖).txt");
    EXPECT_EQ(articles::articleFileName(gbk("pH值 與　采食")), "pH值 與　采食.txt");
}

// A changed title ends in "~" and eight hex digits before ".txt".
bool endsWithHash(const std::string& name, const std::string& kept)
{
    if (!name.starts_with(kept) || name.size() != kept.size() + 13 || !name.ends_with(".txt") || name[kept.size()] != '~')
        return false;
    return std::all_of(name.begin() + static_cast<long>(kept.size()) + 1, name.end() - 4,
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

TEST(ArticleFileName, HostileTitlesStayInsideTheFolder)
{
    EXPECT_TRUE(endsWithHash(articles::articleFileName("../../x"), "..／..／x"));
    EXPECT_TRUE(endsWithHash(articles::articleFileName("a\\b:c*d?e\"f<g>h|i"), "a＼b：c＊d？e＂f＜g＞h｜i"));
    EXPECT_TRUE(endsWithHash(articles::articleFileName(".."), "．．"));
    EXPECT_TRUE(endsWithHash(articles::articleFileName("."), "．"));
    EXPECT_TRUE(endsWithHash(articles::articleFileName(std::string("a\x01\nb\x7F", 5)), "ab"));
    // Invalid GBK bytes become U+FFFD rather than cutting the name.
    EXPECT_TRUE(endsWithHash(articles::articleFileName(std::string("x\xFFy")), "x\xEF\xBF\xBDy"));
    // 150 Chinese characters are 450 bytes in UTF-8: shortened at a character boundary to fit 255 bytes.
    std::string longTitle;
    for (int i = 0; i < 150; ++i)
        longTitle += gbk("豬");
    const std::string name = articles::articleFileName(longTitle);
    EXPECT_LE(name.size(), 255u);
    std::string kept;
    for (int i = 0; i < 80; ++i)
        kept += "豬";
    EXPECT_TRUE(endsWithHash(name, kept)) << name;
}

// Titles that the rule changes into the same name stay apart; the very same title still names one file.
TEST(ArticleFileName, DistinctTitlesNeverShareAFile)
{
    std::string prefix;
    for (int i = 0; i < 125; ++i)
        prefix += gbk("豬");
    const std::vector<std::pair<Text, Text>> pairs = {
        {"a/b", gbk("a／b")},
        {prefix + "a", prefix + "b"},
        {std::string("\x80\x80"), std::string("\xff\xff")},
        {std::string("x\0y", 3), "xy"},
        {std::string("\x01\x02"), std::string("\x03")},
    };
    for (const auto& [first, second] : pairs)
        EXPECT_NE(articles::articleFileName(first), articles::articleFileName(second)) << testing_support::utf8(first);
    EXPECT_EQ(articles::articleFileName("a/b"), articles::articleFileName("a/b"));
    EXPECT_EQ(articles::articleFileName(gbk("a／b")), "a／b.txt");
}

TEST(LoadPageArticles, StoresEveryArticleOnceAndSkipsStoredOnes)
{
    SampleServer sample;
    const SiteAccessor site(sample.environment());
    Catalog catalog;
    ASSERT_EQ(site.loadCatalog(2, catalog), 20);
    EXPECT_EQ(site.loadPageArticles(catalog), 20);
    EXPECT_EQ(sample.articleRequests(), 20);
    const auto expected = sample.site.articlesOfPage(2);
    for (int i = 1; i <= 20; ++i) {
        const sample::SampleArticle& article = expected[static_cast<std::size_t>(i - 1)];
        const CatalogEntry entry = catalog.entryCopy(i);
        EXPECT_EQ(entry.body, article.body);
        EXPECT_EQ(entry.author, gbk("作者未知"));
        EXPECT_EQ(entry.fileText, "");
        EXPECT_EQ(platform::readWholeFile(site.articleFilePath(article.title)).value(),
                  article.title + "\r\n" + article.date + "\r\n" + gbk("作者未知") + "\r\n" + article.body + "\r\n" +
                      article.disclaimer);
    }
    // A second load downloads nothing and changes nothing.
    Catalog reloaded;
    ASSERT_EQ(site.loadCatalog(2, reloaded), 20);
    const auto filesBefore = sample.store.files();
    EXPECT_EQ(site.loadPageArticles(reloaded), 20);
    EXPECT_EQ(sample.articleRequests(), 20);
    EXPECT_EQ(sample.store.files(), filesBefore);
    EXPECT_EQ(reloaded.entryCopy(1).body, "");
}

TEST(LoadPageArticles, SharedTitlesEmptyFilesAndFailures)
{
    testing_support::FaultServer server;
    ScratchFolder store;
    const SiteAccessor site({testing_support::quickDownload, store.path(), server.baseAddress()});
    server.setPage("/1.html", gbk("【导读】x...正文"));
    Catalog catalog;
    catalog.replaceAll({{"same", "", "2024-1-1", "", "", "/1.html", ""},
                        {"same", "", "2024-1-1", "", "", "/2.html", ""},
                        {"missing", "", "2024-1-1", "", "", "/fault/404", ""},
                        {"stored-empty", "", "2024-1-1", "", "", "/1.html", ""}});
    // An empty file at the title's name says nothing of whose it is: it is left alone, and the article is stored
    // under a name of its own.
    const platform::Path empty = platform::joinPath(site.categoryFolder(), "stored-empty.txt");
    ASSERT_TRUE(platform::writeWholeFile(empty, ""));
    EXPECT_EQ(site.loadPageArticles(catalog), 3);
    EXPECT_EQ(server.requestCount("/1.html"), 2);
    EXPECT_EQ(server.requestCount("/2.html"), 0);
    EXPECT_EQ(platform::readWholeFile(empty).value(), "");
    EXPECT_TRUE(platform::readWholeFile(site.articleFilePath("stored-empty")).value().starts_with("stored-empty\r\n"));
    EXPECT_FALSE(platform::exists(site.articleFilePath("missing")));
    EXPECT_EQ(catalog.entryCopy(3).body, "");

    Catalog none;
    none.clear();
    EXPECT_EQ(site.loadPageArticles(none), -1);
}

// Titles that meet in one file name: two long titles whose shortened names and eight-digit hashes agree (found here
// by trying tails), and a title that spells out another's changed name. Each article gets a file of its own, says
// whose it is in its first line, and is shown as itself; a second load finds all of them stored.
TEST(LoadPageArticles, TitlesThatMeetInOneNameEachKeepTheirOwnArticle)
{
    std::string prefix;
    for (int i = 0; i < 150; ++i)
        prefix += gbk("豬");
    std::unordered_map<std::string, Text> byName;
    Text first, second;
    for (int tail = 0; second.empty() && tail < 4'000'000; ++tail) {
        const Text title = prefix + std::to_string(tail);
        const auto [at, inserted] = byName.emplace(articles::articleFileName(title), title);
        if (!inserted)
            first = at->second, second = title;
    }
    ASSERT_FALSE(second.empty());
    const Text slashed = "a/b";
    const std::string slashedName = articles::articleFileName(slashed);
    const Text spelled = platform::gbk::fromUtf8(slashedName.substr(0, slashedName.size() - 4));
    ASSERT_EQ(articles::articleFileName(spelled), slashedName);

    testing_support::FaultServer server;
    ScratchFolder store;
    const SiteAccessor site({testing_support::quickDownload, store.path(), server.baseAddress()});
    const std::vector<Text> titles{first, second, slashed, spelled};
    std::vector<CatalogEntry> entries;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const std::string path = "/" + std::to_string(i) + ".html";
        server.setPage(path, gbk("【导读】x...第" + std::to_string(i) + "篇正文"));
        entries.push_back({titles[i], "", "2024-1-1", "", "", path, ""});
    }
    Catalog catalog;
    catalog.replaceAll(entries);
    EXPECT_EQ(site.loadPageArticles(catalog), 4);
    std::set<platform::Path> paths;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const articles::ArticleOutcome outcome = articles::obtainArticle(site, catalog, static_cast<int>(i) + 1, {});
        EXPECT_TRUE(outcome.stored && !outcome.downloaded) << i;
        EXPECT_TRUE(outcome.content.starts_with(titles[i] + "\r\n")) << i;
        EXPECT_NE(outcome.content.find(gbk("第" + std::to_string(i) + "篇")), std::string::npos) << i;
        paths.insert(outcome.path);
    }
    EXPECT_EQ(paths.size(), 4u);
    // Stored under today's names, or under names of their own: none is downloaded again.
    Catalog again;
    again.replaceAll(entries);
    EXPECT_EQ(site.loadPageArticles(again), 4);
    for (std::size_t i = 0; i < titles.size(); ++i)
        EXPECT_EQ(server.requestCount("/" + std::to_string(i) + ".html"), 1) << i;
}

TEST(LoadPageArticles, FailedWriteIsNotCounted)
{
    testing_support::FaultServer server;
    ScratchFolder store;
    const SiteAccessor site({testing_support::quickDownload, store.path(), server.baseAddress()});
    server.setPage("/1.html", "text");
    Catalog catalog;
    catalog.replaceAll({{"a", "", "", "", "", "/1.html", ""}});
    // The category folder is gone while the load runs.
    std::filesystem::remove_all(std::filesystem::path(site.rootFolder()));
    EXPECT_EQ(site.loadPageArticles(catalog), 0);
}

// The entry pattern's optional spaces and counted digits make the engine step back, so a tiny limit stops it.
TEST(ExtractListingEntries, PageTheEngineGivesUpOnYieldsNoEntries)
{
    std::vector<CatalogEntry> entries;
    const Text page = gbk("<li class=\"catlist_li\"><span class=\"r\">2024-1-2</span><a href=\"/a.html\" "
                          "target=\"_blank\" title=\"t\">t</a></li>");
    matching::setMatchLimit(1);
    const int listed = site::extractListingEntries(page, entries);
    matching::setMatchLimit(0);
    EXPECT_EQ(listed, site::ListingSearchFailed);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(site::extractListingEntries(page, entries), 1);
}

// The lead-in is found with plain text searches; the pattern it stands for is the reference.
TEST(FindLeadIn, FindsWhatTheLeadInPatternFinds)
{
    const std::string pieces[] = {gbk("【导读】"), "...", ".", "\n", "\r\n", "a", gbk("豬"), "\xA1", "\xD8", gbk("】"), " "};
    std::mt19937 random(4);
    matching::PatternMatcher matcher;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (std::size_t k = random() % 24; k > 0; --k)
            text += pieces[random() % std::size(pieces)];
        const auto expected = matcher.findFirst(text, site::leadInPattern());
        const auto found = articles::findLeadIn(text);
        ASSERT_EQ(found.has_value(), expected.has_value()) << text;
        if (expected) {
            ASSERT_EQ(*found, std::make_pair(expected->offset, expected->length)) << text;
        }
    }
}
