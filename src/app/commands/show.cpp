// show P N: one article, from its file or downloaded and stored first.
#include "app/commands/commands.h"

#include "articles/article_worker.h"

namespace commands {

ShowResult runShow(const SiteAccessor& site, int page, int number)
{
    ShowResult result;
    result.page = page;
    result.number = number;
    Catalog catalog;
    if (site.loadCatalog(page, catalog) <= 0)
        return result;
    result.listingLoaded = true;
    if (number <= catalog.count())
        result.title = catalog.entryCopy(number).title;
    const articles::ArticleOutcome outcome = articles::obtainArticle(site, catalog, number, {});
    result.shown = outcome.kind == articles::ArticleOutcome::Kind::Shown;
    if (result.shown)
        result.content = outcome.content;
    return result;
}

int exitCode(const ShowResult& result)
{
    return result.shown ? ExitOk : ExitNotShown;
}

} // namespace commands
