// SiteAccessor's article operations: extraction, the file text and loading a page's articles.
#include "site/site_accessor.h"

#include "articles/article_file.h"
#include "matching/gbk_text.h"
#include "matching/pattern_matcher.h"
#include "platform/threads.h"
#include "site/address.h"
#include "site/site_texts.h"

namespace {

// The whole text of the first match of `pattern` in `text`, or the empty text.
Text firstMatch(const Text& text, const Text& pattern)
{
    matching::PatternMatcher matcher;
    matching::MatchTable table;
    if (matcher.findAll(text, pattern, table) <= 0 || table.rows() < 1 || table.columns() < 1)
        return {};
    return table.at(1, 1);
}

} // namespace

platform::Path SiteAccessor::articleFilePath(const Text& title) const
{
    return platform::joinPath(categoryFolder(), articles::articleFileName(title));
}

Text SiteAccessor::fetchArticleText(const Text& address, CatalogEntry* entry) const
{
    if (address.empty())
        return {};
    const Text page = download(site::resolveAddress(address, indexPageAddress));
    if (page.empty())
        return {};

    matching::PatternMatcher matcher;
    Text text = matcher.replace(page, site::tagPattern());
    if (text.empty())
        return page;

    // Cut everything up to the lead-in, and the lead-in itself.
    const Text leadIn = firstMatch(text, site::leadInPattern());
    if (const auto pieces = matching::splitText(text, leadIn); !pieces.empty())
        text = Text(pieces.size() == 1 ? pieces[0] : pieces[1]);

    // Cut the notice sentence and everything behind it.
    const Text disclaimer = firstMatch(text, site::disclaimerPattern());
    if (entry)
        entry->disclaimer = disclaimer;
    if (const auto pieces = matching::splitText(text, disclaimer); !pieces.empty())
        text = Text(pieces[0]);

    // Only ASCII spaces go: Chinese paragraphs are indented with the ideographic space U+3000.
    text = matching::eraseByte(text, ' ');
    text = matching::eraseByte(text, '\t');
    text = matching::eraseAll(text, "a(\"conten\");");
    text = matching::eraseAll(text, "\r\n\r\n");
    if (entry) {
        entry->body = text;
        entry->author = site::unknownAuthor();
    }
    return text;
}

Text SiteAccessor::composeFileText(const CatalogEntry& entry) const
{
    Text text;
    text.reserve(entry.title.size() + entry.date.size() + entry.author.size() + entry.body.size() +
                 entry.disclaimer.size() + 8);
    text.append(entry.title).append("\r\n");
    text.append(entry.date).append("\r\n");
    text.append(entry.author).append("\r\n");
    text.append(entry.body).append("\r\n");
    text.append(entry.disclaimer);
    return text;
}

int SiteAccessor::loadPageArticles(Catalog& catalog) const
{
    const int count = catalog.count();
    if (count <= 0)
        return -1;
    int loaded = 0;
    for (int number = 1; number <= count && !platform::shutdownRequested(); ++number) {
        CatalogEntry working;
        if (!catalog.copyEntry(number, working))
            break; // the catalog was rebuilt meanwhile
        const platform::Path path = articleFilePath(working.title);
        if (platform::exists(path)) {
            ++loaded;
            continue;
        }
        const Text text = fetchArticleText(working.href, &working);
        if (text.empty())
            continue;
        working.body = text;
        const Text full = composeFileText(working);
        catalog.replace(number, working);
        // A failed write is not counted: the article is not stored, and the next load tries again.
        if (platform::writeWholeFile(path, full))
            ++loaded;
    }
    return loaded;
}
