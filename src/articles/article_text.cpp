// Article-page clean-up.
#include "articles/article_text.h"

#include "matching/gbk_text.h"
#include "matching/pattern_matcher.h"
#include "site/site_texts.h"

namespace articles {
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

Text cleanArticlePage(const ByteSet& page, CatalogEntry* entry)
{
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

} // namespace articles
