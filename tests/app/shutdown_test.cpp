// Closing the window while workers download: the program ends quickly and leaves only complete files.
#include "app/reader.h"
#include "app/window_definition.h"

#include "platform/threads.h"
#include "platform/window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using platform::Control;

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
    window.userSelects(Control::PageList, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    platform::Application::processEvents();
    window.close();

    const auto closed = std::chrono::steady_clock::now();
    platform::requestShutdown();
    EXPECT_TRUE(platform::waitForDetachedThreads(std::chrono::seconds(2)));
    EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(2));

    // Stored articles are complete; nothing else was left behind.
    const SiteAccessor site(sample.environment());
    int stored = 0;
    for (const sample::SampleArticle& article : sample.site.articlesOfPage(1)) {
        const auto content = platform::readWholeFile(site.articleFilePath(article.title));
        if (!content)
            continue;
        ++stored;
        EXPECT_TRUE(content->ends_with(article.disclaimer));
    }
    EXPECT_LT(stored, 20);
    for (const std::string& file : sample.store.files())
        EXPECT_TRUE(file.ends_with(".txt") || file.ends_with(".html")) << file;
}
