// export --epub FILE / --text DIR [FROM[-TO]]: the stored articles of saved listing pages as an e-book or UTF-8 text.
#include "app/commands/commands.h"
#include "app/commands/output.h"

#include "library/export.h"

namespace commands {
namespace {

using library::ExportResult;

int exitCode(const ExportResult& result)
{
    if (result.articles == 0)
        return ExitNotShown;
    if (!result.written)
        return ExitOutput;
    return result.missing() > 0 ? ExitSomeFailed : ExitOk;
}

void reportLeftOut(const ExportResult& result, std::FILE* err)
{
    for (const library::LeftOut& article : result.leftOut)
        std::fprintf(err, "varnholt: not stored, left out: %s (page %d)\n", printable(utf8(article.title), false).c_str(),
                     article.page);
}

void printText(const ExportResult& result, std::FILE*, std::FILE* err)
{
    if (result.articles == 0)
        std::fprintf(err, "varnholt: no stored article on the saved listing pages of that range\n");
    else
        std::fprintf(err, "%s: %d articles from %d listing pages, %d left out\n",
                     result.written ? "exported" : "not exported", result.articles, result.pages, result.missing());
}

platform::Json jsonOf(const ExportResult& result, std::FILE*)
{
    return platform::Json::object()
        .set("pages", result.pages)
        .set("articles", result.articles)
        .set("missing", result.missing())
        .set("written", result.written.ok());
}

} // namespace

std::optional<int> exportCommand(const Invocation& run)
{
    library::ExportRequest request;
    const platform::CommandLine& line = run.line;
    request.epub = !line.epubFile.empty();
    request.target = request.epub ? line.epubFile : line.textFolder;
    if (line.epubFile.empty() == line.textFolder.empty() || run.operands.size() > 1 ||
        (run.operands.size() == 1 && !parseRange(run.operands[0], request.from, request.to)))
        return std::nullopt;
    const ExportResult result = library::exportStore(SiteAccessor(run.environment), request);
    reportLeftOut(result, run.err);
    if (result.articles > 0 && !result.written)
        std::fprintf(run.err, "varnholt: %s: %s\n", printable(request.target, false).c_str(),
                     printable(result.written.error(), false).c_str());
    return finish(run, result, exitCode(result), printText, jsonOf);
}

} // namespace commands
