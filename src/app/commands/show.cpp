// show P N: one article, from its file or downloaded and stored first.
#include "app/commands/commands.h"
#include "app/commands/output.h"

#include "articles/article_worker.h"

namespace commands {
namespace {

struct ShowResult {
    int page = 0;
    int number = 0;
    ListingOutcome listing;
    bool shown = false;
    bool storeFailed = false; ///< shown, but it could not be stored
    int entries = -1;         ///< the listing's entries, when it loaded
    Text title;
    Text content; ///< the article file's text
};

ShowResult show(const SiteAccessor& site, int page, int number, std::FILE* err)
{
    ShowResult result;
    result.page = page;
    result.number = number;
    ListingLoad load = site.loadListing(page);
    result.listing = takeListing(load, page, err);
    if (load.problem)
        return result;
    result.entries = static_cast<int>(load.entries.size());
    Catalog catalog;
    catalog.replaceAll(std::move(load.entries));
    if (number <= catalog.count())
        result.title = catalog.entryCopy(number).title;
    const articles::ArticleOutcome outcome = articles::obtainArticle(site, catalog, number, {});
    result.shown = outcome.kind == articles::ArticleOutcome::Kind::Shown;
    if (result.shown)
        result.content = outcome.content;
    if (!outcome.problem.empty())
        std::fprintf(err, "varnholt: %s: %s\n", shownAddress(site, catalog.entryCopy(number).href).c_str(),
                     outcome.problem.c_str());
    if (outcome.kind == articles::ArticleOutcome::Kind::NotAFile)
        std::fprintf(err, "varnholt: %s: not a regular file; left alone\n", printable(outcome.path, false).c_str());
    if (!outcome.writeError.empty()) {
        std::fprintf(err, "varnholt: %s: %s\n", printable(outcome.path, false).c_str(),
                     printable(outcome.writeError, false).c_str());
        result.storeFailed = true;
    }
    return result;
}

int exitCode(const ShowResult& result)
{
    if (result.storeFailed)
        return ExitStore;
    // A listing that could not be read is the same cause as for `page`, with the same code.
    if (result.listing.problem)
        return ExitUnreadable;
    return result.shown ? ExitOk : ExitNotShown;
}

void reportProblems(const ShowResult& result, std::FILE* err)
{
    if (result.listing.problem) {
        reportUnloadedListing(result.page, result.listing, err);
        return;
    }
    if (result.number > result.entries)
        std::fprintf(err, "varnholt: page %d has %d entries\n", result.page, result.entries);
    else if (!result.shown)
        std::fprintf(err, "%s\n", utf8(articles::failureMessage()).c_str());
}

void printText(const ShowResult& result, std::FILE* out, std::FILE* err)
{
    reportProblems(result, err);
    if (result.shown)
        std::fputs(printable(displayText(result.content), true).c_str(), out);
}

platform::Json jsonOf(const ShowResult& result, std::FILE* err)
{
    reportProblems(result, err);
    if (!result.shown)
        return {};
    return platform::Json::object()
        .set("page", result.page)
        .set("source", sourceWord(result.listing.origin.source))
        .set("number", result.number)
        .set("title", utf8(result.title))
        .set("text", displayText(result.content));
}

} // namespace

std::optional<int> showCommand(const Invocation& run)
{
    const auto page = run.operands.size() == 2 ? positiveNumber(run.operands[0]) : std::nullopt;
    const auto number = run.operands.size() == 2 ? positiveNumber(run.operands[1]) : std::nullopt;
    if (!page || !number)
        return std::nullopt;
    if (!run.storeReady())
        return ExitStore;
    const ShowResult result = show(SiteAccessor(run.environment), *page, *number, run.err);
    return finish(run, result, exitCode(result), printText, jsonOf);
}

} // namespace commands
