// The commands against the sample site: outputs, exit codes, what they download, and usage errors.
#include "app/command.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

using testing_support::SampleServer;
using testing_support::utf8;

namespace {

struct Output {
    int code = 0;
    std::string out;
    std::string err;
};

std::string readAll(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    std::fclose(file);
    return text;
}

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
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        Output output;
        output.code = runCommand(line, environment, out, err);
        output.out = readAll(out);
        output.err = readAll(err);
        return output;
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
    std::filesystem::remove(std::filesystem::path(site.articleFilePath(articles[3].title)));
    output = run({"page", "2"}, true);
    EXPECT_EQ(output.code, 4);
    EXPECT_EQ(sample.articleRequests(), 21);
    EXPECT_NE(output.out.find("{\"number\":4,\"date\":\"" + articles[3].date + "\",\"title\":\"" +
                              utf8(articles[3].title) + "\",\"href\":\"" + utf8(articles[3].href) +
                              "\",\"state\":\"failed\"}"),
              std::string::npos);
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

    output = run({"show", "1", "99"});
    EXPECT_EQ(output.code, 1);
    EXPECT_EQ(output.err, "文章獲取失敗，請聯繫開發者解決\n");
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
                                  utf8(articles[19].href) + "\",\"state\":\"stored\"}"),
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
    std::filesystem::remove(std::filesystem::path(site.listingFilePath(3)));
    const Output output = runAt(gone, {"page", "3"}, false, 0);
    EXPECT_EQ(output.code, 3);
    EXPECT_EQ(output.err, "varnholt: http://127.0.0.1:1/303/3.html: connection refused\n"
                          "varnholt: listing page 3 could not be loaded: no saved copy with entries\n");
}

TEST_F(Command, PageTellsWhatBecameOfEachEntry)
{
    const auto articles = sample.site.articlesOfPage(3);
    const SiteAccessor site(sample.environment());
    ASSERT_TRUE(platform::writeWholeFile(site.articleFilePath(articles[0].title), "kept"));
    sample.server.setStatus(articles[1].path, 404);
    const Output output = run({"page", "3"});
    EXPECT_EQ(output.code, 4);
    EXPECT_NE(output.out.find("1\t" + articles[0].date + "\t" + utf8(articles[0].title) + "\tstored\n"),
              std::string::npos);
    EXPECT_NE(output.out.find("\t" + utf8(articles[1].title) + "\tfailed\n"), std::string::npos);
    EXPECT_NE(output.out.find("\t" + utf8(articles[2].title) + "\tdownloaded\n"), std::string::npos);
}
