// The renderings the commands share.
#include "app/commands/output.h"

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
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 || byte == 0x7F) && !(keepLayout && (c == '\n' || c == '\t'))) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

void printLine(const platform::Json& json, std::FILE* out)
{
    std::fprintf(out, "%s\n", json.dump().c_str());
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
