// Closing the window while workers download: the program ends quickly and leaves only complete files.
// CTest runs this twenty times (VARNHOLT_CLOSE_ROUND = 1 ... 20), closing at a different moment each time.
#include "app/reader.h"
#include "app/window_definition.h"
#include "articles/article_worker.h"

#include "platform/threads.h"
#include "platform/window.h"
#include "support/test_support.h"
#include "support/window_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using platform::Control;
using testing_support::userSelects;

TEST(Shutdown, ClosingMidLoadEndsWorkersWithinTwoSecondsAndLeavesNoPartialFile)
{
    int argc = 1;
    char name[9] = "varnholt";
    char* argv[2] = {name, nullptr};
    platform::Application application(argc, argv);
    testing_support::SampleServer sample;
    sample.server.setResponseDelay(std::chrono::milliseconds(300));
    Catalog catalog;
    platform::Window window(windowDefinition());
    Reader reader{window.port(), catalog, sample.environment(),
                  [](std::function<void()> work) { platform::startDetached(std::move(work)); }};
    window.setHandlers({[&] { onPageSelected(reader); }, [&] { onEntrySelected(reader); },
                        [&] { onArticleSelected(reader); }});
    window.show();
    onWindowCreated(reader);
    const char* round = std::getenv("VARNHOLT_CLOSE_ROUND");
    const int closeAfter = 100 + (round ? std::atoi(round) : 0) * 37 % 900;
    userSelects(window, Control::PageList, 0);
    // Article workers for the same and for another entry run beside the page worker.
    platform::startDetached([&] { articles::runArticleWorker(window.port(), catalog, reader.environment, 2); });
    platform::startDetached([&] { articles::runArticleWorker(window.port(), catalog, reader.environment, 2); });
    platform::startDetached([&] { articles::runArticleWorker(window.port(), catalog, reader.environment, 7); });
    std::this_thread::sleep_for(std::chrono::milliseconds(closeAfter));
    platform::Application::processEvents();
    window.close();

    const auto closed = std::chrono::steady_clock::now();
    platform::requestShutdown();
    EXPECT_TRUE(platform::waitForDetachedThreads(std::chrono::seconds(2)));
    EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2));

    // Stored articles are complete; nothing else was left behind.
    const SiteAccessor site(sample.environment());
    const auto counted = testing_support::storedArticles(site, sample.site.articlesOfPage(1));
    EXPECT_EQ(counted.incomplete, 0);
    EXPECT_LT(counted.stored, 20);
    EXPECT_EQ(platform::runningDetachedThreads(), 0);
    for (const std::string& file : sample.store.files())
        EXPECT_TRUE(file.ends_with(".txt") || file.ends_with(".html")) << file;
}
