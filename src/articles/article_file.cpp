// Article file names.
#include "articles/article_file.h"

#include "platform/file_system.h"
#include "platform/gbk_codec.h"

#include <cstdint>
#include <cstdio>
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

// "~" and eight hex digits of the 64-bit FNV-1a hash of the title's bytes: a title the rule had to change keeps a
// name of its own, which no other title, changed the same way, is likely to share. A later attempt, made when that
// name holds another title's article, takes all sixteen digits, and then a counter.
std::string hashSuffix(const Text& title, int attempt)
{
    const std::uint64_t hash = text::fnv1a(title);
    char suffix[32];
    if (attempt == 0)
        std::snprintf(suffix, sizeof suffix, "~%08x", static_cast<unsigned>(hash ^ (hash >> 32)));
    else if (attempt == 1)
        std::snprintf(suffix, sizeof suffix, "~%016llx", static_cast<unsigned long long>(hash));
    else
        std::snprintf(suffix, sizeof suffix, "~%016llx-%d", static_cast<unsigned long long>(hash), attempt);
    return suffix;
}

} // namespace

std::string articleFileName(const Text& title, int attempt)
{
    const std::string decoded = platform::gbk::toUtf8(title);
    // Bytes that are not GBK decode to U+FFFD: the name no longer tells the title.
    bool changed = attempt > 0 || platform::gbk::fromUtf8(decoded) != title;
    std::string name;
    name.reserve(decoded.size() + Extension.size());
    for (const char c : decoded) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            changed = true;
            continue;
        }
        if (const std::string_view wide = fullWidth(c); !wide.empty()) {
            name += wide;
            changed = true;
        } else {
            name += c;
        }
    }
    if (name == "." || name == "..") {
        name = name == "." ? "．" : "．．";
        changed = true;
    }
    if (platform::isReservedFileName(name)) {
        name = "＿" + name;
        changed = true;
    }
    const std::string suffix = hashSuffix(title, attempt);
    changed = changed || name.size() + Extension.size() > MaxNameBytes;
    // Shorten at a character boundary until the name with its suffix and extension fits.
    const std::size_t room = MaxNameBytes - Extension.size() - (changed ? suffix.size() : 0);
    if (name.size() > room) {
        std::size_t kept = 0;
        while (kept < name.size()) {
            // toUtf8 makes only well-formed sequences.
            const std::size_t next = kept + text::utf8SequenceLength(static_cast<unsigned char>(name[kept]));
            if (next > room)
                break;
            kept = next;
        }
        name.resize(kept);
    }
    if (changed)
        name += suffix;
    name += Extension;
    return name;
}

bool isFileOf(std::string_view fileStart, const Text& title)
{
    if (!fileStart.starts_with(title))
        return false;
    const std::string_view rest = fileStart.substr(title.size());
    return rest.empty() || rest.starts_with("\r\n");
}

ArticleFile findArticleFile(const platform::FolderLookup& folder, const Text& title, ByteSet* content)
{
    for (int attempt = 0; attempt < ArticleNameAttempts; ++attempt) {
        std::string name = articleFileName(title, attempt);
        switch (folder.kindOf(name)) {
        case platform::FileKind::Missing:
            return {ArticleFile::State::Free, std::move(name)};
        case platform::FileKind::Other:
            // Neither read nor replaced, and not passed over either: what stands there may be the user's.
            return {ArticleFile::State::NotAFile, std::move(name)};
        case platform::FileKind::Regular:
            // The file says whose it is: its first line is its title. Another title's file is passed over.
            if (content) {
                if (auto whole = folder.readRegular(name, MaxArticleFileBytes); whole && isFileOf(*whole, title)) {
                    *content = std::move(*whole);
                    return {ArticleFile::State::Stored, std::move(name)};
                }
            } else if (const auto start = folder.readStart(name, title.size() + 2); start && isFileOf(*start, title)) {
                return {ArticleFile::State::Stored, std::move(name)};
            }
            break;
        }
    }
    return {ArticleFile::State::NoName, {}};
}

Text composeArticleFile(const CatalogEntry& entry)
{
    Text text;
    text.reserve(entry.title.size() + entry.date.size() + entry.author.size() + entry.body.size() +
                 entry.disclaimer.size() + 8);
    text.append(entry.title).append("\r\n");
    text.append(entry.date).append("\r\n");
    text.append(entry.author).append("\r\n");
    text.append(entry.body).append("\r\n");
    text.append(entry.disclaimer);
    return text;
}

ArticleParts parseArticleFile(std::string_view fileText)
{
    ArticleParts parts;
    std::string_view rest = fileText;
    const auto nextLine = [&rest]() {
        const std::size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        return Text(line);
    };
    parts.title = nextLine();
    parts.date = nextLine();
    parts.author = nextLine();
    // The disclaimer is the last line; the body everything between.
    const std::size_t last = rest.rfind("\r\n");
    if (last == std::string_view::npos) {
        parts.body = Text(rest);
        return parts;
    }
    parts.body = Text(rest.substr(0, last));
    parts.disclaimer = Text(rest.substr(last + 2));
    return parts;
}

} // namespace articles
