// The store answers first: against a site that refuses, never answers or answers with an unrelated page, the
// commands read what is stored without waiting out their time-outs, and change nothing; --offline asks nothing;
// update reads listing pages only until one is all stored.
#include "app/command.h"

#include "command_capture.h"
#include "support/fault_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

using Output = testing_support::CommandOutput;

struct StoreFirst : ::testing::Test {
    testing_support::SampleServer sample;

    Output run(const SiteEnvironment& environment, std::vector<std::string> arguments, bool offline = false)
    {
        platform::CommandLine line;
        line.arguments = std::move(arguments);
        line.offline = offline;
        // The deadline a command gives the site when a saved copy could serve; one second keeps the test short.
        line.timeoutSeconds = 1;
        return testing_support::runCapturing(line, environment);
    }
    Output run(std::vector<std::string> arguments) { return run(sample.environment(), std::move(arguments)); }

    SiteEnvironment siteAt(const std::string& address) const
    {
        SiteEnvironment environment = sample.environment();
        environment.siteAddress = address;
        return environment;
    }

    // Every file of the store but the search's cache, with its content.
    std::map<std::string, ByteSet> storeFiles() const
    {
        std::map<std::string, ByteSet> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(sample.store.path()))
            if (entry.is_regular_file())
                files[entry.path().string()] = platform::readWholeFile(entry.path().string()).value();
        return files;
    }
};

} // namespace

TEST_F(StoreFirst, AMisbehavingSiteIsAnsweredFromTheStoreAndChangesNothing)
{
    ASSERT_EQ(run({"archive", "1-3"}).code, 0);
    const Output article = run({"show", "2", "1"});
    ASSERT_EQ(article.code, 0);
    const auto stored = storeFiles();

    testing_support::RawServer silent("");
    const std::string parkedPage = "<html><body>This domain is for sale.</body></html>";
    testing_support::RawServer parked("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                      std::to_string(parkedPage.size()) + "\r\n\r\n" + parkedPage);
    const std::vector<std::pair<std::string, std::string>> sites{
        {"http://127.0.0.1:1", "site unreachable (connection refused)"},
        {silent.address(), "site unreachable (timed out"},
        {parked.address(), "the site's answer is no listing (the page holds no entries)"}};
    for (const auto& [address, said] : sites) {
        const SiteEnvironment site = siteAt(address);
        const Output shown = run(site, {"show", "2", "1"});
        EXPECT_EQ(shown.code, 0) << address << shown.err;
        EXPECT_EQ(shown.out, article.out) << address;
        EXPECT_NE(shown.err.find("varnholt: " + said), std::string::npos) << shown.err;
        EXPECT_NE(shown.err.find("; using listing page 2 as saved "), std::string::npos) << shown.err;
        const Output counts = run(site, {"counts"});
        EXPECT_EQ(counts.code, 0) << address << counts.err;
        EXPECT_EQ(counts.out, "pages: 3\nentries: 58\n") << address;
        const Output page = run(site, {"page", "3"});
        EXPECT_EQ(page.code, 0) << address << page.err;
        EXPECT_EQ(page.out.find("\tfailed\n"), std::string::npos) << page.out;
    }
    // Each of those commands asked the silent site once; an archive of three pages asks it once in all, for the
    // counts, and then knows it silent.
    EXPECT_EQ(silent.connections(), 3);
    EXPECT_EQ(run(siteAt(silent.address()), {"archive", "1-3"}).code, 0);
    EXPECT_EQ(silent.connections(), 4);

    // Offline: no request at all.
    sample.server.resetCounts();
    const Output offline = run(sample.environment(), {"show", "2", "1"}, true);
    EXPECT_EQ(offline.out, article.out);
    EXPECT_NE(offline.err.find("varnholt: offline; using listing page 2 as saved "), std::string::npos) << offline.err;
    EXPECT_EQ(sample.server.totalRequests(), 0);
    EXPECT_EQ(storeFiles(), stored);

    // Without a saved page 1 there are no counts, but the pages that are saved are named.
    platform::removeRegularFile(SiteAccessor(sample.environment()).listingFilePath(1));
    const Output counts = run(siteAt("http://127.0.0.1:1"), {"counts"});
    EXPECT_EQ(counts.code, 3);
    EXPECT_NE(counts.err.find("saved listing pages: 2-3\n"), std::string::npos) << counts.err;
}

TEST_F(StoreFirst, UpdateReadsListingPagesUntilOneIsAllStored)
{
    ASSERT_EQ(run({"archive", "1-3"}).code, 0);
    sample.server.resetCounts();
    Output update = run({"update"});
    EXPECT_EQ(update.code, 0) << update.err;
    EXPECT_EQ(update.out, "");
    EXPECT_EQ(update.err, "update: 0 new articles, 0 failed, 1 listing page read from the site\n");
    EXPECT_EQ(sample.server.totalRequests(), 1);

    // Three articles of page 1 and one of page 2 are missing, as new articles would be: pages 1 to 3 are read, page 3
    // being the first whose articles were all stored.
    const auto first = sample.site.articlesOfPage(1);
    const auto second = sample.site.articlesOfPage(2);
    const SiteAccessor site(sample.environment());
    for (const auto& article : {first[0], first[1], first[2], second[4]})
        platform::removeRegularFile(site.articleFilePath(article.title));
    sample.server.resetCounts();
    update = run({"update"});
    EXPECT_EQ(update.code, 0) << update.err;
    std::string expected;
    for (const auto& article : {first[0], first[1], first[2]})
        expected += "1\t" + article.date + "\t" + testing_support::utf8(article.title) + "\n";
    expected += "2\t" + second[4].date + "\t" + testing_support::utf8(second[4].title) + "\n";
    EXPECT_EQ(update.out, expected);
    EXPECT_EQ(sample.server.totalRequests(), 3 + 4);
    EXPECT_EQ(run({"update"}).out, "");
}
