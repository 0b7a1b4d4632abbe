// The search: a GBK pattern per word with every form of each character, run over the store on every core.
#include "library/search.h"

#include "library/stored_articles.h"
#include "matching/gbk_text.h"
#include "matching/pattern_matcher.h"
#include "platform/chinese_variants.h"
#include "platform/gbk_codec.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <mutex>
#include <optional>

namespace library {
namespace {

// A GBK pattern that finds `word` (UTF-8) with each Chinese character in any of its Simplified and Traditional forms
// and each ASCII letter in either case; nothing when some character has no form that GBK can write. Searched on the
// GBK bytes, it never starts or ends inside a double-byte character.
std::optional<Text> wordPattern(const std::string& word)
{
    Text pattern;
    for (std::size_t i = 0; i < word.size();) {
        const auto lead = static_cast<unsigned char>(word[i]);
        const std::size_t length = std::min(text::utf8SequenceLength(lead), word.size() - i);
        const std::string character = word.substr(i, length);
        i += length;
        if (lead < 0x80) {
            if (std::isalpha(lead)) {
                pattern += '[';
                pattern += static_cast<char>(std::tolower(lead));
                pattern += static_cast<char>(std::toupper(lead));
                pattern += ']';
            } else {
                if (!std::isalnum(lead))
                    pattern += '\\';
                pattern += static_cast<char>(lead);
            }
            continue;
        }
        std::vector<Text> forms;
        for (const std::string& form : platform::characterVariants(character)) {
            Text encoded = platform::gbk::fromUtf8(form);
            // A form GBK cannot write comes back as '?'.
            if (encoded.find('?') == Text::npos && std::find(forms.begin(), forms.end(), encoded) == forms.end())
                forms.push_back(std::move(encoded));
        }
        if (forms.empty())
            return std::nullopt;
        // In one order whichever form was typed, so that the same word gives the same pattern.
        std::sort(forms.begin(), forms.end());
        pattern += "(?:";
        for (std::size_t k = 0; k < forms.size(); ++k)
            pattern += (k > 0 ? "|" : "") + forms[k];
        pattern += ')';
    }
    return pattern;
}

// The byte ranges of the matches of `pattern` in `text`, in order.
std::vector<std::pair<std::size_t, std::size_t>> matchesOf(matching::PatternMatcher& matcher, std::string_view text,
                                                           const Text& pattern)
{
    std::vector<std::pair<std::size_t, std::size_t>> found;
    matching::SearchOptions options;
    for (long long start = 1; start <= static_cast<long long>(text.size());) {
        options.start = start;
        const auto match = matcher.findFirst(text, pattern, options);
        if (!match)
            break;
        found.emplace_back(match->offset, match->offset + match->length);
        start = static_cast<long long>(match->offset + std::max<std::size_t>(match->length, 1)) + 1;
    }
    return found;
}

// The line around byte `at` of `text`, at most `reach` characters to each side, in UTF-8, with where the ranges
// `marks` of `text` lie in it.
Context contextAround(std::string_view text, std::size_t at, std::vector<std::pair<std::size_t, std::size_t>> marks)
{
    constexpr int Reach = 30;
    std::size_t begin = text.rfind('\n', at);
    begin = begin == std::string_view::npos ? 0 : begin + 1;
    std::size_t end = std::min(text.find('\r', at), text.find('\n', at));
    end = std::min(end, text.size());
    // Whole characters only: walk forward from the line's start.
    std::vector<std::size_t> starts;
    for (std::size_t i = begin; i < end; i += std::max<std::size_t>(1, matching::characterLength(text, i)))
        starts.push_back(i);
    const auto index = static_cast<long>(std::lower_bound(starts.begin(), starts.end(), at) - starts.begin());
    const std::size_t first = starts.empty() ? begin : starts[static_cast<std::size_t>(std::max(0L, index - Reach))];
    const std::size_t last =
        index + Reach < static_cast<long>(starts.size()) ? starts[static_cast<std::size_t>(index + Reach)] : end;
    std::sort(marks.begin(), marks.end());
    Context shown;
    shown.text = first > begin ? "…" : "";
    std::size_t copied = first;
    for (const auto& [from, to] : marks) {
        if (from < copied || to > last)
            continue;
        shown.text += platform::gbk::toUtf8(text.substr(copied, from - copied));
        const std::size_t markStart = shown.text.size();
        shown.text += platform::gbk::toUtf8(text.substr(from, to - from));
        shown.marks.emplace_back(markStart, shown.text.size());
        copied = to;
    }
    shown.text += platform::gbk::toUtf8(text.substr(copied, last - copied));
    if (last < end)
        shown.text += "…";
    return shown;
}

// A date written "Y-M-D" as one comparable number.
long dateKey(std::string_view date)
{
    long key = 0;
    const char* at = date.data();
    const char* const end = date.data() + date.size();
    for (int part = 0; part < 3; ++part) {
        int value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        key = key * 100 + (error == std::errc() ? value : 0);
        at = error == std::errc() && next < end && *next == '-' ? next + 1 : end;
    }
    return key;
}

} // namespace

std::vector<std::string> distinctWords(const std::vector<std::string>& words)
{
    std::vector<std::string> distinct;
    std::vector<std::optional<Text>> patterns;
    for (const std::string& word : words) {
        std::optional<Text> pattern = wordPattern(word);
        if (std::find(patterns.begin(), patterns.end(), pattern) != patterns.end())
            continue;
        patterns.push_back(std::move(pattern));
        distinct.push_back(word);
    }
    return distinct;
}

SearchResult searchStore(const SiteAccessor& site, const std::vector<std::string>& words)
{
    SearchResult result;
    result.words = distinctWords(words);
    std::vector<Text> patterns;
    for (const std::string& word : result.words) {
        const std::optional<Text> pattern = wordPattern(word);
        if (!pattern)
            return result; // a word GBK cannot write is in no article
        patterns.push_back(*pattern);
    }
    std::mutex foundLock;
    // The snapshot file of earlier versions, in a format of their own, is no use now.
    platform::removeRegularFile(platform::joinPath(site.rootFolder(), ".varnholt-search-snapshot"));
    StoreSnapshot snapshot(searchSnapshotPath(site), std::chrono::system_clock::now(), snapshotFolders(site));
    forEachStoredArticle(site, snapshot, [&](StoredArticle& article) {
        matching::PatternMatcher matcher;
        const std::string_view text = article.text;
        int hits = 0;
        std::vector<std::pair<std::size_t, std::size_t>> all;
        for (const Text& pattern : patterns) {
            const auto matches = matchesOf(matcher, text, pattern);
            if (matches.empty())
                return;
            hits += static_cast<int>(matches.size());
            all.insert(all.end(), matches.begin(), matches.end());
        }
        const std::size_t first = std::min_element(all.begin(), all.end())->first;
        SearchHit hit{std::move(article.fileName), Text(article.title()), Text(article.date), 0, 0, hits,
                      contextAround(text, first, all), dateKey(article.date)};
        const std::lock_guard lock(foundLock);
        result.hits.push_back(std::move(hit));
    });
    const ListedPages listed = readListedPages(site, snapshot);
    for (SearchHit& hit : result.hits) {
        const ListedPages::Place place = listed.placeOf(hit.title);
        hit.page = place.page;
        hit.entry = place.entry;
    }
    snapshot.save();
    // The file name last, so that equal hits come in the same order on every run.
    std::sort(result.hits.begin(), result.hits.end(), [](const SearchHit& a, const SearchHit& b) {
        if (a.hits != b.hits)
            return a.hits > b.hits;
        if (a.dateKey != b.dateKey)
            return a.dateKey > b.dateKey;
        return a.fileName < b.fileName;
    });
    return result;
}

std::string Context::marked(const std::string& open, const std::string& close,
                            const std::function<std::string(const std::string&)>& render) const
{
    std::string shown;
    std::size_t copied = 0;
    for (const auto& [from, to] : marks) {
        shown += render(text.substr(copied, from - copied)) + open + render(text.substr(from, to - from)) + close;
        copied = to;
    }
    return shown + render(text.substr(copied));
}

} // namespace library
