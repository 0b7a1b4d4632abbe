// Download and stored-article benchmarks against a local server that waits 20 ms before each answer.
// VARNHOLT_BENCH_TLS names a folder with cert.pem and key.pem for the https runs (bench/run makes them).
#include "catalog/catalog.h"
#include "articles/article_worker.h"
#include "platform/file_system.h"
#include "platform/gbk_codec.h"
#include "platform/http_client.h"
#include "platform/local_server.h"
#include "site/site_accessor.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr int Articles = 20;

// A 30 KB article page in the site's mark-up, GBK as the site sends it.
ByteSet articlePage(int number)
{
    std::string page = "<html><body><div class=\"content\"><p>" + platform::gbk::fromUtf8("【导读】") + "x...</p>";
    while (page.size() < 30000)
        page += "<p>article " + std::to_string(number) + " paragraph text paragraph text paragraph text</p>\r\n";
    return page + "</div></body></html>";
}

// The article file of `title`, as the store keeps it: the title is its first line.
ByteSet articleFile(const Text& title, std::size_t bodyBytes)
{
    return title + "\r\n2024-1-1\r\n" + platform::gbk::fromUtf8("作者未知") + "\r\n" + std::string(bodyBytes, 'x') +
           "\r\n";
}

// The server with the twenty pages, or none (and the benchmark skipped) when it cannot run.
std::unique_ptr<platform::LocalServer> makeServer(bool https, benchmark::State& state)
{
    std::unique_ptr<platform::LocalServer> server;
    if (https) {
        const char* folder = std::getenv("VARNHOLT_BENCH_TLS");
        if (!folder) {
            state.SkipWithError("https needs VARNHOLT_BENCH_TLS");
            return nullptr;
        }
        const std::string base(folder);
        platform::setCertificateAuthorityFile(base + "/cert.pem");
        server = std::make_unique<platform::LocalServer>(base + "/cert.pem", base + "/key.pem");
    } else {
        server = std::make_unique<platform::LocalServer>();
    }
    if (!server->isRunning()) {
        state.SkipWithError("the server did not start");
        return nullptr;
    }
    for (int i = 1; i <= Articles; ++i)
        server->setPage("/a/" + std::to_string(i) + ".html", articlePage(i));
    server->setResponseDelay(std::chrono::milliseconds(20));
    server->setCompression(false);
    return server;
}

struct Scratch {
    std::filesystem::path path = std::filesystem::temp_directory_path() / ("varnholt-bench-" + std::to_string(::getpid()));
    Scratch() { std::filesystem::create_directories(path); }
    ~Scratch() { std::filesystem::remove_all(path); }
};

// Twenty downloads in a row on one thread.
void sequentialDownloads(benchmark::State& state, bool https)
{
    const auto server = makeServer(https, state);
    if (!server)
        return;
    platform::download(server->baseAddress() + "/a/1.html"); // connection and TLS session made outside the timing
    for (auto _ : state)
        for (int i = 1; i <= Articles; ++i)
            if (platform::download(server->baseAddress() + "/a/" + std::to_string(i) + ".html").empty())
                state.SkipWithError("a download failed");
    state.counters["floor_ms"] = Articles * 20;
}

// The page worker's whole job for twenty missing articles: download, extract, compose, write.
void pageWorker(benchmark::State& state, bool https)
{
    const auto server = makeServer(https, state);
    if (!server)
        return;
    Scratch scratch;
    const SiteEnvironment environment{platform::download, scratch.path.string(), server->baseAddress()};
    std::vector<CatalogEntry> entries;
    for (int i = 1; i <= Articles; ++i)
        entries.push_back({"title" + std::to_string(i), "", "2024-1-1", "", "", "/a/" + std::to_string(i) + ".html", ""});
    platform::download(server->baseAddress() + "/a/1.html");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(scratch.path / "Marrowfen");
        Catalog catalog;
        catalog.replaceAll(entries);
        const SiteAccessor site(environment);
        state.ResumeTiming();
        if (site.loadPageArticles(catalog) != Articles)
            state.SkipWithError("not every article was stored");
    }
    state.counters["floor_ms"] = Articles * 20;
}

// Two article workers one after the other, each on a new thread with its own SiteAccessor.
void twoWorkers(benchmark::State& state, bool https)
{
    const auto server = makeServer(https, state);
    if (!server)
        return;
    platform::download(server->baseAddress() + "/a/1.html");
    for (auto _ : state)
        for (int i = 1; i <= 2; ++i)
            std::thread([&] { platform::download(server->baseAddress() + "/a/" + std::to_string(i) + ".html"); }).join();
    state.counters["floor_ms"] = 2 * 20;
}

// The stored case: twenty existence tests, and one stored article read and shown (without the window).
void storedPage(benchmark::State& state)
{
    Scratch scratch;
    const SiteEnvironment environment{platform::download, scratch.path.string(), "http://127.0.0.1:9"};
    const SiteAccessor site(environment);
    Catalog catalog;
    std::vector<CatalogEntry> entries;
    for (int i = 1; i <= Articles; ++i) {
        entries.push_back({"母猪饲养第" + std::to_string(i) + "讲", "", "2024-1-1", "", "", "/x.html", ""});
        platform::writeWholeFile(site.articleFilePath(entries.back().title), articleFile(entries.back().title, 30000));
    }
    catalog.replaceAll(entries);
    for (auto _ : state)
        benchmark::DoNotOptimize(site.loadPageArticles(catalog));
}

void storedArticle(benchmark::State& state)
{
    Scratch scratch;
    const SiteEnvironment environment{platform::download, scratch.path.string(), "http://127.0.0.1:9"};
    const SiteAccessor site(environment);
    Catalog catalog;
    catalog.replaceAll({{"母猪饲养", "", "2024-1-1", "", "", "/x.html", ""}});
    platform::writeWholeFile(site.articleFilePath("母猪饲养"), articleFile("母猪饲养", 8000));
    for (auto _ : state) {
        const auto outcome = articles::obtainArticle(site, catalog, 1, {});
        benchmark::DoNotOptimize(outcome.content.data());
    }
}

int registerAll()
{
    for (const bool https : {false, true}) {
        const std::string scheme = https ? "https" : "http";
        benchmark::RegisterBenchmark(("downloads/sequential20/" + scheme).c_str(), sequentialDownloads, https)
            ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)->Repetitions(3);
        benchmark::RegisterBenchmark(("downloads/pageWorker20/" + scheme).c_str(), pageWorker, https)
            ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(3);
        benchmark::RegisterBenchmark(("downloads/twoWorkerThreads/" + scheme).c_str(), twoWorkers, https)
            ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10)->Repetitions(3);
    }
    // Nine short repetitions each: the median is then not at the mercy of one slow moment of a shared machine.
    benchmark::RegisterBenchmark("stored/loadPageArticles20", storedPage)
        ->Unit(benchmark::kMicrosecond)->MinTime(0.2)->Repetitions(9);
    benchmark::RegisterBenchmark("stored/showArticle", storedArticle)
        ->Unit(benchmark::kMicrosecond)->MinTime(0.2)->Repetitions(9);
    return 0;
}

const int registered = registerAll();

} // namespace
