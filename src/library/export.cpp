// The export: the stored articles of saved listing pages as an EPUB book or as UTF-8 text files.
#include "library/export.h"

#include "library/stored_articles.h"
#include "articles/article_file.h"
#include "articles/article_worker.h"
#include "platform/gbk_codec.h"
#include "platform/time_text.h"
#include "platform/zip_file.h"

#include <chrono>
#include <cstdint>
#include <set>

namespace library {
namespace {

/// An article going into the export.
struct ChosenArticle {
    std::string fileName;
    articles::ArticleParts parts;
};

// UTF-8 text as XML character data: the markup characters escaped, and the control characters XML does not allow
// dropped. A title or body is untrusted: it must never break the book.
std::string xmlText(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                escaped += c;
        }
    }
    return escaped;
}

std::string xhtmlPage(const std::string& title, const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
           "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\" lang=\"zh\" "
           "xml:lang=\"zh\">\n<head>\n<meta charset=\"UTF-8\"/>\n<title>" +
           title + "</title>\n</head>\n<body>\n" + body + "</body>\n</html>\n";
}

std::string chapterName(std::size_t index)
{
    char name[48];
    std::snprintf(name, sizeof name, "chapter-%04zu.xhtml", index + 1);
    return name;
}

// One chapter: the title as heading, the date, and each line of the body as a paragraph.
std::string chapter(const articles::ArticleParts& parts)
{
    const std::string title = xmlText(platform::gbk::toUtf8(parts.title));
    std::string body = "<h1>" + title + "</h1>\n<p class=\"date\">" + xmlText(platform::gbk::toUtf8(parts.date)) +
                       "</p>\n";
    const std::string text = platform::gbk::toUtf8(parts.body);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            body += "<p>" + xmlText(line) + "</p>\n";
        start = end + 1;
    }
    return xhtmlPage(title, body);
}

// A stable identifier for the book's contents, in the form of a UUID.
std::string bookIdentifier(const std::vector<std::string>& chapters)
{
    // Two hashes from different starts: 128 bits, of which the UUID form keeps 122.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    std::uint64_t second = 0x84222325cbf29ce4ull;
    for (const std::string& page : chapters) {
        hash = text::fnv1a(page, hash);
        second = text::fnv1a(page, second);
    }
    char uuid[48];
    std::snprintf(uuid, sizeof uuid, "urn:uuid:%08x-%04x-4%03x-8%03x-%012llx", static_cast<unsigned>(hash >> 32),
                  static_cast<unsigned>(hash >> 16) & 0xFFFF, static_cast<unsigned>(hash) & 0xFFF,
                  static_cast<unsigned>(second >> 52) & 0xFFF,
                  static_cast<unsigned long long>(second & 0xFFFFFFFFFFFFull));
    return uuid;
}

std::vector<platform::ZipEntry> epubEntries(const std::vector<ChosenArticle>& chosen)
{
    const std::string bookTitle = "母豬養殖技術";
    std::vector<std::string> chapters;
    for (const ChosenArticle& article : chosen)
        chapters.push_back(chapter(article.parts));
    std::string manifest = "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" "
                           "properties=\"nav\"/>\n";
    std::string spine;
    std::string toc;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const std::string name = chapterName(i);
        const std::string id = std::string("c").append(std::to_string(i + 1));
        manifest += "<item id=\"" + id + "\" href=\"" + name + "\" media-type=\"application/xhtml+xml\"/>\n";
        spine += "<itemref idref=\"" + id + "\"/>\n";
        toc += "<li><a href=\"" + name + "\">" + xmlText(platform::gbk::toUtf8(chosen[i].parts.title)) + "</a></li>\n";
    }
    const std::string opf =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"book-id\" xml:lang=\"zh\">\n"
        "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "<dc:identifier id=\"book-id\">" + bookIdentifier(chapters) + "</dc:identifier>\n"
        "<dc:title>" + bookTitle + "</dc:title>\n<dc:language>zh</dc:language>\n"
        "<meta property=\"dcterms:modified\">" + platform::utcTimeText(std::chrono::duration_cast<std::chrono::seconds>(
                                                 std::chrono::system_clock::now().time_since_epoch())
                                                 .count()) + "</meta>\n</metadata>\n"
        "<manifest>\n" + manifest + "</manifest>\n<spine>\n" + spine + "</spine>\n</package>\n";
    std::vector<platform::ZipEntry> entries{
        {"mimetype", "application/epub+zip", false},
        {"META-INF/container.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
         "<rootfiles><rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
         "</rootfiles>\n</container>\n",
         true},
        {"OEBPS/content.opf", opf, true},
        {"OEBPS/nav.xhtml",
         xhtmlPage(bookTitle, "<nav epub:type=\"toc\" id=\"toc\">\n<h1>" + bookTitle + "</h1>\n<ol>\n" + toc +
                                  "</ol>\n</nav>\n"),
         true},
    };
    for (std::size_t i = 0; i < chapters.size(); ++i)
        entries.push_back({"OEBPS/" + chapterName(i), std::move(chapters[i]), true});
    return entries;
}

// An article file as UTF-8 with LF line ends.
std::string utf8Copy(const Text& fileText)
{
    return text::withLineFeeds(platform::gbk::toUtf8(fileText));
}

// The folder that holds `path` ("." for a bare name).
platform::Path folderOf(const platform::Path& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? platform::Path(".") : path.substr(0, std::max<std::size_t>(slash, 1));
}

// An export replaces a file of its own, never whatever else stands at the name.
platform::Status replaceableFile(const platform::Path& path)
{
    if (platform::fileKind(path) == platform::FileKind::Other)
        return platform::Failure{"exists and is not a regular file"};
    return {};
}

} // namespace

ExportResult exportStore(const SiteAccessor& site, const ExportRequest& request)
{
    ExportResult result;
    const SavedListings listings = readSavedListings(site);
    // The stored articles of the chosen pages, in listing order, each once.
    std::set<std::string> taken;
    const platform::FolderLookup stored(site.categoryFolder());
    std::vector<ChosenArticle> chosen;
    std::vector<Text> fileTexts;
    for (const auto& [page, entries] : listings) {
        if (page < request.from || (request.to && page > *request.to))
            continue;
        ++result.pages;
        for (const CatalogEntry& entry : entries) {
            if (!taken.insert(entry.title).second)
                continue;
            const articles::ArticleFile file = articles::findArticleFile(stored, entry.title);
            const auto bytes = file.state == articles::ArticleFile::State::Stored
                ? stored.readRegular(file.name, articles::MaxArticleFileBytes)
                : platform::Result<ByteSet>(platform::Failure{"not stored"});
            if (!bytes) {
                result.leftOut.push_back({entry.title, page});
                continue;
            }
            chosen.push_back({file.name, articles::parseArticleFile(*bytes)});
            fileTexts.push_back(*bytes);
        }
    }
    result.articles = static_cast<int>(chosen.size());
    if (chosen.empty()) {
        result.written = platform::Failure{"no stored article on the saved listing pages of that range"};
        return result;
    }
    platform::Status& written = result.written;
    if (request.epub) {
        // What a killed export left beside the book goes first; a device or a FIFO at the book's name is never
        // replaced.
        platform::removeStaleTemporaryFiles(folderOf(request.target));
        written = replaceableFile(request.target);
        if (written)
            written = platform::writeZipFile(request.target, epubEntries(chosen));
    } else {
        written = platform::ensureDirectories(request.target);
        if (written)
            platform::removeStaleTemporaryFiles(request.target);
        for (std::size_t i = 0; i < chosen.size() && written; ++i) {
            const platform::Path path = platform::joinPath(request.target, chosen[i].fileName);
            written = replaceableFile(path);
            if (written)
                written = platform::writeWholeFile(path, utf8Copy(fileTexts[i]));
        }
    }
    return result;
}

} // namespace library
