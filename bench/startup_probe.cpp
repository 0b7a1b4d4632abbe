// Start-up and memory probe, timed from outside by bench/run:
//   startup_probe serve              serves the sample site on 127.0.0.1 and prints its address; a line "count" on
//                                    stdin prints the requests it answered so far; ends with stdin
//   startup_probe blackhole          serves a site that accepts connections and never answers, as serve does
//   startup_probe start ADDRESS DIR  opens the window and waits for both counts, then ends
//   startup_probe shown ADDRESS DIR  opens the window, prints "shown" once it is on screen, then ends
//   startup_probe page ADDRESS DIR   as start, then loads page 1 with all its articles and prints the resident KiB
//   startup_probe storefirst ADDRESS DIR
//                                    opens the window on a store with pages 1-3, prints the milliseconds until the
//                                    page list is filled, chooses page 2 and prints the milliseconds until its twenty
//                                    titles are listed and marked as stored
//   startup_probe restore ADDRESS DIR
//                                    opens the window as the program does, on the page and article the last run
//                                    left, and prints "shown" once that article is in the text box
//   startup_probe windowsearch ADDRESS DIR WORD
//                                    runs the window's search for WORD over the store and prints the milliseconds
#include "catalog/catalog.h"
#include "app/reader.h"
#include "app/store.h"
#include "app/window_definition.h"
#include "app/window_services.h"
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/local_server.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "support/window_probe.h"
#include "site/sample_site.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <thread>

namespace {

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

int serve(bool blackHole)
{
    platform::LocalServer server;
    if (blackHole)
        server.setStreamedRoute("/303/index.html", {std::chrono::minutes(10), 0, {}});
    else
        sample::SampleSite(server.baseAddress()).serveOn(server);
    std::cout << server.baseAddress() << std::endl;
    for (std::string line; std::getline(std::cin, line);)
        if (line == "count")
            std::cout << server.totalRequests() << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    platform::initProcess();
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "serve" || mode == "blackhole")
        return serve(mode == "blackhole");
    if (argc < 4)
        return 2;
    Catalog catalog;
    platform::Application application(argc, argv);
    platform::Window window(windowDefinition());
    Reader reader{window.port(), catalog, SiteEnvironment::standard(),
                  [](std::function<void()> work) { platform::startDetached(std::move(work)); }};
    reader.environment.storeRoot = argv[3];
    reader.environment.siteAddress = argv[2];
    if (mode == "windowsearch" && argc > 4) {
        const platform::WindowServices services = readerServices(reader);
        const auto start = std::chrono::steady_clock::now();
        const std::size_t found = services.search(argv[4]).size();
        std::cout << std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() << " "
                  << found << std::endl;
        return 0;
    }
    if (mode == "restore") {
        const WindowMemory recalled = recallWindow(SiteAccessor(reader.environment));
        reader.state->restoredPage = recalled.page;
        reader.state->restoredArticle = recalled.article;
    }
    window.setHandlers({[&] { onPageSelected(reader); }, [&] { onEntrySelected(reader); },
                        [&] { onArticleSelected(reader); }});
    window.show();
    onWindowCreated(reader);
    platform::Application::processEvents();
    const auto waitFor = [](const std::function<bool()>& done) {
        const auto start = std::chrono::steady_clock::now();
        while (!done() && std::chrono::steady_clock::now() < start + std::chrono::seconds(30)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            platform::Application::processEvents();
        }
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    if (mode == "storefirst") {
        platform::WindowPort& port = window.port();
        std::cout << waitFor([&] { return port.itemCount(platform::Control::PageList) >= 2; }) << std::endl;
        testing_support::userSelects(window, platform::Control::PageList, 1);
        std::cout << waitFor([&] {
            if (port.itemCount(platform::Control::ArticleList) != 20)
                return false;
            for (int i = 0; i < 20; ++i)
                if (!port.isItemChecked(platform::Control::ArticleList, i))
                    return false;
            return true;
        }) << std::endl;
        // Downloads from a site that never answers may still be waiting: the process ends without them.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    if (mode == "restore") {
        waitFor([&] { return !window.port().text().empty() && window.port().text().find("\r\n") != Text::npos; });
        std::cout << "shown" << std::endl;
        std::fflush(nullptr);
        std::_Exit(0);
    }
    if (mode == "shown") {
        std::cout << "shown" << std::endl;
        platform::requestShutdown();
        platform::waitForDetachedThreads(std::chrono::seconds(2));
        return 0;
    }
    // The counts arrive from a worker.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (window.port().itemCount(platform::Control::EntryList) == 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        platform::Application::processEvents();
    }
    if (window.port().itemCount(platform::Control::PageList) == 0)
        return 3;
    if (mode == "page") {
        testing_support::userSelects(window, platform::Control::PageList, 0);
        platform::waitForDetachedThreads(std::chrono::seconds(30));
        platform::Application::processEvents();
        std::cout << residentKiB() << std::endl;
    }
    return 0;
}
