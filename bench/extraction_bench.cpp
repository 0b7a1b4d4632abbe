// Extraction benchmarks: the listing page and the article pages, without downloads, beside a memcpy floor.
// The inputs come from bench/make_inputs.py; VARNHOLT_BENCH_INPUTS names their folder.
#include "articles/article_text.h"
#include "platform/file_system.h"
#include "site/listing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

const ByteSet& input(const std::string& name)
{
    static std::map<std::string, ByteSet> loaded;
    auto found = loaded.find(name);
    if (found == loaded.end()) {
        const char* folder = std::getenv("VARNHOLT_BENCH_INPUTS");
        const auto bytes = platform::readWholeFile(platform::joinPath(folder ? folder : "bench-inputs", name));
        found = loaded.emplace(name, bytes.value_or(ByteSet())).first;
    }
    return found->second;
}

void report(benchmark::State& state, const ByteSet& bytes)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}

void listingExtraction(benchmark::State& state)
{
    const ByteSet& page = input("listing_100k.html");
    for (auto _ : state) {
        std::vector<CatalogEntry> entries;
        benchmark::DoNotOptimize(site::extractListingEntries(page, entries));
        if (entries.size() != 20)
            state.SkipWithError("the listing page did not give twenty entries");
    }
    report(state, page);
}

// One article extraction, in seconds. The downloaded page is handed over to the extraction, so the copy that stands
// in for the download is not timed.
double timedExtraction(benchmark::State& state, const ByteSet& page)
{
    ByteSet downloaded = page;
    CatalogEntry entry;
    const auto started = std::chrono::steady_clock::now();
    const Text text = articles::cleanArticlePage(std::move(downloaded), &entry);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (entry.disclaimer.empty() || text.size() < page.size() / 3)
        state.SkipWithError("the article page was not recognised");
    benchmark::DoNotOptimize(text.data());
    return seconds;
}

void articleExtraction(benchmark::State& state, const std::string& name)
{
    const ByteSet& page = input(name);
    for (auto _ : state)
        state.SetIterationTime(timedExtraction(state, page));
    report(state, page);
}

// A growth ratio measured in pairs: each round times the larger page and then the same number of bytes of the
// smaller one, back to back, so that both sides of a ratio see the same moment of a shared machine. Reports the
// median ratio of the time per page.
void pairedGrowth(benchmark::State& state, const std::string& larger, const std::string& smaller)
{
    const ByteSet& large = input(larger);
    const ByteSet& small = input(smaller);
    const std::size_t times = std::max<std::size_t>(1, (large.size() + small.size() / 2) / small.size());
    std::vector<double> ratios;
    for (auto _ : state) {
        const double largeTime = timedExtraction(state, large);
        double smallTime = 0;
        for (std::size_t i = 0; i < times; ++i)
            smallTime += timedExtraction(state, small);
        ratios.push_back(largeTime / (smallTime / static_cast<double>(times)));
        state.SetIterationTime(largeTime + smallTime);
    }
    std::sort(ratios.begin(), ratios.end());
    if (!ratios.empty())
        state.counters["ratio"] = ratios[ratios.size() / 2];
}

void memcpyFloor(benchmark::State& state, const std::string& name)
{
    const ByteSet& page = input(name);
    std::string copy(page.size(), '\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), page.data(), page.size());
        benchmark::ClobberMemory();
    }
    report(state, page);
}

const char* const Articles[] = {"article_100k.html", "article_1m.html", "article_10m.html", "article_1m_oneline.html",
                                "article_10m_oneline.html"};

int registerAll()
{
    benchmark::RegisterBenchmark("listing/extract/listing_100k.html", listingExtraction)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("listing/memcpy/listing_100k.html", memcpyFloor, "listing_100k.html")
        ->Unit(benchmark::kMicrosecond);
    for (const char* name : Articles) {
        benchmark::RegisterBenchmark((std::string("article/extract/") + name).c_str(), articleExtraction, name)
            ->Unit(benchmark::kMicrosecond)->UseManualTime();
        benchmark::RegisterBenchmark((std::string("article/memcpy/") + name).c_str(), memcpyFloor, name)
            ->Unit(benchmark::kMicrosecond);
    }
    const std::pair<const char*, const char*> growth[] = {{"article_10m.html", "article_100k.html"},
                                                          {"article_1m_oneline.html", "article_1m.html"},
                                                          {"article_10m_oneline.html", "article_10m.html"}};
    for (const auto& [larger, smaller] : growth)
        benchmark::RegisterBenchmark((std::string("article/paired/") + larger + "/" + smaller).c_str(), pairedGrowth,
                                     larger, smaller)
            ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);
    return 0;
}

const int registered = registerAll();

} // namespace
