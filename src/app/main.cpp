// Varnholt: start-up, the window's life, and the orderly end.
#include "catalog/catalog.h"
#include "app/command.h"
#include "app/reader.h"
#include "app/store.h"
#include "app/window_definition.h"
#include "app/window_services.h"
#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/http_client.h"
#include "platform/local_server.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "site/sample_site.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

int runWindow(int argc, char** argv, const SiteEnvironment& environment)
{
    Catalog catalog;
    platform::Application application(argc, argv);
    platform::Window window(windowDefinition());
    Reader reader{window.port(), catalog, environment, [](std::function<void()> work) {
                      platform::startDetached(std::move(work));
                  }};
    reader.state->placeholderSite = isPlaceholderSite(environment.siteAddress);
    window.setHandlers({[&] { onPageSelected(reader); }, [&] { onEntrySelected(reader); },
                        [&] { onArticleSelected(reader); }});
    // Where the last run left the window: its place, its text size, its page and article.
    const SiteAccessor site(environment);
    const WindowMemory recalled = recallWindow(site);
    if (recalled.left && recalled.top && recalled.width && recalled.height)
        window.setPlace(*recalled.left, *recalled.top, *recalled.width, *recalled.height);
    if (recalled.textSize)
        window.setTextSize(*recalled.textSize);
    reader.state->restoredPage = recalled.page;
    reader.state->restoredArticle = recalled.article;
    window.setServices(readerServices(reader));
    window.show();
    onWindowCreated(reader);
    // No site set: the window asks for one, as a reader without a terminal must be able to give it.
    if (reader.state->placeholderSite)
        window.askForSite();
    application.exec();
    rememberWindow(site, {window.left(), window.top(), window.width(), window.height(), window.textSize(),
                          reader.state->shownPage.load(), reader.state->shownArticle.load()});

    // Workers still running abandon their downloads; each write they make is atomic, so cutting them off after
    // the grace period leaves no partial file.
    platform::requestShutdown();
    if (!platform::waitForDetachedThreads(std::chrono::milliseconds(1500))) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    platform::ensureStandardStreams();
    platform::initProcess();
    const platform::CommandLine line = platform::parseCommandLine(argc, argv);
    if (!line.error.empty()) {
        std::fprintf(stderr, "varnholt: %s\n\n%s", line.error.c_str(), helpText(line.store).c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(helpText(line.store).c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::fputs(platform::versionText().c_str(), stdout);
        return 0;
    }
    if (line.demo && !line.site.empty()) {
        std::fprintf(stderr, "varnholt: --demo and --site cannot be used together\n");
        return 2;
    }
    reportConfigurationProblems(stderr);
    if (line.arguments.empty() && !platform::hasDisplay()) {
        std::fprintf(stderr, "varnholt: no display found; without one, use a command, for example "
                             "'scripts/run page 1 --demo' or 'varnholt --help'\n");
        return 2;
    }

    SiteEnvironment environment = SiteEnvironment::standard();
    environment.storeRoot = chooseStoreRoot(line.store);
    std::unique_ptr<platform::LocalServer> demoServer;
    if (line.demo) {
        demoServer = std::make_unique<platform::LocalServer>();
        sample::SampleSite(demoServer->baseAddress()).serveOn(*demoServer);
        environment.siteAddress = demoServer->baseAddress();
    } else {
        environment.siteAddress = chooseSiteAddress(line.site);
    }

    if (!line.arguments.empty())
        return runCommand(line, environment);
    // A window that could store nothing would lose every article it shows: an explicit store must take files.
    if (!line.store.empty() && !storeIsWritable(SiteAccessor(environment), stderr))
        return 5;
    return runWindow(argc, argv,
                     throughDownloads(environment, makeDownloads(line, environment, DownloadUse::Window), line,
                                      DownloadUse::Window));
}
