// Search and export over a filled store: no network needed.
#include "app/command.h"

#include "articles/article_file.h"
#include "command_capture.h"
#include "platform/zip_file.h"
#include "support/system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

using testing_support::gbk;
using testing_support::SampleServer;
using testing_support::utf8;

namespace {

using Output = testing_support::CommandOutput;

// A book's entries as the program reads them back; where the system has unzip, its list of them must agree.
std::vector<platform::ZipEntry> entriesOf(const std::string& book)
{
    auto entries = platform::readZipFile(book);
    EXPECT_TRUE(entries) << book << ": " << entries.error();
    if (!entries)
        return {};
    if (const auto listed = testing_support::shell("unzip -Z1 '" + book + "'")) {
        std::string names;
        for (const platform::ZipEntry& entry : *entries)
            names += entry.name + "\n";
        EXPECT_TRUE(listed->succeeded) << "unzip is not installed";
        EXPECT_EQ(listed->out, names);
    }
    return std::move(*entries);
}

std::string entry(const std::vector<platform::ZipEntry>& entries, const std::string& name)
{
    for (const platform::ZipEntry& each : entries)
        if (each.name == name)
            return each.bytes;
    ADD_FAILURE() << "no entry " << name;
    return {};
}

// epubcheck's verdict, where the system has it (not under Windows).
void expectEpubcheckPasses(const std::string& book)
{
    const auto report = testing_support::shell("java -jar /usr/share/java/epubcheck.jar '" + book + "' 2>&1");
    if (!report)
        return;
    if (report->out.find("Messages:") == std::string::npos)
        GTEST_SKIP() << "epubcheck is not installed (scripts/test installs it)";
    EXPECT_TRUE(report->succeeded) << report->out;
    EXPECT_NE(report->out.find("0 fatals / 0 errors / 0 warnings"), std::string::npos) << report->out;
}

struct LibraryFixture : ::testing::Test {
    SampleServer sample;
    SiteEnvironment offline = [this] {
        SiteEnvironment environment = sample.environment();
        environment.siteAddress = "http://127.0.0.1:1"; // nothing is downloaded: any attempt would fail
        return environment;
    }();

    void SetUp() override { ASSERT_EQ(run(sample.environment(), {"archive"}).code, 0); }

    Output run(const SiteEnvironment& environment, std::vector<std::string> arguments, bool json = false,
               const std::string& epub = {}, const std::string& text = {})
    {
        platform::CommandLine line;
        line.arguments = std::move(arguments);
        line.json = json;
        line.epubFile = epub;
        line.textFolder = text;
        return testing_support::runCapturing(line, environment);
    }
    Output search(std::vector<std::string> words, bool json = false)
    {
        words.insert(words.begin(), "search");
        return run(offline, std::move(words), json);
    }
};

} // namespace

using Library = LibraryFixture;

TEST_F(Library, SearchFindsSimplifiedAndTraditionalAlikeAndNeverInsideACharacter)
{
    sample.server.resetCounts();
    // The articles write 母猪 (Simplified); the category's name writes 母豬 (Traditional).
    const Output simplified = search({"母猪"});
    const Output traditional = search({"母豬"});
    EXPECT_EQ(simplified.code, 0);
    EXPECT_FALSE(simplified.out.empty());
    EXPECT_EQ(traditional.out, simplified.out);
    EXPECT_NE(simplified.out.find("«母猪»"), std::string::npos);
    // 豬 is D8 69: "i" must not match its trail byte; a word split across two characters is no match either.
    const Text title = gbk("豬場記錄");
    const SiteAccessor site(sample.environment());
    ASSERT_TRUE(platform::writeWholeFile(site.articleFilePath(title), title + "\r\n2025-1-1\r\n" + gbk("作者未知") +
                                                                          "\r\n" + gbk("豬豬") + "\r\n"));
    EXPECT_EQ(search({"i"}).code, 1);
    // String 豬豬 is D8 69 D8 69: the bytes 69 D8 stand across the two characters.
    EXPECT_EQ(search({std::string("i\xd8")}).code, 1);
    // A Simplified character with two Traditional forms finds both: 发 is 發 (to send) and 髮 (hair).
    const Text hair = gbk("護髮須知");
    ASSERT_TRUE(platform::writeWholeFile(site.articleFilePath(hair), hair + "\r\n2025-1-2\r\n" + gbk("作者未知") +
                                                                         "\r\n" + gbk("頭髮") + "\r\n"));
    EXPECT_NE(search({"头发"}).out.find("護髮須知"), std::string::npos);
    EXPECT_EQ(sample.server.totalRequests(), 0);
}

TEST_F(Library, SearchOrdersByHitsThenDateAndGivesTheFields)
{
    const Output several = search({"母猪", "产"});
    ASSERT_EQ(several.code, 0);
    // Every line pair: title, date, page, hits; then the context.
    int lastHits = 1 << 30;
    std::size_t line = 0;
    for (std::size_t at = 0; at < several.out.size(); ++line) {
        const std::size_t end = several.out.find('\n', at);
        const std::string text = several.out.substr(at, end - at);
        at = end + 1;
        if (line % 2 == 1) {
            EXPECT_TRUE(text.starts_with("\t")) << text;
            EXPECT_NE(text.find("«"), std::string::npos) << text;
            continue;
        }
        const std::size_t lastTab = text.rfind('\t');
        const int hits = std::stoi(text.substr(lastTab + 1));
        EXPECT_LE(hits, lastHits);
        lastHits = hits;
    }
    const Output json = search({"母猪", "产"}, true);
    EXPECT_TRUE(json.out.starts_with("{\"words\":[\"母猪\",\"产\"],\"results\":[{\"title\":\""));
    EXPECT_NE(json.out.find("\"page\":"), std::string::npos);
    EXPECT_NE(json.out.find("\"hits\":"), std::string::npos);
    EXPECT_NE(json.out.find("\"context\":"), std::string::npos);
    // A hit's page and entry lead to `show PAGE ENTRY`, which shows that very article.
    const std::size_t titleAt = json.out.find("\"title\":\"") + 9;
    const std::string title = json.out.substr(titleAt, json.out.find('"', titleAt) - titleAt);
    int page = 0, entry = 0;
    ASSERT_EQ(std::sscanf(json.out.c_str() + json.out.find("\"page\":"), "\"page\":%d,\"entry\":%d", &page, &entry), 2);
    EXPECT_TRUE(run(offline, {"show", std::to_string(page), std::to_string(entry)}).out.starts_with(title + "\n"));

    EXPECT_EQ(search({"母猪", "zzzz"}).code, 1);
    EXPECT_EQ(run(offline, {"search"}).code, 2);
    // An article no saved listing page lists has "-" for its page.
    const SiteAccessor site(sample.environment());
    platform::removeRegularFile(site.listingFilePath(2));
    const auto articles = sample.site.articlesOfPage(2);
    const Output unlisted = search({utf8(articles[0].title)});
    EXPECT_NE(unlisted.out.find(utf8(articles[0].title) + "\t" + articles[0].date + "\t-\t"), std::string::npos)
        << unlisted.out;
}

TEST_F(Library, HostileTitlesNeitherBreakTheSearchNorTheBook)
{
    const SiteAccessor site(sample.environment());
    // U+FFFF and U+FFFE, which XML does not allow, come through GB18030 four-byte codes.
    const Text hostile = std::string("<b>&amp;\x01\x1b[31m") + "\x80\xff\x84\x31\xA4\x39\x84\x31\xA4\x38" + gbk("豬");
    const Text body = std::string("<script>alert(1)</script> & \x02 ") + gbk("豬豬母猪");
    ASSERT_TRUE(platform::writeWholeFile(site.articleFilePath(hostile),
                                         hostile + "\r\n2025-2-2\r\n" + gbk("作者未知") + "\r\n" + body + "\r\n"));
    // It is listed on a saved listing page, so the book takes it.
    ByteSet listing = platform::readWholeFile(site.listingFilePath(1)).value();
    const std::string item = "<li class=\"catlist_li\"><span class=\"r\">2025-2-2</span><a href=\"/x.html\" "
                             "target=\"_blank\" title=\"" + hostile + "\">t</a></li>";
    listing.insert(listing.find("<li class=\"catlist_li\">"), item);
    // A title of nothing but control characters still names its chapter.
    const Text blank = "\x01\x02\x1f";
    ASSERT_TRUE(platform::writeWholeFile(site.articleFilePath(blank),
                                         blank + "\r\n2025-2-3\r\n" + gbk("作者未知") + "\r\n" + gbk("空題") + "\r\n"));
    listing.insert(listing.find("<li class=\"catlist_li\">"),
                   "<li class=\"catlist_li\"><span class=\"r\">2025-2-3</span><a href=\"/y.html\" target=\"_blank\" "
                   "title=\"" + blank + "\">t</a></li>");
    ASSERT_TRUE(platform::writeWholeFile(site.listingFilePath(1), listing));
    // A date line with a bare line feed in it stays the article's date.
    const Text odd = gbk("日期怪異");
    ASSERT_TRUE(platform::writeWholeFile(site.articleFilePath(odd),
                                         odd + "\r\n20\n25-3-3\r\n" + gbk("作者未知") + "\r\n" + gbk("豬豬") + "\r\n"));
    const Output found = search({"豬豬"});
    EXPECT_EQ(found.code, 0);
    EXPECT_EQ(found.out.find('\x1b'), std::string::npos);
    EXPECT_NE(found.out.find("日期怪異\t20\\x0a25-3-3\t-\t"), std::string::npos) << found.out;

    testing_support::ScratchFolder out;
    const std::string book = out.path() + "/hostile.epub";
    EXPECT_EQ(run(offline, {"export"}, false, book).code, 0);
    EXPECT_NE(entry(entriesOf(book), "OEBPS/chapter-0001.xhtml").find("<title>（無題）</title>"), std::string::npos);
    expectEpubcheckPasses(book);
}

TEST_F(Library, TheBookHoldsEveryStoredArticleInListingOrderAndPassesEpubcheck)
{
    testing_support::ScratchFolder out;
    const std::string book = out.path() + "/book.epub";
    Output output = run(offline, {"export"}, false, book);
    EXPECT_EQ(output.code, 0) << output.err;
    const std::vector<platform::ZipEntry> entries = entriesOf(book);
    ASSERT_FALSE(entries.empty());
    // The first entry is the mimetype, stored uncompressed.
    EXPECT_EQ(entries.front().name, "mimetype");
    EXPECT_EQ(entries.front().bytes, "application/epub+zip");
    EXPECT_FALSE(entries.front().compressed);
    // It says what it is: the Traditional name, Simplified bodies, where the articles come from, and a table of
    // contents for older readers too.
    const std::string package = entry(entries, "OEBPS/content.opf");
    for (const std::string& part :
         std::vector<std::string>{"<dc:title xml:lang=\"zh-Hant\">母豬養殖技術</dc:title>", "<dc:language>zh-Hans</dc:language>",
          "<dc:source>" + offline.siteAddress + "/303/index.html</dc:source>", "properties=\"cover-image\"",
          "<spine toc=\"ncx\">"})
        EXPECT_NE(package.find(part), std::string::npos) << part << "\n" << package;
    entry(entries, "OEBPS/toc.ncx");
    // Chapter n is the n-th article in listing order, its paragraphs the article's body lines in UTF-8, indented
    // by the style sheet instead of their leading spaces.
    const auto first = sample.site.articlesOfPage(1)[0];
    const std::string chapter = entry(entries, "OEBPS/chapter-0001.xhtml");
    EXPECT_NE(chapter.find("<h1>" + utf8(first.title) + "</h1>"), std::string::npos);
    EXPECT_NE(chapter.find("<p class=\"date\">" + first.date + "</p>"), std::string::npos);
    const std::string lastTitle = utf8(sample.site.articlesOfPage(3).back().title);
    EXPECT_NE(entry(entries, "OEBPS/chapter-0058.xhtml").find(lastTitle), std::string::npos);
    const std::string body = utf8(first.body);
    for (std::size_t start = 0; start < body.size();) {
        std::size_t end = body.find("\r\n", start);
        end = end == std::string::npos ? body.size() : end;
        std::string line = body.substr(start, end - start);
        while (line.starts_with("\u3000"))
            line.erase(0, 3);
        if (!line.empty()) {
            EXPECT_NE(chapter.find("<p>" + line + "</p>"), std::string::npos) << line;
        }
        start = end + 2;
    }
    expectEpubcheckPasses(book);
}

TEST_F(Library, APartialStoreGivesAPartialBookAndTextCopiesMatchIconv)
{
    const SiteAccessor site(sample.environment());
    const auto articles = sample.site.articlesOfPage(2);
    platform::removeRegularFile(site.articleFilePath(articles[4].title));
    // A folder whose name no single-byte code page holds.
    testing_support::ScratchFolder out;
    std::filesystem::create_directory(std::filesystem::u8path(out.path() + "/書架"));
    const std::string book = out.path() + "/書架/partial.epub";
    Output output = run(offline, {"export", "2-3"}, false, book);
    EXPECT_EQ(output.code, 4);
    EXPECT_NE(output.err.find("varnholt: not stored, left out: " + utf8(articles[4].title) + " (page 2)\n"),
              std::string::npos);
    EXPECT_NE(entry(entriesOf(book), "OEBPS/content.opf").find(">母豬養殖技術 第2–3頁</dc:title>"),
              std::string::npos);
    // Nothing but the book is left in its folder.
    EXPECT_EQ(out.files(), std::vector<std::string>{"書架/partial.epub"});

    // A book in a folder that does not exist: nothing written, exit 6.
    output = run(offline, {"export"}, false, out.path() + "/missing/book.epub");
    EXPECT_EQ(output.code, 6);

    const std::string folder = out.path() + "/text";
    output = run(offline, {"export", "3"}, false, {}, folder);
    EXPECT_EQ(output.code, 0) << output.err;
    const auto page3 = sample.site.articlesOfPage(3);
    for (const sample::SampleArticle& article : page3) {
        const std::string name = articles::articleFileName(article.title);
        const std::string copy = platform::readWholeFile(folder + "/" + name).value_or("(missing)");
        EXPECT_TRUE(copy.starts_with(utf8(article.title) + "\n")) << name;
        EXPECT_EQ(copy.find('\r'), std::string::npos) << name;
        const auto converted =
            testing_support::shell("iconv -f GBK -t UTF-8 '" + site.articleFilePath(article.title) + "' | sed 's/\\r$//'");
        if (converted) {
            ASSERT_TRUE(converted->succeeded);
            EXPECT_EQ(copy, converted->out) << name;
        }
    }
    EXPECT_EQ(run(offline, {"export"}, false, {}, {}).code, 2);
    EXPECT_EQ(run(offline, {"export", "9"}, false, out.path() + "/none.epub").code, 1);
}

TEST_F(Library, WhatStandsAtAStorePathIsNeitherFollowedNorReplaced)
{
    const SiteAccessor site(sample.environment());
    // A FIFO at the saved index page and a link to an endless device at page 2 (folders, where the system has
    // neither): the offline reader must not wait on the one or read the other.
    platform::removeRegularFile(site.listingFilePath(1));
    testing_support::makeNonRegularFile(site.listingFilePath(1));
    platform::removeRegularFile(site.listingFilePath(2));
    if (!testing_support::linkToEndlessDevice(site.listingFilePath(2)))
        testing_support::makeNonRegularFile(site.listingFilePath(2));
    EXPECT_EQ(run(offline, {"counts"}).code, 3);
    const Output page = run(offline, {"page", "2"});
    EXPECT_EQ(page.code, 3);
    EXPECT_NE(page.err.find("listing page 2 could not be loaded: no saved copy with entries"), std::string::npos);

    // An export never replaces a FIFO at its target, and clears what a killed export left beside it.
    testing_support::ScratchFolder out;
    const std::string fifo = out.path() + "/book.epub";
    testing_support::makeNonRegularFile(fifo);
    const std::string stale = out.path() + "/.vh-zip-old.epub.part";
    ASSERT_TRUE(platform::writeWholeFile(stale, "half a book"));
    std::filesystem::last_write_time(stale, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    const Output exported = run(offline, {"export", "3"}, false, fifo);
    EXPECT_EQ(exported.code, 6);
    EXPECT_NE(exported.err.find("book.epub: exists and is not a regular file"), std::string::npos) << exported.err;
    EXPECT_TRUE(std::filesystem::exists(fifo));
    EXPECT_FALSE(std::filesystem::is_regular_file(fifo));
    EXPECT_FALSE(std::filesystem::exists(stale));
}

TEST_F(Library, RepeatedWordsAreSearchedOnceAndTheirNumberIsBounded)
{
    const Output once = search({"母猪"});
    ASSERT_EQ(once.code, 0);
    std::vector<std::string> repeated(100, "母猪");
    repeated.push_back("母豬");
    const Output many = search(repeated, true);
    EXPECT_EQ(many.code, 0);
    EXPECT_TRUE(many.out.starts_with("{\"words\":[\"母猪\"],")) << many.out.substr(0, 80);
    EXPECT_EQ(search(repeated).out, once.out);
    std::vector<std::string> different;
    for (int i = 0; i < 17; ++i)
        different.push_back(std::string("w").append(std::to_string(i)));
    const Output tooMany = search(different);
    EXPECT_EQ(tooMany.code, 2);
    EXPECT_NE(tooMany.err.find("search takes one to sixteen different words"), std::string::npos);
}
