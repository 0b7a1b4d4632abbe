// Fuzz target: PatternMatcher::findAll and replace with the program's own patterns on arbitrary subjects, and the
// search on bytes against the search on character units.
#include "matching/pattern_matcher.h"
#include "matching/regex_engine.h"
#include "site/site_texts.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Text subject(reinterpret_cast<const char*>(data), size);
    const Text* patterns[] = {&site::pageCountPattern(), &site::entryCountPattern(), &site::entryPattern(),
                              &site::tagPattern(),       &site::leadInPattern(),     &site::disclaimerPattern()};
    matching::PatternMatcher matcher;
    for (const Text* pattern : patterns) {
        matching::MatchTable table;
        const int rows = matcher.findAll(subject, *pattern, table);
        if (rows > 0 && (table.rows() != rows || table.columns() != 1 + matcher.groupCount()))
            std::abort();
        for (int row = 1; row <= table.rows(); ++row)
            if (table.at(row, 1).size() > subject.size())
                std::abort();
    }
    for (const Text* pattern : patterns) {
        matching::CompiledPattern fast;
        matching::CompiledPattern reference;
        fast.compile(*pattern, false);
        reference.compile(*pattern, false, matching::SearchMode::Units);
        const matching::EngineSubject bytes(subject);
        const matching::EngineSubject units(subject);
        const auto length = static_cast<long long>(subject.size());
        for (long long start = 1; start <= length; start += 1 + length / 16) {
            const auto found = fast.search(bytes, start, length);
            const auto expected = reference.search(units, start, length);
            if (found.byteRange(0) != expected.byteRange(0))
                std::abort();
            for (int k = 1; k <= reference.subExpressionCount(); ++k)
                if (found.byteRange(k) != expected.byteRange(k))
                    std::abort();
        }
        if (fast.replace(subject, "#", 1, length, true, true) != reference.replace(subject, "#", 1, length, true, true))
            std::abort();
    }
    // Removing matches never adds a byte.
    if (matcher.replace(subject, site::tagPattern()).size() > subject.size())
        std::abort();
    return 0;
}
