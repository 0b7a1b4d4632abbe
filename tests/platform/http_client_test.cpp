// Downloads against the local server: content, redirects, and every fault route.
#include "platform/http_client.h"

#include "platform/download_policy.h"

#include "platform/local_server.h"
#include "support/fault_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

using platform::DownloadFailure;

namespace {

struct Timed {
    platform::DownloadResult result;
    std::chrono::milliseconds took;
};

Timed timedFetch(const std::string& address, const platform::DownloadLimits& limits = testing_support::shortLimits())
{
    const auto start = std::chrono::steady_clock::now();
    platform::DownloadResult result = platform::fetch(address, limits);
    return {std::move(result), std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)};
}

} // namespace

TEST(HttpClient, DownloadsTheWholeBodyByteForByte)
{
    testing_support::FaultServer server;
    ASSERT_TRUE(server.isRunning());
    std::string body;
    for (int i = 0; i < 256; ++i)
        body += static_cast<char>(i);
    body = body + std::string(100000, 'z');
    server.setPage("/page.html", body);
    const auto result = platform::fetch(server.baseAddress() + "/page.html");
    EXPECT_EQ(result.failure, DownloadFailure::None);
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.body, body);
    EXPECT_EQ(platform::download(server.baseAddress() + "/page.html"), body);
}

TEST(HttpClient, FaultRoutesGiveAnEmptyBodyWithinTheTimeouts)
{
    testing_support::FaultServer server;
    server.setHugeBodyBytes(2 * 1024 * 1024); // over the 1 MiB limit of the short limits
    const std::string base = server.baseAddress();
    const struct {
        const char* path;
        DownloadFailure failure;
    } cases[] = {
        {"/fault/404", DownloadFailure::HttpStatus},
        {"/fault/500", DownloadFailure::HttpStatus},
        {"/fault/drip", DownloadFailure::Timeout},
        {"/fault/reset", DownloadFailure::Connection},
        {"/fault/huge", DownloadFailure::TooLarge},
        {"/fault/file-redirect", DownloadFailure::BadAddress},
        {"/fault/redirect-loop", DownloadFailure::TooManyRedirects},
        {"/fault/silent", DownloadFailure::Timeout},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const Timed timed = timedFetch(base + c.path);
        EXPECT_TRUE(timed.result.body.empty());
        EXPECT_EQ(timed.result.failure, c.failure);
        EXPECT_LT(timed.took, std::chrono::milliseconds(6000));
    }
}

TEST(HttpClient, OnlyHttpAndHttpsAreRequested)
{
    testing_support::ScratchFolder folder;
    EXPECT_EQ(platform::fetch("file:///etc/hostname").failure, DownloadFailure::BadAddress);
    EXPECT_EQ(platform::fetch("ftp://127.0.0.1/x").failure, DownloadFailure::BadAddress);
    EXPECT_EQ(platform::fetch("").failure, DownloadFailure::BadAddress);
    EXPECT_EQ(platform::fetch("/303/index.html").failure, DownloadFailure::BadAddress);
}

TEST(HttpClient, ARefusedConnectionIsUnreachableAndNoPassingFault)
{
    int port = 0;
    {
        testing_support::FaultServer server;
        port = server.port();
    }
    const auto result = timedFetch("http://127.0.0.1:" + std::to_string(port) + "/x");
    EXPECT_EQ(result.result.failure, DownloadFailure::Unreachable);
    EXPECT_FALSE(result.result.isTransient());
    EXPECT_TRUE(result.result.siteSilent());
}

TEST(HttpClient, TransientFailuresAreToldApart)
{
    testing_support::FaultServer server;
    const auto notFound = platform::fetch(server.baseAddress() + "/fault/404", testing_support::shortLimits());
    const auto tooMany = platform::fetch(server.baseAddress() + "/fault/429", testing_support::shortLimits());
    const auto unavailable = platform::fetch(server.baseAddress() + "/fault/503", testing_support::shortLimits());
    EXPECT_EQ(notFound.status, 404);
    EXPECT_FALSE(notFound.isTransient());
    EXPECT_TRUE(tooMany.isTransient());
    EXPECT_TRUE(unavailable.isTransient());
}

TEST(HttpClient, SameOriginRedirectIsFollowed)
{
    testing_support::FaultServer server;
    server.setPage("/target.html", "arrived");
    server.setRedirect("/start.html", "/target.html");
    server.setRedirect("/hop1", "/hop2");
    server.setRedirect("/hop2", "/start.html");
    EXPECT_EQ(platform::download(server.baseAddress() + "/start.html"), "arrived");
    EXPECT_EQ(platform::download(server.baseAddress() + "/hop1"), "arrived");
    EXPECT_EQ(server.requestCount("/target.html"), 2);
}

TEST(HttpClient, RedirectThatLeavesTheHostIsNeverRequested)
{
    // A login portal on another host: the site's address answers 302 to it.
    platform::LocalServer portal;
    portal.setPage("/login", "please log in");
    testing_support::FaultServer site;
    site.setRedirect("/303/1.html", "http://localhost:" + std::to_string(portal.port()) + "/login");
    const platform::DownloadResult result = platform::fetch(site.baseAddress() + "/303/1.html");
    EXPECT_EQ(result.failure, DownloadFailure::OffSite);
    EXPECT_EQ(result.reason, "redirected off the site, to localhost");
    EXPECT_TRUE(result.body.empty());
    EXPECT_FALSE(result.isTransient());
    EXPECT_EQ(portal.totalRequests(), 0);
}

// A site that did not answer is not asked again while it is remembered, another site still is; a refused connection
// is tried once; offline asks nothing at all.
TEST(PolicyDownloader, ASilentSiteIsRememberedForItselfAndARefusalIsNotRetried)
{
    std::map<std::string, int> asked;
    const auto fetcher = [&](const Text& address, const platform::DownloadLimits&) {
        ++asked[address];
        platform::DownloadResult result;
        result.failure = address.starts_with("http://silent") ? DownloadFailure::Timeout
                                                              : DownloadFailure::Unreachable;
        result.reason = "no answer";
        return result;
    };
    platform::DownloadPolicy policy;
    policy.retries = 2;
    policy.silenceRemembered = std::chrono::hours(1);
    platform::PolicyDownloader downloads(policy, fetcher);
    platform::DownloadLimits brief;
    brief.totalTimeout = std::chrono::milliseconds(50); // too short for a retry
    downloads.fetch("http://silent:8/a", brief);
    EXPECT_EQ(downloads.fetch("http://silent:8/b").reason, "no answer; not asked again");
    downloads.fetch("http://refused/a");
    EXPECT_EQ(asked, (std::map<std::string, int>{{"http://silent:8/a", 1}, {"http://refused/a", 1}}));
    EXPECT_EQ(downloads.fetch("http://silent:8/c").failure, DownloadFailure::Unreachable);
    EXPECT_EQ(asked.count("http://silent:8/c"), 0u);

    policy.offline = true;
    platform::PolicyDownloader offline(policy, fetcher);
    EXPECT_EQ(offline.fetch("http://other/a").failure, DownloadFailure::Offline);
    EXPECT_EQ(asked.count("http://other/a"), 0u);
}
