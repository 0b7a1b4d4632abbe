// Fuzz target: the article extraction on arbitrary page bytes.
#include "articles/article_text.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ByteSet page(reinterpret_cast<const char*>(data), size);
    CatalogEntry entry;
    const Text text = articles::cleanArticlePage(page, &entry);
    if (text.size() > page.size())
        std::abort();
    if (!entry.author.empty() && entry.body != text)
        std::abort();
    return 0;
}
