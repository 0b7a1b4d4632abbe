// Fuzz target: the article file name of an arbitrary title never leaves the category folder.
#include "articles/article_file.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Text title(reinterpret_cast<const char*>(data), size);
    const std::string name = articles::articleFileName(title);
    if (name.size() > 255 || !name.ends_with(".txt"))
        std::abort();
    for (const char c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            std::abort();
    const std::string stem = name.substr(0, name.size() - 4);
    if (stem == "." || stem == "..")
        std::abort();
    return 0;
}
