// The renderings the commands share.
#include "app/commands/output.h"

#include <algorithm>

#include "platform/gbk_codec.h"
#include "platform/text.h"
#include "site/address.h"

namespace commands {

std::string utf8(const Text& text)
{
    return platform::gbk::toUtf8(text);
}

std::string displayText(const Text& text)
{
    std::string result = text::withLineFeeds(utf8(text));
    if (!result.ends_with('\n'))
        result += '\n';
    return result;
}

std::string printable(const std::string& text, bool keepLayout)
{
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = [&](std::size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0; };
        char escaped[16];
        if ((byte < 0x20 || byte == 0x7F) && !(keepLayout && (byte == '\n' || byte == '\t'))) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        } else if (byte == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {
            // C1 controls, U+0080 to U+009F: a terminal takes some of them for escape sequences.
            std::snprintf(escaped, sizeof escaped, "\\u%04X", next(1));
            shown += escaped;
            i += 1;
        } else if (byte == 0xE2 && ((next(1) == 0x80 && next(2) >= 0xAA && next(2) <= 0xAE) ||
                                    (next(1) == 0x81 && next(2) >= 0xA6 && next(2) <= 0xA9))) {
            // The bidirectional overrides and isolates, U+202A to U+202E and U+2066 to U+2069: they reorder what
            // follows on the line, so that a title could show as something else.
            const unsigned code = 0x2000u + ((next(1) & 0x3Fu) << 6) + (next(2) & 0x3Fu);
            std::snprintf(escaped, sizeof escaped, "\\u%04X", code);
            shown += escaped;
            i += 2;
        } else {
            shown += text[i];
        }
    }
    return shown;
}

void printLine(const platform::Json& json, std::FILE* out)
{
    std::fprintf(out, "%s\n", json.dump().c_str());
}

platform::Json withFailure(platform::Json result, int code)
{
    const auto& table = exitCodeTable();
    const auto entry = std::find_if(table.begin(), table.end(), [code](const auto& exit) { return exit.code == code; });
    if (result.isNull())
        result = platform::Json::object();
    return std::move(result)
        .set("error", entry == table.end() ? std::string_view("failed") : entry->meaning)
        .set("exit", code);
}

std::string shownAddress(const SiteAccessor& site, const Text& href)
{
    return printable(utf8(site::resolveAddress(href, site.indexPageAddress)), false);
}

const char* sourceWord(ListingSource source)
{
    return source == ListingSource::Stored ? "stored" : "network";
}

} // namespace commands
