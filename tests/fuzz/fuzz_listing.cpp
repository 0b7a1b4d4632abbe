// Fuzz target: the listing extraction on arbitrary page bytes.
#include "site/listing.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ByteSet page(reinterpret_cast<const char*>(data), size);
    std::vector<CatalogEntry> entries;
    const int found = site::extractListingEntries(page, entries);
    if (found > 0 && static_cast<std::size_t>(found) != entries.size())
        std::abort();
    for (const CatalogEntry& entry : entries) {
        if (entry.title.empty() || entry.href.empty() || entry.date.size() < 8)
            std::abort();
        if (entry.href.find_first_of("\" \t\r\n") != std::string::npos)
            std::abort();
    }
    return 0;
}
