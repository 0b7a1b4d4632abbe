// Article-page clean-up.
#include "articles/article_text.h"

#include "matching/gbk_text.h"
#include "matching/pattern_matcher.h"
#include "site/site_texts.h"

namespace articles {

std::optional<std::pair<std::size_t, std::size_t>> findLeadIn(std::string_view text)
{
    // What the lead-in pattern "【导读】.+\.\.\." finds: the first marker whose line holds "..." at least one byte
    // after it, up to the last "..." of that line, as the greedy run backing off would end. Searched as plain text,
    // so that a page without line breaks is not crossed once per marker.
    const Text& marker = site::leadInMarker();
    constexpr std::string_view Ellipsis = "...";
    for (std::size_t from = 0;;) {
        const std::size_t start = matching::findText(text, marker, from);
        if (start == std::string_view::npos)
            return std::nullopt;
        const std::size_t run = start + marker.size();
        const std::string_view line = text.substr(0, std::min(text.find('\n', run), text.size()));
        // "." never trails a double-byte character, so every "..." found starts one. Searched forwards: the page
        // holds few dots, and memchr passes over the rest faster than a search backwards from the line's end.
        std::size_t last = std::string_view::npos;
        for (std::size_t at = line.find(Ellipsis, run + 1); at != std::string_view::npos; at = line.find(Ellipsis, at + 1))
            last = at;
        if (last != std::string_view::npos)
            return std::pair{start, last + Ellipsis.size() - start};
        // A later marker on the same line has no "..." after it either.
        if (line.size() >= text.size())
            return std::nullopt;
        from = line.size() + 1;
    }
}

bool isArticlePage(std::string_view page, const Text& title)
{
    if (matching::findText(page, site::leadInMarker()) != std::string_view::npos)
        return true;
    static constexpr std::string_view Blanks[] = {" ", "\t"};
    const Text bareTitle = matching::eraseInTurn(title, Blanks);
    const Text barePage = matching::eraseInTurn(Text(page), Blanks);
    if (!bareTitle.empty() && matching::findText(barePage, bareTitle) != std::string_view::npos)
        return true;
    matching::PatternMatcher matcher;
    return matcher.findFirst(page, site::disclaimerPattern()).has_value();
}

Text cleanArticlePage(ByteSet page, CatalogEntry* entry)
{
    if (page.empty())
        return {};

    matching::PatternMatcher matcher;
    Text tagFree = matcher.replace(std::move(page), site::tagPattern());
    if (matcher.failed())
        return {};
    if (tagFree.empty())
        return matcher.getSubject();
    // The cuts below narrow a view of the tag-free text; the final clean-up moves what is kept to its front.
    std::string_view text = tagFree;

    // Cut everything up to the lead-in and the lead-in itself, and from its next occurrence on. The first match is
    // also the first occurrence of its text: an earlier one would have matched first.
    if (const auto leadIn = findLeadIn(text)) {
        const auto [offset, length] = *leadIn;
        const std::size_t after = offset + length;
        const std::size_t next = matching::findText(text, text.substr(offset, length), after);
        text = text.substr(after, next == std::string_view::npos ? std::string_view::npos : next - after);
    }

    // Cut the notice sentence and everything behind it.
    const auto notice = matcher.findFirst(text, site::disclaimerPattern());
    if (matcher.failed())
        return {};
    if (entry)
        entry->disclaimer = notice ? Text(text.substr(notice->offset, notice->length)) : Text();
    if (notice)
        text = text.substr(0, notice->offset);

    // Only ASCII spaces go: Chinese paragraphs are indented with the ideographic space U+3000. The script residue
    // and the blank lines go after them, each from what the one before left.
    static constexpr std::string_view cleanUp[] = {" ", "\t", "a(\"conten\");", "\r\n\r\n"};
    const auto begin = static_cast<std::size_t>(text.data() - tagFree.data());
    Text body = matching::eraseInTurn(std::move(tagFree), cleanUp, begin, begin + text.size());
    if (entry) {
        entry->body = body;
        entry->author = site::unknownAuthor();
    }
    return body;
}

} // namespace articles
