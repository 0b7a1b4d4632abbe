// Extraction benchmarks: the listing page and the article pages, without downloads, beside a memcpy floor.
// The inputs come from bench/make_inputs.py; VARNHOLT_BENCH_INPUTS names their folder.
#include "articles/article_text.h"
#include "platform/file_system.h"
#include "site/listing.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

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

void articleExtraction(benchmark::State& state, const std::string& name)
{
    const ByteSet& page = input(name);
    for (auto _ : state) {
        CatalogEntry entry;
        const Text text = articles::cleanArticlePage(page, &entry);
        if (entry.disclaimer.empty() || text.size() < page.size() / 3)
            state.SkipWithError("the article page was not recognised");
        benchmark::DoNotOptimize(text.data());
    }
    report(state, page);
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
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("article/memcpy/") + name).c_str(), memcpyFloor, name)
            ->Unit(benchmark::kMicrosecond);
    }
    return 0;
}

const int registered = registerAll();

} // namespace
