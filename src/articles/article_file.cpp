// Article file names.
#include "articles/article_file.h"

#include "platform/file_system.h"
#include "platform/gbk_codec.h"

#include <string_view>

namespace articles {
namespace {

constexpr std::size_t MaxNameBytes = 255;
constexpr std::string_view Extension = ".txt";

std::string_view fullWidth(char c)
{
    switch (c) {
    case '\\': return "＼";
    case '/': return "／";
    case ':': return "：";
    case '*': return "＊";
    case '?': return "？";
    case '"': return "＂";
    case '<': return "＜";
    case '>': return "＞";
    case '|': return "｜";
    default: return {};
    }
}

// The byte length of the UTF-8 sequence that starts with `lead` (toUtf8 produces only well-formed sequences).
std::size_t sequenceLength(unsigned char lead)
{
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

} // namespace

std::string articleFileName(const Text& title)
{
    const std::string decoded = platform::gbk::toUtf8(title);
    std::string name;
    name.reserve(decoded.size() + Extension.size());
    for (const char c : decoded) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            continue;
        if (const std::string_view wide = fullWidth(c); !wide.empty())
            name += wide;
        else
            name += c;
    }
    if (name == "." || name == "..")
        name = name == "." ? "．" : "．．";
    if (platform::isReservedFileName(name))
        name = "＿" + name;
    // Shorten at a character boundary until the name with its extension fits.
    if (name.size() + Extension.size() > MaxNameBytes) {
        std::size_t kept = 0;
        while (kept < name.size()) {
            const std::size_t next = kept + sequenceLength(static_cast<unsigned char>(name[kept]));
            if (next + Extension.size() > MaxNameBytes)
                break;
            kept = next;
        }
        name.resize(kept);
    }
    name += Extension;
    return name;
}

} // namespace articles
