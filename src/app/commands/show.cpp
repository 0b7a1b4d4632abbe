// show P N: one article, from its file or downloaded and stored first.
#include "app/commands/commands.h"

#include "articles/article_worker.h"

namespace commands {

ShowResult runShow(const SiteAccessor& site, int page, int number, std::FILE* err)
{
    ShowResult result;
    result.page = page;
    result.number = number;
    ListingLoad load = site.loadListing(page);
    result.listing = takeListing(load, page, err);
    if (load.result <= 0)
        return result;
    Catalog catalog;
    catalog.replaceAll(std::move(load.entries));
    if (number <= catalog.count())
        result.title = catalog.entryCopy(number).title;
    const articles::ArticleOutcome outcome = articles::obtainArticle(site, catalog, number, {});
    result.shown = outcome.kind == articles::ArticleOutcome::Kind::Shown;
    if (result.shown)
        result.content = outcome.content;
    if (outcome.kind == articles::ArticleOutcome::Kind::NotAFile)
        std::fprintf(err, "varnholt: %s: not a regular file; left alone\n", outcome.path.c_str());
    if (!outcome.writeError.empty()) {
        std::fprintf(err, "varnholt: %s: %s\n", outcome.path.c_str(), outcome.writeError.c_str());
        result.storeFailed = true;
    }
    return result;
}

int exitCode(const ShowResult& result)
{
    if (result.storeFailed)
        return ExitStore;
    return result.shown ? ExitOk : ExitNotShown;
}

} // namespace commands
