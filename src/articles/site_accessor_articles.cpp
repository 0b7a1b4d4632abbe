// SiteAccessor's article operations: extraction, the file text and loading a page's articles.
#include "site/site_accessor.h"

#include "articles/article_file.h"
#include "articles/article_text.h"
#include "platform/threads.h"
#include "site/address.h"

#include <cstdint>
#include <optional>

platform::Path SiteAccessor::articleFilePath(const Text& title) const
{
    const articles::ArticleFile file = articles::findArticleFile(platform::FolderLookup(categoryPath), title);
    return file.name.empty() ? platform::Path() : platform::joinPath(categoryPath, file.name);
}

Text SiteAccessor::fetchArticleText(const Text& address, CatalogEntry* entry) const
{
    if (address.empty())
        return {};
    return articles::cleanArticlePage(download(site::resolveAddress(address, indexPageAddress)), entry);
}

ArticleFetch SiteAccessor::fetchArticleInto(const Text& address, CatalogEntry& entry) const
{
    if (address.empty())
        return ArticleFetch::DownloadFailed;
    const platform::DownloadResult downloaded = fetchResult(site::resolveAddress(address, indexPageAddress));
    ByteSet page = downloaded.body;
    if (page.empty())
        return downloaded.siteSilent() ? ArticleFetch::SiteSilent : ArticleFetch::DownloadFailed;
    // Whatever is stored stands for the article for ever, since a stored article is never downloaded again: a page
    // that is not the article (a login portal met mid-run, a "no such article" page) must not get there.
    if (!articles::isArticlePage(page, entry.title))
        return ArticleFetch::NotAnArticle;
    CatalogEntry filled = entry;
    filled.author.clear();
    const Text text = articles::cleanArticlePage(std::move(page), &filled);
    // A page of only mark-up comes back whole without filling the entry.
    if (text.empty() || filled.author.empty())
        return ArticleFetch::NoText;
    // The body that came with the author is the returned text already.
    entry = std::move(filled);
    return ArticleFetch::Obtained;
}

Text SiteAccessor::composeFileText(const CatalogEntry& entry) const
{
    return articles::composeArticleFile(entry);
}

int SiteAccessor::loadPageArticles(Catalog& catalog, const ArticleObserver& observer) const
{
    const int count = catalog.count();
    if (count <= 0)
        return -1;
    int loaded = 0;
    // A page is mostly tested for stored articles: each test looks up one name in the held folder.
    const platform::FolderLookup stored(categoryPath);
    CatalogEntry working;
    std::optional<std::uint64_t> page; // the generation of the entries this load works on
    for (int number = 1; number <= count && !platform::shutdownRequested(); ++number) {
        std::uint64_t generation = 0;
        if (!catalog.copyEntry(number, working, &generation) || (page && generation != *page))
            break; // the catalog was rebuilt meanwhile
        page = generation;
        const articles::ArticleFile file = articles::findArticleFile(stored, working.title);
        ArticleReport report{number, ArticleState::Stored, platform::joinPath(categoryPath, file.name), {}};
        const auto tell = [&](ArticleState state) {
            report.state = state;
            if (observer)
                observer(report);
        };
        // Only a regular file holding this title's article is a stored article. Anything else there is neither read
        // nor replaced.
        if (file.state != articles::ArticleFile::State::Free) {
            loaded += file.state == articles::ArticleFile::State::Stored;
            if (file.state == articles::ArticleFile::State::NoName)
                report.detail = "every file name it may take holds another article";
            tell(file.state == articles::ArticleFile::State::Stored ? ArticleState::Stored
                 : file.state == articles::ArticleFile::State::NotAFile ? ArticleState::NotAFile
                                                                         : ArticleState::Failed);
            continue;
        }
        if (const ArticleFetch fetched = fetchArticleInto(working.href, working); fetched != ArticleFetch::Obtained) {
            // A download cut off because the program is stopping did not fail: the entry was not reached.
            if (platform::shutdownRequested())
                break;
            if (fetched == ArticleFetch::NotAnArticle)
                report.detail = "not an article page";
            report.siteSilent = fetched == ArticleFetch::SiteSilent;
            tell(ArticleState::Failed);
            continue;
        }
        const Text full = composeFileText(working);
        catalog.replace(number, working, page);
        // A failed write is not counted: the article is not stored, and the next load tries again.
        if (const platform::Status written = platform::writeWholeFile(report.path, full); !written) {
            report.detail = written.error();
            tell(ArticleState::NotWritten);
            break;
        }
        ++loaded;
        tell(ArticleState::Downloaded);
    }
    return loaded;
}
