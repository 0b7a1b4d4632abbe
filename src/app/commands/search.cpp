// search WORD...: the stored articles that hold every word, Simplified and Traditional alike.
#include "app/commands/commands.h"
#include "app/commands/output.h"

#include "library/search.h"

namespace commands {
namespace {

using library::SearchHit;
using library::SearchResult;

// The matches in bold red where the terminal takes colours, else between « and »; the line's own text escaped.
std::string shownContext(const library::Context& context, bool colours)
{
    const auto render = [](const std::string& piece) { return printable(piece, false); };
    return colours ? context.marked("\033[1;31m", "\033[0m", render) : context.marked("«", "»", render);
}

void printText(const SearchResult& result, std::FILE* out, std::FILE* err)
{
    if (result.hits.empty())
        std::fprintf(err, "varnholt: no stored article holds every word\n");
    const bool colours = platform::standardOutputIsTerminal() && platform::coloursAllowed();
    for (const SearchHit& hit : result.hits) {
        const std::string page = hit.page > 0 ? std::to_string(hit.page) : "-";
        std::fprintf(out, "%s\t%s\t%s\t%d\n\t%s\n", printable(utf8(hit.title), false).c_str(),
                     printable(utf8(hit.date), false).c_str(), page.c_str(), hit.hits,
                     shownContext(hit.context, colours).c_str());
    }
}

platform::Json jsonOf(const SearchResult& result, std::FILE*)
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
                     .set("entry", hit.entry > 0 ? platform::Json(hit.entry) : platform::Json())
                     .set("hits", hit.hits)
                     .set("context", hit.context.marked("«", "»", [](const std::string& piece) { return piece; }))
                     .set("file", hit.fileName));
    return platform::Json::object().set("words", std::move(words)).set("results", std::move(hits));
}

} // namespace

std::optional<int> searchCommand(const Invocation& run)
{
    if (run.operands.empty() || library::distinctWords(run.operands).size() > library::MaxSearchWords)
        return std::nullopt;
    const SearchResult result = library::searchStore(SiteAccessor(run.environment), run.operands);
    return finish(run, result, result.hits.empty() ? ExitNotShown : ExitOk, printText, jsonOf);
}

} // namespace commands
