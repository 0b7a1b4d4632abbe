// Article-page clean-up.
#include "articles/article_text.h"

#include "matching/gbk_text.h"
#include "matching/pattern_matcher.h"
#include "site/site_texts.h"

namespace articles {

Text cleanArticlePage(ByteSet page, CatalogEntry* entry)
{
    if (page.empty())
        return {};

    matching::PatternMatcher matcher;
    Text tagFree = matcher.replace(std::move(page), site::tagPattern());
    if (tagFree.empty())
        return matcher.getSubject();
    // The cuts below narrow a view of the tag-free text; the final clean-up moves what is kept to its front.
    std::string_view text = tagFree;

    // Cut everything up to the lead-in and the lead-in itself, and from its next occurrence on. The first match is
    // also the first occurrence of its text: an earlier one would have matched first.
    if (const auto leadIn = matcher.findFirst(text, site::leadInPattern())) {
        const std::size_t after = leadIn->offset + leadIn->length;
        const std::size_t next = matching::findText(text, text.substr(leadIn->offset, leadIn->length), after);
        text = text.substr(after, next == std::string_view::npos ? std::string_view::npos : next - after);
    }

    // Cut the notice sentence and everything behind it.
    const auto notice = matcher.findFirst(text, site::disclaimerPattern());
    if (entry)
        entry->disclaimer = notice ? Text(text.substr(notice->offset, notice->length)) : Text();
    if (notice)
        text = text.substr(0, notice->offset);

    // Only ASCII spaces go: Chinese paragraphs are indented with the ideographic space U+3000. The script residue
    // and the blank lines go after them, each from what the one before left.
    static constexpr matching::Erasure cleanUp[] = {{matching::Erasure::EachByte, " \t"},
                                                    {matching::Erasure::Occurrences, "a(\"conten\");"},
                                                    {matching::Erasure::Occurrences, "\r\n\r\n"}};
    const auto begin = static_cast<std::size_t>(text.data() - tagFree.data());
    // The entry's copy of the body is made as the clean-up goes, while each stretch is in the cache.
    Text body = matching::eraseInTurn(std::move(tagFree), cleanUp, begin, begin + text.size(), matching::EraseChunk,
                                      entry ? &entry->body : nullptr);
    if (entry)
        entry->author = site::unknownAuthor();
    return body;
}

} // namespace articles
