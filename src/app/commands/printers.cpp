// Text and JSON renderings of the commands' results.
#include "app/commands/printers.h"

#include "articles/article_worker.h"
#include "platform/gbk_codec.h"
#include "platform/json.h"

#include <string>

namespace commands {
namespace {

std::string utf8(const Text& text)
{
    return platform::gbk::toUtf8(text);
}

// An article's text as a terminal shows it: UTF-8 with CR LF as LF, ending in a line break.
std::string displayText(const Text& text)
{
    std::string result = text::withLineFeeds(utf8(text));
    if (!result.ends_with('\n'))
        result += '\n';
    return result;
}

// A text for a terminal: control characters escaped as \\xNN, so that a title cannot forge a line or send the
// terminal an escape sequence. Line breaks and TABs stay where `keepLayout` (an article's own lines).
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

const char* sourceWord(ListingSource source)
{
    return source == ListingSource::Stored ? "stored" : "network";
}

// Why listing page `page` gave no entries.
void reportUnloadedListing(int page, const ListingOutcome& listing, std::FILE* err)
{
    std::string why;
    if (!listing.origin.reason.empty())
        why = "no saved copy with entries"; // the failed download has said why it brought nothing
    else if (listing.notGbk)
        why = "the page is not GBK text";
    else if (listing.code == -6)
        why = "the page is too complex to search";
    else
        why = "the page holds no entries";
    std::fprintf(err, "varnholt: listing page %d could not be loaded: %s\n", page, why.c_str());
}

void reportProblems(const PageResult& result, std::FILE* err)
{
    if (!result.loaded())
        reportUnloadedListing(result.page, result.listing, err);
}

void reportProblems(const ShowResult& result, std::FILE* err)
{
    if (result.listing.code <= 0)
        reportUnloadedListing(result.page, result.listing, err);
    if (!result.shown)
        std::fprintf(err, "%s\n", utf8(articles::failureMessage()).c_str());
}

int failedPages(const ArchiveResult& result)
{
    int failed = 0;
    for (const ArchivePage& page : result.pages)
        failed += !page.loaded;
    return failed;
}

void reportProblems(const ArchiveResult& result, std::FILE* err)
{
    if (!result.pageCountRead) {
        std::fprintf(err, "varnholt: the page count could not be read\n");
        return;
    }
    if (result.fromBeyondLastPage)
        return;
    const ArchivePage sum = result.totals();
    const char* ending = result.interrupted ? "interrupted" : result.storeFailed ? "stopped" : "done";
    std::fprintf(err,
                 "%s: pages %zu (failed %d), entries %d, stored before %d, downloaded now %d, failed articles %d, "
                 "not attempted %d, bytes %lld, seconds %.1f\n",
                 ending, result.pages.size(), failedPages(result), sum.entries, sum.storedBefore, sum.downloaded,
                 sum.failed, sum.skipped, result.bytes, result.seconds);
}

const char* stateWord(const PageEntry& entry)
{
    switch (entry.state) {
    case EntryState::Downloaded: return "downloaded";
    case EntryState::Stored: return "stored";
    case EntryState::Failed: return "failed";
    case EntryState::Skipped: return "skipped";
    }
    return "";
}

} // namespace

void printText(const CountsResult& result, std::FILE* out, std::FILE*)
{
    std::fprintf(out, "pages: %d\nentries: %d\n", result.pages, result.entries);
}

void printJson(const CountsResult& result, std::FILE* out, std::FILE*)
{
    printLine(platform::Json::object()
                  .set("pages", result.pages)
                  .set("entries", result.entries)
                  .set("source", sourceWord(result.origin.source)),
              out);
}

void printText(const PageResult& result, std::FILE* out, std::FILE* err)
{
    reportProblems(result, err);
    for (const PageEntry& entry : result.entries)
        std::fprintf(out, "%d\t%s\t%s\t%s\n", entry.number, printable(utf8(entry.entry.date), false).c_str(),
                     printable(utf8(entry.entry.title), false).c_str(), stateWord(entry));
}

void printJson(const PageResult& result, std::FILE* out, std::FILE* err)
{
    reportProblems(result, err);
    if (!result.loaded())
        return;
    platform::Json entries = platform::Json::array();
    for (const PageEntry& entry : result.entries)
        entries.add(platform::Json::object()
                        .set("number", entry.number)
                        .set("date", utf8(entry.entry.date))
                        .set("title", utf8(entry.entry.title))
                        .set("href", utf8(entry.entry.href))
                        .set("state", stateWord(entry)));
    printLine(platform::Json::object()
                  .set("page", result.page)
                  .set("source", sourceWord(result.listing.origin.source))
                  .set("entries", std::move(entries)),
              out);
}

void printText(const ShowResult& result, std::FILE* out, std::FILE* err)
{
    reportProblems(result, err);
    if (result.shown)
        std::fputs(printable(displayText(result.content), true).c_str(), out);
}

void printJson(const ShowResult& result, std::FILE* out, std::FILE* err)
{
    reportProblems(result, err);
    if (result.shown)
        printLine(platform::Json::object()
                      .set("page", result.page)
                      .set("source", sourceWord(result.listing.origin.source))
                      .set("number", result.number)
                      .set("title", utf8(result.title))
                      .set("text", displayText(result.content)),
                  out);
}

void printText(const ArchiveResult& result, std::FILE*, std::FILE* err)
{
    reportProblems(result, err);
}

void printJson(const ArchiveResult& result, std::FILE* out, std::FILE* err)
{
    reportProblems(result, err);
    if (!result.pageCountRead || result.fromBeyondLastPage)
        return;
    const ArchivePage sum = result.totals();
    platform::Json pages = platform::Json::array();
    for (const ArchivePage& page : result.pages) {
        pages.add(platform::Json::object()
                      .set("page", page.page)
                      .set("loaded", page.loaded)
                      .set("source", sourceWord(page.source))
                      .set("entries", page.entries)
                      .set("storedBefore", page.storedBefore)
                      .set("downloaded", page.downloaded)
                      .set("failed", page.failed)
                      .set("notAttempted", page.skipped));
    }
    printLine(platform::Json::object()
                  .set("from", result.from)
                  .set("to", result.to)
                  .set("pages", static_cast<int>(result.pages.size()))
                  .set("pagesFailed", failedPages(result))
                  .set("entries", sum.entries)
                  .set("storedBefore", sum.storedBefore)
                  .set("downloaded", sum.downloaded)
                  .set("failed", sum.failed)
                  .set("notAttempted", sum.skipped)
                  .set("bytes", result.bytes)
                  .set("seconds", result.seconds)
                  .set("interrupted", result.interrupted)
                  .set("storeFailed", result.storeFailed)
                  .set("pageResults", std::move(pages)),
              out);
}

void printText(const SearchResult& result, std::FILE* out, std::FILE* err)
{
    if (result.hits.empty())
        std::fprintf(err, "varnholt: no stored article holds every word\n");
    for (const SearchHit& hit : result.hits) {
        const std::string page = hit.page > 0 ? std::to_string(hit.page) : "-";
        std::fprintf(out, "%s\t%s\t%s\t%d\n\t%s\n", printable(utf8(hit.title), false).c_str(),
                     printable(utf8(hit.date), false).c_str(), page.c_str(), hit.hits,
                     printable(hit.context, false).c_str());
    }
}

void printJson(const SearchResult& result, std::FILE* out, std::FILE*)
{
    platform::Json words = platform::Json::array();
    for (const std::string& word : result.words)
        words.add(word);
    platform::Json hits = platform::Json::array();
    for (const SearchHit& hit : result.hits)
        hits.add(platform::Json::object()
                     .set("title", utf8(hit.title))
                     .set("date", utf8(hit.date))
                     .set("page", hit.page > 0 ? platform::Json(hit.page) : platform::Json())
                     .set("hits", hit.hits)
                     .set("context", hit.context)
                     .set("file", hit.fileName));
    printLine(platform::Json::object().set("words", std::move(words)).set("results", std::move(hits)), out);
}

void printText(const ExportResult& result, std::FILE*, std::FILE* err)
{
    if (result.articles == 0)
        std::fprintf(err, "varnholt: no stored article on the saved listing pages of that range\n");
    else
        std::fprintf(err, "%s: %d articles from %d listing pages, %d left out\n",
                     result.written ? "exported" : "not exported", result.articles, result.pages, result.missing);
}

void printJson(const ExportResult& result, std::FILE* out, std::FILE*)
{
    printLine(platform::Json::object()
                  .set("pages", result.pages)
                  .set("articles", result.articles)
                  .set("missing", result.missing)
                  .set("written", result.written),
              out);
}

} // namespace commands
