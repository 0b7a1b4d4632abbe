// Start-up and memory probe, timed from outside by bench/run:
//   startup_probe serve              serves the sample site on 127.0.0.1 and prints its address; ends with stdin
//   startup_probe blackhole          serves a site that accepts connections and never answers, as serve does
//   startup_probe start ADDRESS DIR  opens the window and waits for both counts, then ends
//   startup_probe shown ADDRESS DIR  opens the window, prints "shown" once it is on screen, then ends
//   startup_probe page ADDRESS DIR   as start, then loads page 1 with all its articles and prints the resident KiB
#include "catalog/catalog.h"
#include "app/reader.h"
#include "app/window_definition.h"
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/local_server.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "support/window_probe.h"
#include "site/sample_site.h"

#include <chrono>
#include <cstdio>
#include <fstream>
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
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
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
    window.setHandlers({[&] { onPageSelected(reader); }, [&] { onEntrySelected(reader); },
                        [&] { onArticleSelected(reader); }});
    window.show();
    onWindowCreated(reader);
    platform::Application::processEvents();
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
