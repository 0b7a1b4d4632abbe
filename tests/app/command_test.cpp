// The commands against the sample site: outputs, exit codes, what they download, and usage errors.
#include "app/command.h"

#include "app/commands/output.h"
#include "app/store.h"
#include "library/search.h"
#include "site/address.h"
#include "site/site_texts.h"

#include "platform/http_client.h"
#include "support/fault_server.h"
#include "command_capture.h"
#include "platform/user_folders.h"
#include "support/system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#ifdef __linux__
#include <sys/mount.h>
#include <unistd.h>
#endif
#include <cstdio>
#include <filesystem>

using testing_support::SampleServer;
using testing_support::utf8;

namespace {

using Output = testing_support::CommandOutput;
using testing_support::readAllAndClose;

struct CommandFixture : ::testing::Test {
    SampleServer sample;

    Output run(std::vector<std::string> arguments, bool json = false, int retries = 2)
    {
        return runAt(sample.environment(), std::move(arguments), json, retries);
    }

    Output runAt(const SiteEnvironment& environment, std::vector<std::string> arguments, bool json = false,
                 int retries = 2)
    {
        platform::CommandLine line;
        line.arguments = std::move(arguments);
        line.json = json;
        line.retries = retries;
        return testing_support::runCapturing(line, environment);
    }
};

} // namespace

using Command = CommandFixture;

TEST_F(Command, CountsPrintsBothNumbers)
{
    Output output = run({"counts"});
    EXPECT_EQ(output.code, 0);
    EXPECT_EQ(output.out, "pages: 3\nentries: 58\n");
    EXPECT_EQ(run({"counts"}, true).out, "{\"pages\":3,\"entries\":58,\"source\":\"network\"}\n");
    sample.server.setStatus("/303/index.html", 404);
    output = run({"counts"});
    EXPECT_EQ(output.code, 3);
    EXPECT_EQ(output.out, "pages: -1\nentries: -1\n");

    // With --json a failure is one object that says what failed and the exit code, beside the result or alone.
    EXPECT_TRUE(run({"counts"}, true).out.ends_with(
        "\"error\":\"the site or a listing could not be read\",\"exit\":3}\n"));
    EXPECT_EQ(run({"page", "1"}, true).out, "{\"error\":\"the site or a listing could not be read\",\"exit\":3}\n");
    output = run({"page", "x"}, true);
    EXPECT_EQ(output.code, 2);
    EXPECT_EQ(output.out, "{\"error\":\"page takes one page number, a positive whole number\",\"exit\":2}\n");
}

TEST_F(Command, PageStoresEveryArticleAndListsThem)
{
    Output output = run({"page", "2"});
    EXPECT_EQ(output.code, 0);
    const auto articles = sample.site.articlesOfPage(2);
    std::string expected;
    for (std::size_t i = 0; i < articles.size(); ++i)
        expected += std::to_string(i + 1) + "\t" + articles[i].date + "\t" + utf8(articles[i].title) + "\tdownloaded\n";
    EXPECT_EQ(output.out, expected);
    EXPECT_EQ(sample.articleRequests(), 20);

    // Stored ones are not downloaded again; one that fails is reported and sets exit code 4.
    sample.server.setStatus(articles[3].path, 404);
    const SiteAccessor site(sample.environment());
    platform::removeRegularFile(site.articleFilePath(articles[3].title));
    output = run({"page", "2"}, true);
    EXPECT_EQ(output.code, 4);
    EXPECT_EQ(sample.articleRequests(), 21);
    // With the link resolved as it was downloaded, and the date in ISO form.
    int year = 0, month = 0, day = 0;
    ASSERT_EQ(std::sscanf(articles[3].date.c_str(), "%d-%d-%d", &year, &month, &day), 3);
    char iso[32];
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", year, month, day);
    EXPECT_NE(output.out.find("{\"number\":4,\"date\":\"" + articles[3].date + "\",\"title\":\"" +
                              utf8(articles[3].title) + "\",\"href\":\"" + utf8(articles[3].href) +
                              "\",\"state\":\"failed\",\"address\":\"" + sample.server.baseAddress() +
                              articles[3].path + "\",\"isoDate\":\"" + iso + "\"}"),
              std::string::npos)
        << output.out;
    EXPECT_EQ(run({"page", "9"}).code, 3);
}

TEST_F(Command, ShowPrintsTheArticleAndReadsStoredOnesWithoutARequest)
{
    const sample::SampleArticle article = sample.site.articlesOfPage(1)[1];
    Output output = run({"show", "1", "2"});
    EXPECT_EQ(output.code, 0);
    EXPECT_TRUE(output.out.starts_with(utf8(article.title) + "\n" + article.date + "\n作者未知\n"));
    EXPECT_TRUE(output.out.ends_with(utf8(article.disclaimer) + "\n"));
    EXPECT_EQ(sample.articleRequests(), 1);
    EXPECT_EQ(run({"show", "1", "2"}).out, output.out);
    EXPECT_EQ(sample.articleRequests(), 1);

    // An entry beyond the page's last is said as it is.
    output = run({"show", "1", "99"});
    EXPECT_EQ(output.code, 1);
    EXPECT_EQ(output.err, "varnholt: page 1 has 20 entries\n");
}

TEST_F(Command, ArchiveStoresEverythingOnceAndResumes)
{
    Output output = run({"archive"}, true);
    EXPECT_EQ(output.code, 0);
    EXPECT_EQ(sample.articleRequests(), 58);
    EXPECT_NE(output.out.find("\"pages\":3,\"pagesFailed\":0,\"entries\":58,\"storedBefore\":0,\"downloaded\":58,"
                              "\"failed\":0"),
              std::string::npos);
    EXPECT_NE(output.err.find("page 2/3: 20 entries, 0 stored before, 20 downloaded, 0 failed\n"), std::string::npos);

    output = run({"archive", "2-3"});
    EXPECT_EQ(output.code, 0);
    EXPECT_EQ(sample.articleRequests(), 58);
    EXPECT_NE(output.err.find("done: pages 2 (failed 0), entries 38, stored before 38, downloaded now 0, "
                              "failed articles 0, not attempted 0"),
              std::string::npos);
}

TEST_F(Command, PassingFailuresAreRetriedAndNotFoundIsNot)
{
    const auto articles = sample.site.articlesOfPage(3);
    sample.server.setFailures(articles[0].path, 2, 503);
    sample.server.setFailures(articles[1].path, 1, 429);
    sample.server.setFailures(articles[2].path, 5, 404);
    const Output output = run({"page", "3"});
    EXPECT_EQ(output.code, 4);
    EXPECT_EQ(sample.server.requestCount(articles[0].path), 3);
    EXPECT_EQ(sample.server.requestCount(articles[1].path), 2);
    EXPECT_EQ(sample.server.requestCount(articles[2].path), 1);
    EXPECT_NE(output.out.find("\t" + utf8(articles[0].title) + "\tdownloaded\n"), std::string::npos);
    EXPECT_NE(output.out.find("\t" + utf8(articles[2].title) + "\tfailed\n"), std::string::npos);

    // Without retries a passing failure is a failure.
    sample.server.setFailures(articles[2].path, 1, 503);
    EXPECT_EQ(run({"page", "3"}, false, 0).code, 4);
    EXPECT_EQ(run({"page", "3"}, false, 0).code, 0);
}

TEST_F(Command, UsageErrorsExitTwoWithHelp)
{
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"fetch"}, {"page"}, {"page", "0"}, {"page", "x"}, {"page", "1", "2"}, {"show", "1"},
             {"archive", "3-2"}, {"archive", "a-b"}, {"archive", "1-"}, {"counts", "1"}}) {
        const Output output = run(words);
        EXPECT_EQ(output.code, 2) << words.front();
        EXPECT_TRUE(output.err.starts_with("varnholt: ")) << words.front();
        EXPECT_NE(output.err.find("Usage: varnholt"), std::string::npos);
    }
    EXPECT_EQ(sample.server.totalRequests(), 0);
}

// With a filled store, the commands read the saved listings when the site refuses connections or never answers.
TEST_F(Command, WithTheSiteGoneTheSavedListingsServeAndSaySo)
{
    ASSERT_EQ(run({"archive"}).code, 0);
    const auto articles = sample.site.articlesOfPage(2);
    platform::LocalServer blackHole;
    for (const char* path : {"/303/index.html", "/303/2.html", "/303/3.html"})
        blackHole.setStreamedRoute(path, {std::chrono::seconds(5), 0, {}});
    for (const std::string& site : {std::string("http://127.0.0.1:1"), blackHole.baseAddress()}) {
        SCOPED_TRACE(site);
        SiteEnvironment gone = sample.environment();
        gone.siteAddress = site;
        const std::string reason = site.ends_with(":1") ? "connection refused" : "timed out";

        Output output = runAt(gone, {"counts"}, false, 0);
        EXPECT_EQ(output.code, 0);
        EXPECT_EQ(output.out, "pages: 3\nentries: 58\n");
        // The failed download, then what was done instead.
        EXPECT_TRUE(output.err.starts_with("varnholt: " + site + "/303/index.html: " + reason)) << output.err;
        EXPECT_NE(output.err.find("\nvarnholt: site unreachable (" + reason), std::string::npos) << output.err;
        EXPECT_NE(output.err.find("); using listing page 1 as saved 20"), std::string::npos) << output.err;

        output = runAt(gone, {"page", "2"}, true, 0);
        EXPECT_EQ(output.code, 0);
        EXPECT_NE(output.out.find("{\"page\":2,\"source\":\"stored\",\"entries\":[{\"number\":1,"), std::string::npos);
        EXPECT_NE(output.out.find("\"title\":\"" + utf8(articles[19].title) + "\",\"href\":\"" +
                                  utf8(articles[19].href) + "\",\"state\":\"stored\","),
                  std::string::npos);
        EXPECT_NE(output.err.find("using listing page 2 as saved"), std::string::npos);

        output = runAt(gone, {"show", "2", "3"}, false, 0);
        EXPECT_EQ(output.code, 0);
        EXPECT_TRUE(output.out.starts_with(utf8(articles[2].title) + "\n")) << output.err;
    }
    // A listing never saved names the cause.
    SiteEnvironment gone = sample.environment();
    gone.siteAddress = "http://127.0.0.1:1";
    const SiteAccessor site(sample.environment());
    platform::removeRegularFile(site.listingFilePath(3));
    const Output output = runAt(gone, {"page", "3"}, false, 0);
    EXPECT_EQ(output.code, 3);
    EXPECT_EQ(output.err, "varnholt: http://127.0.0.1:1/303/3.html: connection refused\n"
                          "varnholt: listing page 3 could not be loaded: no saved copy with entries\n");
}

TEST_F(Command, APageThatIsNotTheArticleIsNeverStored)
{
    const auto articles = sample.site.articlesOfPage(2);
    // A login portal that starts mid-run answers articles 4 to 6 with a redirect to its own host; article 7 is a
    // "no such article" page served as 200.
    platform::LocalServer portal;
    portal.setPage("/login", testing_support::gbk("<html><body>请登录后上网</body></html>"));
    for (std::size_t i = 3; i < 6; ++i)
        sample.server.setRedirect(articles[i].path, "http://localhost:" + std::to_string(portal.port()) + "/login");
    sample.server.setPage(articles[6].path, testing_support::gbk("<html><body>您访问的文章不存在或已被删除</body></html>"));
    const Output portalRun = run({"page", "2"});
    EXPECT_EQ(portalRun.code, 4);
    for (std::size_t i = 3; i < 7; ++i)
        EXPECT_NE(portalRun.out.find("\t" + utf8(articles[i].title) + "\tfailed\n"), std::string::npos) << i;
    EXPECT_NE(portalRun.err.find(articles[3].path + ": redirected off the site, to localhost\n"), std::string::npos)
        << portalRun.err;
    EXPECT_NE(portalRun.err.find(articles[6].path + ": not an article page\n"), std::string::npos) << portalRun.err;
    EXPECT_EQ(portal.totalRequests(), 0);
    const SiteAccessor site(sample.environment());
    for (std::size_t i = 3; i < 7; ++i)
        EXPECT_EQ(platform::fileKind(site.articleFilePath(articles[i].title)), platform::FileKind::Missing) << i;
    const Output shown = run({"show", "2", "7"});
    EXPECT_EQ(shown.code, 1);
    EXPECT_NE(shown.err.find("not an article page"), std::string::npos) << shown.err;

    // The network is back: the next run stores the real articles.
    sample.site.serveOn(sample.server);
    const Output back = run({"page", "2"});
    EXPECT_EQ(back.code, 0) << back.err;
    for (std::size_t i = 3; i < 7; ++i)
        EXPECT_NE(back.out.find("\t" + utf8(articles[i].title) + "\tdownloaded\n"), std::string::npos) << i;
}

TEST_F(Command, PageTellsWhatBecameOfEachEntry)
{
    const auto articles = sample.site.articlesOfPage(3);
    const SiteAccessor site(sample.environment());
    ASSERT_TRUE(platform::writeWholeFile(site.articleFilePath(articles[0].title), articles[0].title + "\r\nkept"));
    sample.server.setStatus(articles[1].path, 404);
    const Output output = run({"page", "3"});
    EXPECT_EQ(output.code, 4);
    EXPECT_NE(output.out.find("1\t" + articles[0].date + "\t" + utf8(articles[0].title) + "\tstored\n"),
              std::string::npos);
    EXPECT_NE(output.out.find("\t" + utf8(articles[1].title) + "\tfailed\n"), std::string::npos);
    EXPECT_NE(output.out.find("\t" + utf8(articles[2].title) + "\tdownloaded\n"), std::string::npos);
}

namespace {

// A listing page whose entries link to `paths`, titled "t1", "t2", ...
Text listingOf(const std::vector<std::string>& paths)
{
    std::string items;
    for (std::size_t i = 0; i < paths.size(); ++i)
        items += "<li class=\"catlist_li\"><span class=\"r\">2024-1-1</span><a href=\"" + paths[i] +
                 "\" target=\"_blank\" title=\"t" + std::to_string(i + 1) + "\">t</a></li>\r\n";
    return testing_support::gbk("<html><ul>\r\n" + items + "</ul></html>");
}

} // namespace

// A category claiming no pages cannot be archived (3, not the usage code), and the help names the store given.
TEST_F(Command, NoPagesAreNoUsageErrorAndTheHelpNamesTheStoreGiven)
{
    sample.server.setPage("/303/index.html", testing_support::gbk(
        "<a class=\"a1\">0条</a> <a href=\"/303/index.html\" class=\"a1\">上一页</a>"
        " <a href=\"/303/2.html\">0</a> <a href=\"/303/2.html\" class=\"a1\">下一页</a> </html>"));
    EXPECT_EQ(run({"counts"}).out, "pages: 0\nentries: 0\n");
    EXPECT_EQ(run({"archive"}, false, 0).code, 3);
    platform::CommandLine line;
    line.arguments = {"no-such-command"};
    line.store = "/somewhere";
    EXPECT_NE(testing_support::runCapturing(line, sample.environment()).err.find("Store: /somewhere/Marrowfen (--store)"),
              std::string::npos);
}

// Site text reaches neither stream raw: an address with an escape sequence in a download's failure, a title that
// would set the terminal's title, a C1 control and a bidirectional override (both reached through GB18030) in the
// export's "left out" lines are escaped. A search's marks are the program's own, never escaped.
TEST_F(Command, SiteTextReachesNoTerminalRaw)
{
    const std::string c1 = "\x81\x30\x81\x35", override = "\x81\x36\xa7\x31"; // U+0085, U+202E
    const std::string items =
        "<li class=\"catlist_li\"><span class=\"r\">2024-1-1</span><a href=\"http://127.0.0.1:1/\x1b[31mx.html\" "
        "target=\"_blank\" title=\"t\x1b]0;PWNED\x07\">t</a></li>\r\n"
        "<li class=\"catlist_li\"><span class=\"r\">2024-1-1</span><a href=\"/fault/404\" target=\"_blank\" title=\"a" +
        c1 + "b" + override + "c\">t</a></li>\r\n";
    sample.server.setPage("/303/2.html", "<html><ul>\r\n" + items + "</ul></html>");
    const Output page = run({"page", "2"}, false, 0);
    testing_support::ScratchFolder out;
    platform::CommandLine line;
    line.arguments = {"export", "2"};
    line.textFolder = out.path();
    const Output exported = testing_support::runCapturing(line, sample.environment());
    for (const std::string& stream : {page.out, page.err, exported.out, exported.err}) {
        EXPECT_EQ(stream.find_first_of("\x1b\x07"), std::string::npos) << stream;
        EXPECT_EQ(stream.find("\xc2\x85"), std::string::npos) << stream;
        EXPECT_EQ(stream.find("\xe2\x80\xae"), std::string::npos) << stream;
    }
    EXPECT_NE(page.err.find("http://127.0.0.1:1/\\x1b[31mx.html"), std::string::npos) << page.err;
    EXPECT_NE(exported.err.find("left out: t\\x1b]0;PWNED\\x07 (page 2)"), std::string::npos) << exported.err;
    EXPECT_NE(exported.err.find("left out: a\\u0085b\\u202Ec (page 2)"), std::string::npos) << exported.err;

    const library::Context context{"x\x1b[2Jhit y", {{5, 8}}};
    const auto render = [](const std::string& piece) { return commands::printable(piece, false); };
    EXPECT_EQ(context.marked("\x1b[1;31m", "\x1b[0m", render), "x\\x1b[2J\x1b[1;31mhit\x1b[0m y");
}

// Every kind of failed download names its address and cause on standard error, and the exit code says what failed.
TEST_F(Command, EveryFailureKindNamesItsCauseAndItsExitCode)
{
    testing_support::RawServer twoLengths("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 9\r\n\r\nhello");
    sample.server.setStatus("/fault/206", 206);
    const std::string base = sample.server.baseAddress();
    const std::vector<std::pair<std::string, std::string>> articles = {
        {base + "/fault/404", "HTTP 404 Not Found"},
        {base + "/fault/500", "HTTP 500 Internal Server Error"},
        {base + "/fault/206", "HTTP 206 Partial Content"},
        {base + "/fault/reset", "connection broken in mid-transfer"},
        {base + "/fault/huge", "body over 1 MiB"},
        {base + "/fault/redirect-loop", "too many redirects"},
        {base + "/fault/file-redirect", "redirect to a non-http address"},
        {base + "/fault/drip", "timed out: under 100 bytes/s for 1 s"},
        {twoLengths.address() + "/a.html", "conflicting Content-Length headers"},
        {"http://127.0.0.1:1/a.html", "connection refused"},
    };
    std::vector<std::string> paths;
    for (const auto& [address, reason] : articles)
        paths.push_back(address);
    sample.server.setHugeBodyBytes(2 * 1024 * 1024);
    sample.server.setPage("/303/2.html", listingOf(paths));
    Output output = run({"page", "2"}, false, 0);
    EXPECT_EQ(output.code, 4);
    for (const auto& [address, reason] : articles)
        EXPECT_NE(output.err.find("varnholt: " + address + ": " + reason + "\n"), std::string::npos)
            << reason << "\n" << output.err;
    EXPECT_EQ(output.out.find("\tstored\n"), std::string::npos);

    // Listings without a saved copy: what arrived without entries, and what did not arrive.
    platform::removeRegularFile(SiteAccessor(sample.environment()).listingFilePath(2));
    sample.server.setPage("/303/2.html", testing_support::gbk("<html>維護中</html>"));
    output = run({"page", "2"}, false, 0);
    EXPECT_EQ(output.code, 3);
    EXPECT_EQ(output.err, "varnholt: listing page 2 could not be loaded: the page holds no entries\n");
    sample.server.setPage("/303/2.html", std::string("<\0h\0t\0m\0l\0>\0", 12));
    EXPECT_EQ(run({"page", "2"}, false, 0).err, "varnholt: listing page 2 could not be loaded: the page is not GBK text\n");
    output = run({"page", "99"}, false, 0);
    EXPECT_EQ(output.code, 3);
    EXPECT_EQ(output.err, "varnholt: " + base + "/303/99.html: HTTP 404 Not Found\n"
                          "varnholt: listing page 99 could not be loaded: no saved copy with entries\n");
    SiteEnvironment refused = sample.environment();
    refused.siteAddress = "http://127.0.0.1:1";
    output = runAt(refused, {"counts"}, false, 0);
    EXPECT_EQ(output.code, 3);
    EXPECT_EQ(output.err, "varnholt: http://127.0.0.1:1/303/index.html: connection refused\n");
    // A listing that cannot be read is the same cause for `show` as for `page`.
    EXPECT_EQ(runAt(refused, {"show", "1", "1"}, false, 0).code, 3);
}

TEST_F(Command, RangesStopAtThePageCount)
{
    sample.server.resetCounts();
    Output output = run({"archive", "2-99999"});
    EXPECT_EQ(output.code, 0);
    EXPECT_NE(output.err.find("varnholt: archive: the category has 3 listing pages; stopping at page 3\n"),
              std::string::npos);
    // The index once for the count, then pages 2 and 3 with their 38 articles.
    EXPECT_EQ(sample.server.totalRequests(), 1 + 2 + 38);

    sample.server.resetCounts();
    for (const char* range : {"4", "2147483647-2147483647", "4-5"}) {
        output = run({"archive", range});
        EXPECT_EQ(output.code, 2) << range;
        EXPECT_NE(output.err.find("is beyond the last listing page, 3"), std::string::npos) << range;
    }
    EXPECT_EQ(sample.server.totalRequests(), 3);
}

TEST_F(Command, PoliteClient)
{
    // One index download for both counts, with the program's User-Agent or the one asked for.
    sample.server.resetCounts();
    ASSERT_EQ(run({"counts"}).code, 0);
    EXPECT_EQ(sample.server.requestCount("/303/index.html"), 1);
    EXPECT_EQ(sample.server.lastUserAgent(), "Varnholt/1.0.0");
    platform::CommandLine line;
    line.arguments = {"counts"};
    line.userAgent = "Reader/2";
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(runCommand(line, sample.environment(), out, out), 0);
    std::fclose(out);
    EXPECT_EQ(sample.server.lastUserAgent(), "Reader/2");
    platform::setUserAgent(platform::defaultUserAgent());

    // Listing pages are retried too.
    sample.server.setFailures("/303/2.html", 1, 503);
    EXPECT_EQ(run({"page", "2"}, false, 1).code, 0);
    EXPECT_EQ(sample.server.requestCount("/303/2.html"), 2);
}

TEST_F(Command, StoreAndOutputThatCannotBeWritten)
{
    // A store below a regular file cannot be made: exit 5 at once, nothing downloaded.
    SiteEnvironment blocked = sample.environment();
    const std::string file = sample.store.path() + "/file";
    ASSERT_TRUE(platform::writeWholeFile(file, "x"));
    blocked.storeRoot = file + "/store";
    sample.server.resetCounts();
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{"page", "1"}, {"show", "1", "1"}, {"archive"}}) {
        const Output output = runAt(blocked, words);
        EXPECT_EQ(output.code, 5) << words.front();
        EXPECT_TRUE(output.err.starts_with("varnholt: cannot write the store: " + file + "/store/Marrowfen/"))
            << output.err;
        EXPECT_NE(output.err.find(": not a directory\n"), std::string::npos) << output.err;
    }
    EXPECT_EQ(sample.server.totalRequests(), 0);

    // Output that cannot be written is a failure, not a success.
    platform::CommandLine line;
    line.arguments = {"counts"};
    std::FILE* full = testing_support::unwritableStream();
    ASSERT_NE(full, nullptr);
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(runCommand(line, sample.environment(), full, err), 6);
    std::fclose(full);
    EXPECT_EQ(readAllAndClose(err), "varnholt: the output could not be written\n");
}

TEST_F(Command, TitlesCannotForgeLinesOrReachTheTerminal)
{
    const std::string base = sample.server.baseAddress();
    sample.server.setPage("/303/2.html",
                          testing_support::gbk("<li class=\"catlist_li\"><span class=\"r\">2024-1-1</span><a href=\"" +
                                               base + "/fault/404\" target=\"_blank\" title=\"a\r\n9forged\x1b[31m\">t"
                                               "</a></li></html>"));
    const Output output = run({"page", "2"}, false, 0);
    // The line break goes when the listing is read; the escape sequence is shown escaped.
    EXPECT_EQ(output.out, "1\t2024-1-1\ta9forged\\x1b[31m\tfailed\n");
}

#ifdef __linux__
namespace {

// A tmpfs of `size` mounted on `folder` for the test's life (read-only when asked); needs root.
struct TmpfsMount {
    std::string folder;
    bool mounted = false;
    TmpfsMount(std::string where, const char* size, bool readOnly) : folder(std::move(where))
    {
        std::filesystem::create_directories(folder);
        const std::string options = std::string("size=") + size;
        mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) == 0;
    }
    ~TmpfsMount()
    {
        if (mounted)
            ::umount2(folder.c_str(), MNT_DETACH);
    }
};

} // namespace

// A read-only store and a full one stop the command before any download; a disk that fills in mid-run stops it at
// the failed write, with no partial file.
TEST_F(Command, StoresThatCannotTakeFilesStopTheCommand)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a read-only and a full file system";
    SiteEnvironment store = sample.environment();
    store.storeRoot = sample.store.path() + "/mounted";
    {
        const TmpfsMount readOnly(store.storeRoot, "64k", true);
        if (!readOnly.mounted)
            GTEST_SKIP() << "mounting a file system is not allowed here";
        sample.server.resetCounts();
        const Output output = runAt(store, {"page", "1"});
        EXPECT_EQ(output.code, 5);
        EXPECT_NE(output.err.find(": read-only file system\n"), std::string::npos) << output.err;
        EXPECT_EQ(sample.server.totalRequests(), 0);
    }
    {
        const TmpfsMount full(store.storeRoot, "64k", false);
        ASSERT_TRUE(full.mounted);
        SiteAccessor(store).prepareFolders();
        // Fill it up.
        platform::Status filled;
        for (int i = 0; (filled = platform::writeWholeFile(store.storeRoot + "/fill" + std::to_string(i),
                                                           ByteSet(4096, 'x')));
             ++i) {
        }
        EXPECT_EQ(filled.error(), "no space left on device");
        sample.server.resetCounts();
        const Output output = runAt(store, {"archive"});
        EXPECT_EQ(output.code, 5);
        EXPECT_NE(output.err.find(": no space left on device\n"), std::string::npos) << output.err;
        EXPECT_EQ(sample.server.totalRequests(), 0);
    }
    {
        // Room for the listing file and some articles, not all twenty.
        const TmpfsMount filling(store.storeRoot, "48k", false);
        ASSERT_TRUE(filling.mounted);
        const Output output = runAt(store, {"page", "1"});
        EXPECT_EQ(output.code, 5);
        EXPECT_NE(output.err.find(".txt: no space left on device\n"), std::string::npos) << output.err;
        const auto counted = testing_support::storedArticles(SiteAccessor(store), sample.site.articlesOfPage(1));
        EXPECT_EQ(counted.incomplete, 0);
        EXPECT_GT(counted.stored, 0);
        EXPECT_LT(counted.stored, 20);
        // No temporary file is left behind.
        for (const auto& file : std::filesystem::recursive_directory_iterator(store.storeRoot))
            EXPECT_FALSE(file.path().filename().string().starts_with(".")) << file.path();
    }
}
#endif

// The site is set once: the option, else VARNHOLT_SITE, else the configuration file, else the placeholder, which
// says how to set the site when it fails.
TEST(SiteChoice, OptionEnvironmentConfigurationThenPlaceholder)
{
    EXPECT_EQ(site::siteAddressOf("https://host/303/index.html"), "https://host");
    EXPECT_EQ(site::siteAddressOf("https://host/303/"), "https://host");
    EXPECT_EQ(site::siteAddressOf("http://127.0.0.1:8123/"), "http://127.0.0.1:8123");
    EXPECT_EQ(site::siteAddressOf("https://host?x=1#y"), "https://host");

    // The settings folder is the one each system names: XDG_CONFIG_HOME here, APPDATA on Windows.
    testing_support::ScratchFolder home;
    const testing_support::ScopedVariable xdg("XDG_CONFIG_HOME", home.path());
    const testing_support::ScopedVariable appData("APPDATA", home.path());
    const std::string file = home.path() + "/varnholt/varnholt.conf";
    ASSERT_EQ(platform::configFilePath(), file);
    {
        const testing_support::ScopedVariable unset("VARNHOLT_SITE", std::nullopt);
        EXPECT_TRUE(isPlaceholderSite(chooseSiteAddress("")));
        std::filesystem::create_directories(std::filesystem::u8path(home.path() + "/varnholt"));
        ASSERT_TRUE(platform::writeWholeFile(file, "site=https://configured/303/\n"));
        EXPECT_EQ(chooseSiteAddress(""), "https://configured");
    }
    {
        const testing_support::ScopedVariable set("VARNHOLT_SITE", " https://environment/303/index.html \n");
        EXPECT_EQ(chooseSiteAddress(""), "https://environment");
        EXPECT_EQ(chooseSiteAddress("https://option/303/index.html"), "https://option");
    }
    const testing_support::ScopedVariable unset("VARNHOLT_SITE", std::nullopt);

    // What the file says that is not understood is named with its line, and not used.
    ASSERT_TRUE(platform::writeWholeFile(file,
                                         "# mine\nsite=a, b\n\nsitee=https://x\noffline=yes\njust words\n"
                                         "offline=true\n"));
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(reportConfigurationProblems(err), 4);
    std::string said(4096, '\0');
    std::rewind(err);
    said.resize(std::fread(said.data(), 1, said.size(), err));
    std::fclose(err);
    EXPECT_EQ(said, "varnholt: " + file + ":2: site takes one http:// or https:// address, not \"a, b\"; the line is "
                    "not used\nvarnholt: " + file + ":4: unknown key \"sitee\" (the keys are site and offline); the "
                    "line is not used\nvarnholt: " + file + ":5: offline takes true or false, not \"yes\"; the line "
                    "is not used\nvarnholt: " + file + ":6: not a key=value line; the line is not used\n");
    EXPECT_TRUE(isPlaceholderSite(chooseSiteAddress("")));
}

TEST_F(Command, ThePlaceholderSiteSaysHowToSetTheSite)
{
    SiteEnvironment placeholder = sample.environment();
    placeholder.siteAddress = std::string(site::DefaultSiteAddress);
    const Output output = runAt(placeholder, {"counts"}, false, 0);
    EXPECT_EQ(output.code, 3);
    EXPECT_NE(output.err.find("varnholt: no site is set: name it with --site ADDRESS, the environment variable "
                              "VARNHOLT_SITE, or a line site=ADDRESS in "),
              std::string::npos)
        << output.err;
}
