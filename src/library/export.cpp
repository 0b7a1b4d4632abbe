// The export: the stored articles of saved listing pages as an EPUB book or as UTF-8 text files.
#include "library/export.h"

#include "library/stored_articles.h"
#include "articles/article_file.h"
#include "articles/article_worker.h"
#include "platform/gbk_codec.h"
#include "platform/time_text.h"
#include "platform/zip_file.h"
#include "site/listing.h"

#include <chrono>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <set>
#include <string_view>

namespace library {
namespace {

/// An article going into the export.
struct ChosenArticle {
    std::string fileName;
    articles::ArticleParts parts;
};

// UTF-8 text as XML character data: the markup characters escaped, and the characters XML does not allow (the C0
// controls but TAB, U+FFFE, U+FFFF) dropped. A title or body is untrusted: it must never break the book.
std::string xmlText(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default:
            if (text.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < text.size() &&
                (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
                i += 2;
                continue;
            }
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                escaped += c;
        }
    }
    return escaped;
}

// `text` without the white space around it, ideographic spaces (U+3000) included.
std::string trimmedWide(std::string text)
{
    constexpr std::string_view Ideographic = "\xE3\x80\x80";
    auto blankAt = [&](std::size_t at) {
        return std::string_view(text).substr(at).starts_with(Ideographic) ? Ideographic.size()
               : at < text.size() && std::string_view(" \t\r\n").find(text[at]) != std::string_view::npos ? 1
                                                                                                       : 0;
    };
    std::size_t first = 0;
    while (const std::size_t blank = blankAt(first))
        first += blank;
    text.erase(0, first);
    while (!text.empty()) {
        if (text.ends_with(Ideographic))
            text.resize(text.size() - Ideographic.size());
        else if (std::string_view(" \t\r\n").find(text.back()) != std::string_view::npos)
            text.pop_back();
        else
            break;
    }
    return text;
}

// A title as the book shows it: what XML keeps of it, or a word that says it has none.
std::string bookTitleOf(const Text& title)
{
    const std::string kept = trimmedWide(xmlText(platform::gbk::toUtf8(title)));
    return kept.empty() ? "（無題）" : kept;
}

// The bodies are the site's Simplified Chinese; the book's name and the words it adds are Traditional.
constexpr const char* BodyLanguage = "zh-Hans";
constexpr const char* BookLanguage = "zh-Hant";

std::string xhtmlPage(const std::string& title, const std::string& body, const char* language = BodyLanguage)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
                       "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\" lang=\"") +
           language + "\" xml:lang=\"" + language +
           "\">\n<head>\n<meta charset=\"UTF-8\"/>\n<title>" + title +
           "</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"style.css\"/>\n</head>\n<body>\n" + body +
           "</body>\n</html>\n";
}

// Set for reading on a small screen: open lines, paragraphs indented by two characters as the articles are, no gap
// between them, headings that do not run into the text.
constexpr std::string_view StyleSheet =
    "body { margin: 0 0.6em; line-height: 1.8; text-align: justify; }\n"
    "h1 { font-size: 1.3em; line-height: 1.5; margin: 1em 0 0.3em 0; text-align: left; }\n"
    "p { margin: 0; text-indent: 2em; }\n"
    "p.date { text-indent: 0; margin-bottom: 1em; color: #666666; font-size: 0.9em; }\n"
    "nav ol { list-style-type: none; padding-left: 0; }\n"
    "nav li { margin: 0.3em 0; }\n"
    "div.cover { text-align: center; margin-top: 30%; }\n"
    "div.cover h1 { font-size: 2em; text-align: center; margin-bottom: 1em; }\n"
    "div.cover p { text-indent: 0; }\n";

std::string chapterName(std::size_t index)
{
    char name[48];
    std::snprintf(name, sizeof name, "chapter-%04zu.xhtml", index + 1);
    return name;
}

// One chapter: the title as heading, the date, and each line of the body as a paragraph.
std::string chapter(const articles::ArticleParts& parts)
{
    const std::string title = bookTitleOf(parts.title);
    std::string body = "<h1>" + title + "</h1>\n<p class=\"date\">" + xmlText(platform::gbk::toUtf8(parts.date)) +
                       "</p>\n";
    const std::string text = platform::gbk::toUtf8(parts.body);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        // The style sheet indents each paragraph; the line's own leading spaces would indent it twice.
        const std::string line = trimmedWide(xmlText(text.substr(start, end - start)));
        if (!line.empty())
            body += "<p>" + line + "</p>\n";
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

// What the book is made of and tells about itself.
struct BookFacts {
    std::string title;   ///< the category's name, with the pages when not all of them
    std::string source;  ///< the category's address
    std::string site;    ///< the site's host, as the publisher
};

std::string coverImage(const BookFacts& book, std::size_t articles)
{
    const std::string count = std::to_string(articles) + " 篇文章";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" viewBox=\"0 0 600 800\" width=\"600\" "
           "height=\"800\">\n<title>" + book.title + "</title>\n"
           "<rect width=\"600\" height=\"800\" fill=\"#f4efe4\"/>\n"
           "<rect x=\"30\" y=\"30\" width=\"540\" height=\"740\" fill=\"none\" stroke=\"#8a6d3b\" stroke-width=\"4\"/>\n"
           "<text x=\"300\" y=\"330\" text-anchor=\"middle\" font-size=\"64\" fill=\"#3b2f1e\">母豬養殖技術</text>\n" +
           (book.title.size() > std::string_view("母豬養殖技術").size()
                ? "<text x=\"300\" y=\"420\" text-anchor=\"middle\" font-size=\"36\" fill=\"#3b2f1e\">" +
                      book.title.substr(std::string_view("母豬養殖技術 ").size()) + "</text>\n"
                : std::string()) +
           "<text x=\"300\" y=\"520\" text-anchor=\"middle\" font-size=\"28\" fill=\"#5c4a30\">" + count +
           "</text>\n<text x=\"300\" y=\"700\" text-anchor=\"middle\" font-size=\"22\" fill=\"#5c4a30\">" + book.site +
           "</text>\n</svg>\n";
}

std::string navigationFile(const BookFacts& book, const std::string& identifier,
                           const std::vector<ChosenArticle>& chosen)
{
    std::string points;
    for (std::size_t i = 0; i < chosen.size(); ++i)
        points += "<navPoint id=\"n" + std::to_string(i + 1) + "\" playOrder=\"" + std::to_string(i + 1) +
                  "\"><navLabel><text>" + bookTitleOf(chosen[i].parts.title) + "</text></navLabel><content src=\"" +
                  chapterName(i) + "\"/></navPoint>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\" xml:lang=\"" +
           std::string(BookLanguage) + "\">\n<head>\n<meta name=\"dtb:uid\" content=\"" + identifier +
           "\"/>\n<meta name=\"dtb:depth\" content=\"1\"/>\n<meta name=\"dtb:totalPageCount\" content=\"0\"/>\n"
           "<meta name=\"dtb:maxPageNumber\" content=\"0\"/>\n</head>\n<docTitle><text>" + book.title +
           "</text></docTitle>\n<navMap>\n" + points + "</navMap>\n</ncx>\n";
}

std::vector<platform::ZipEntry> epubEntries(const BookFacts& book, const std::vector<ChosenArticle>& chosen)
{
    std::vector<std::string> chapters;
    for (const ChosenArticle& article : chosen)
        chapters.push_back(chapter(article.parts));
    const std::string identifier = bookIdentifier(chapters);
    std::string manifest =
        "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n"
        "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n"
        "<item id=\"style\" href=\"style.css\" media-type=\"text/css\"/>\n"
        "<item id=\"cover-image\" href=\"cover.svg\" media-type=\"image/svg+xml\" properties=\"cover-image\"/>\n"
        "<item id=\"cover\" href=\"cover.xhtml\" media-type=\"application/xhtml+xml\" properties=\"svg\"/>\n";
    std::string spine = "<itemref idref=\"cover\" linear=\"no\"/>\n<itemref idref=\"nav\"/>\n";
    std::string toc;
    std::string newest;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const std::string name = chapterName(i);
        const std::string id = std::string("c").append(std::to_string(i + 1));
        manifest += "<item id=\"" + id + "\" href=\"" + name + "\" media-type=\"application/xhtml+xml\"/>\n";
        spine += "<itemref idref=\"" + id + "\"/>\n";
        toc += "<li><a href=\"" + name + "\">" + bookTitleOf(chosen[i].parts.title) + "</a></li>\n";
        newest = std::max(newest, site::isoDate(chosen[i].parts.date));
    }
    const std::string opf =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"book-id\" xml:lang=\"" +
        std::string(BodyLanguage) + "\">\n<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
        "<dc:identifier id=\"book-id\">" + identifier + "</dc:identifier>\n"
        "<dc:title xml:lang=\"" + BookLanguage + "\">" + book.title + "</dc:title>\n"
        "<dc:language>" + BodyLanguage + "</dc:language>\n"
        "<dc:creator>" + book.site + "</dc:creator>\n"
        "<dc:publisher>" + book.site + "</dc:publisher>\n"
        "<dc:source>" + book.source + "</dc:source>\n"
        "<dc:description xml:lang=\"" + BookLanguage + "\">" + std::to_string(chosen.size()) +
        " 篇文章，取自 " + book.source + "</dc:description>\n" +
        (newest.empty() ? std::string() : "<dc:date>" + newest + "</dc:date>\n") +
        "<meta name=\"cover\" content=\"cover-image\"/>\n"
        "<meta property=\"dcterms:modified\">" + platform::utcTimeText(std::chrono::duration_cast<std::chrono::seconds>(
                                                 std::chrono::system_clock::now().time_since_epoch())
                                                 .count()) + "</meta>\n</metadata>\n"
        "<manifest>\n" + manifest + "</manifest>\n<spine toc=\"ncx\">\n" + spine + "</spine>\n</package>\n";
    const std::string cover = xhtmlPage(
        book.title,
        "<div class=\"cover\">\n<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "version=\"1.1\" viewBox=\"0 0 600 800\" width=\"100%\" height=\"100%\" preserveAspectRatio=\"xMidYMid meet\">"
        "<image width=\"600\" height=\"800\" xlink:href=\"cover.svg\"/></svg>\n</div>\n",
        BookLanguage);
    std::vector<platform::ZipEntry> entries{
        {"mimetype", "application/epub+zip", false},
        {"META-INF/container.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
         "<rootfiles><rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>"
         "</rootfiles>\n</container>\n",
         true},
        {"OEBPS/content.opf", opf, true},
        {"OEBPS/style.css", std::string(StyleSheet), true},
        {"OEBPS/cover.svg", coverImage(book, chosen.size()), true},
        {"OEBPS/cover.xhtml", cover, true},
        {"OEBPS/toc.ncx", navigationFile(book, identifier, chosen), true},
        {"OEBPS/nav.xhtml",
         xhtmlPage(book.title,
                   "<nav epub:type=\"toc\" id=\"toc\">\n<h1>" + book.title + "</h1>\n<ol>\n" + toc + "</ol>\n</nav>\n",
                   BookLanguage),
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

BookFacts bookFacts(const SiteAccessor& site, const ExportRequest& request, int firstPage, int lastPage)
{
    BookFacts book;
    book.title = "母豬養殖技術";
    // A book of some pages says which; one of every saved page is the category's book.
    if (request.from > 1 || request.to)
        book.title += firstPage == lastPage ? " 第" + std::to_string(firstPage) + "頁"
                                            : " 第" + std::to_string(firstPage) + "–" + std::to_string(lastPage) + "頁";
    book.source = xmlText(platform::gbk::toUtf8(site.indexPageAddress));
    const std::size_t host = book.source.find("://");
    book.site = host == std::string::npos ? book.source
                                          : book.source.substr(host + 3, book.source.find('/', host + 3) - host - 3);
    return book;
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
    int firstPage = 0, lastPage = 0;
    for (const auto& [page, entries] : listings) {
        if (page < request.from || (request.to && page > *request.to))
            continue;
        ++result.pages;
        firstPage = firstPage == 0 ? page : firstPage;
        lastPage = page;
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
            written = platform::writeZipFile(request.target, epubEntries(bookFacts(site, request, firstPage, lastPage),
                                                                          chosen));
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
