// Fuzz target: PatternMatcher::findAll and replace with the program's own patterns on arbitrary subjects.
#include "matching/pattern_matcher.h"
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
    // Removing matches never adds a byte.
    if (matcher.replace(subject, site::tagPattern()).size() > subject.size())
        std::abort();
    return 0;
}
