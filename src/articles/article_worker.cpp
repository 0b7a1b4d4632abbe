// The article worker.
#include "articles/article_worker.h"

#include "platform/file_system.h"
#include "platform/gbk_codec.h"

namespace articles {

const Text& failureMessage()
{
    static const Text text = platform::gbk::fromUtf8("文章獲取失敗，請聯繫開發者解決");
    return text;
}

const Text& notStoredMessage()
{
    static const Text text = platform::gbk::fromUtf8("本文尚未保存在本機，網站暫時無法連接，請稍後再試。");
    return text;
}

ArticleOutcome obtainArticle(const SiteAccessor& site, const Catalog& catalog, int number,
                             const std::function<Text()>& fallbackTitle, std::optional<std::uint64_t> generation)
{
    ArticleOutcome outcome;
    CatalogEntry working;
    // The range test and the copy are one step under the catalog's lock.
    std::uint64_t copied = 0;
    if (!catalog.copyEntry(number, working, &copied) || (generation && copied != *generation))
        return outcome;
    if (working.title.empty() && fallbackTitle)
        working.title = fallbackTitle();
    if (working.title.empty()) {
        outcome.kind = ArticleOutcome::Kind::NoTitle;
        return outcome;
    }
    ByteSet stored;
    const ArticleFile file = findArticleFile(platform::FolderLookup(site.categoryFolder()), working.title, &stored);
    const platform::Path path = file.name.empty() ? platform::Path() : platform::joinPath(site.categoryFolder(), file.name);
    outcome.path = path;
    if (file.state == ArticleFile::State::NotAFile) {
        outcome.kind = ArticleOutcome::Kind::NotAFile;
        return outcome;
    }
    if (file.state == ArticleFile::State::Stored) {
        outcome.content = std::move(stored);
        outcome.stored = true;
    } else {
        if (working.href.empty()) {
            outcome.kind = ArticleOutcome::Kind::NoAddress;
            return outcome;
        }
        const ArticleFetch fetched = site.fetchArticleInto(working.href, working);
        if (fetched == ArticleFetch::NotAnArticle)
            outcome.problem = "not an article page";
        outcome.siteSilent = fetched == ArticleFetch::SiteSilent;
        if (fetched == ArticleFetch::Obtained) {
            working.fileText = site.composeFileText(working);
            outcome.content = working.fileText;
            outcome.downloaded = true;
            // Shown even when the write fails; the next selection then downloads it again.
            const platform::Status written = path.empty()
                ? platform::Status(platform::Failure{"every file name it may take holds another article"})
                : platform::writeWholeFile(path, outcome.content);
            outcome.stored = written.ok();
            outcome.writeError = written.error();
        }
    }
    outcome.kind = outcome.content.empty() ? ArticleOutcome::Kind::Empty : ArticleOutcome::Kind::Shown;
    return outcome;
}

int runArticleWorker(platform::WindowPort& window, const Catalog& catalog, const SiteEnvironment& environment,
                     int number, const ArticleWorkerOptions& options)
{
    const SiteAccessor site(environment);
    // A number outside the catalog comes back as OutOfRange: the range test and the copy are one locked step.
    const ArticleOutcome outcome = obtainArticle(
        site, catalog, number, [&] { return window.itemText(platform::Control::ArticleList, number - 1); },
        options.generation);
    const auto show = [&](const Text& text) {
        return options.stillWanted ? window.replaceTextIf(text, options.stillWanted) : (window.replaceText(text), true);
    };
    switch (outcome.kind) {
    case ArticleOutcome::Kind::OutOfRange:
        return 0;
    case ArticleOutcome::Kind::NoTitle:
    case ArticleOutcome::Kind::NoAddress:
    case ArticleOutcome::Kind::NotAFile:
        show(failureMessage());
        return 0;
    case ArticleOutcome::Kind::Empty:
        if (outcome.siteSilent) {
            show(notStoredMessage());
            return 0;
        }
        [[fallthrough]];
    case ArticleOutcome::Kind::Shown:
        if (outcome.stored && (!options.generation || catalog.generation() == *options.generation))
            window.setItemChecked(platform::Control::ArticleList, number - 1, true);
        if (!show(outcome.content))
            return 0;
        break;
    }
    return window.text().empty() ? 0 : 1;
}

} // namespace articles
