// PatternMatcher: the match table, findAll's restart rule, replace and matches over the engine.
#include "matching/pattern_matcher.h"

#include "matching/gbk_text.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace matching {

MatchTable::MatchTable(int rows, int columns, std::vector<Text> cells)
    : rowCount(rows), columnCount(columns), cells(std::move(cells))
{
    assert(rows >= 0 && columns >= 0 && this->cells.size() == static_cast<std::size_t>(rows) * columns &&
           "MatchTable cells do not fill the table");
}

const Text& MatchTable::at(int row, int column) const
{
    assert(row >= 1 && row <= rowCount && "MatchTable row out of range");
    assert(column >= 1 && column <= columnCount && "MatchTable column out of range");
    return cells[static_cast<std::size_t>(row - 1) * columnCount + static_cast<std::size_t>(column - 1)];
}

void PatternMatcher::reset()
{
    subject.clear();
    pattern.clear();
    matchFlag = 0;
    compileFlag = false;
    engineFailed = false;
}

bool PatternMatcher::setSubject(Text text)
{
    if (text.empty())
        return false;
    subject = std::move(text);
    return true;
}

bool PatternMatcher::setPattern(Text text)
{
    if (text.empty())
        return false;
    pattern = std::move(text);
    return true;
}

bool PatternMatcher::setMatchFlag(std::int32_t flag)
{
    matchFlag = flag;
    compiledPattern.setMatchFlag(flag);
    return true;
}

bool PatternMatcher::setCompileFlag(bool flag)
{
    compileFlag = flag;
    return true;
}

int PatternMatcher::groupCount() const
{
    return compiledPattern.subExpressionCount();
}

std::pair<long long, long long> PatternMatcher::prepareSearch(const SearchOptions& options, std::size_t subjectSize,
                                                              CompiledPattern& target)
{
    matchFlag = options.matchFlag.value_or(matchFlag);
    compileFlag = options.compileFlag.value_or(compileFlag);
    target.compile(pattern, compileFlag);
    target.setMatchFlag(matchFlag);
    return {options.start.value_or(1), options.end.value_or(static_cast<long long>(subjectSize))};
}

int PatternMatcher::findAll(Text subjectText, Text patternText, MatchTable& table, const SearchOptions& options)
{
    reset();
    if (!setSubject(std::move(subjectText)))
        return EmptySubject;
    if (!setPattern(std::move(patternText)))
        return EmptyPattern;
    const auto [start, end] = prepareSearch(options, subject.size(), compiledPattern);

    const int groups = groupCount();
    const EngineSubject prepared(subject);
    std::vector<Text> cells;
    long long position = start;
    for (;;) {
        const SearchResult result = compiledPattern.search(prepared, position, end - position + 1);
        if (result.failed) {
            engineFailed = true;
            return SearchFailed;
        }
        if (result.isEmpty())
            break;
        const auto [matchBegin, matchEnd] = result.byteRange(0);
        cells.emplace_back(subject, matchBegin, matchEnd - matchBegin);
        const auto matchStart = static_cast<long long>(matchBegin) + 1;
        if (groups == 0) {
            // Restart on the match's last byte, so consecutive matches may overlap. Where that byte ends a
            // double-byte character, the search starts with the whole character.
            if (matchEnd > matchBegin)
                position = static_cast<long long>(characterStart(subject, matchEnd - 1, matchBegin)) + 1;
        } else {
            // Restart where the last group starts; a group that took no part leaves the position as it was.
            for (int k = 1; k <= groups; ++k) {
                const auto [groupBegin, groupEnd] = result.byteRange(k);
                if (groupBegin == SearchResult::Unset) {
                    cells.emplace_back();
                    continue;
                }
                cells.emplace_back(subject, groupBegin, groupEnd - groupBegin);
                position = static_cast<long long>(groupBegin) + 1;
            }
        }
        // A restart that does not move forward would find the same match for ever.
        if (position <= matchStart)
            position = matchStart + static_cast<long long>(
                           std::max<std::size_t>(1, characterLength(subject, static_cast<std::size_t>(matchStart - 1))));
        if (position > end)
            break;
    }
    if (cells.empty())
        return NoMatch;
    const int rows = static_cast<int>(cells.size() / static_cast<std::size_t>(groups + 1));
    table = MatchTable(rows, groups + 1, std::move(cells));
    return rows;
}

std::optional<MatchSpan> PatternMatcher::findFirst(std::string_view subjectText, Text patternText,
                                                   const SearchOptions& options)
{
    reset();
    if (subjectText.empty() || !setPattern(std::move(patternText)))
        return std::nullopt;
    const auto [start, end] = prepareSearch(options, subjectText.size(), compiledPattern);
    const EngineSubject prepared(subjectText);
    const SearchResult result = compiledPattern.search(prepared, start, end - start + 1);
    engineFailed = result.failed;
    if (result.isEmpty())
        return std::nullopt;
    const auto [first, last] = result.byteRange(0);
    return MatchSpan{first, last - first};
}

bool PatternMatcher::matches(Text text, Text patternText, std::optional<std::int32_t> flag,
                             std::optional<bool> caseless)
{
    reset();
    if (!setSubject(std::move(text)) || !setPattern(std::move(patternText)))
        return false;
    // A compiled pattern of its own: `compiledPattern` keeps its last compilation.
    CompiledPattern temporary;
    prepareSearch({caseless, flag, {}, {}}, subject.size(), temporary);
    const SearchResult result = temporary.search(EngineSubject(subject), 1, static_cast<long long>(subject.size()));
    engineFailed = result.failed;
    return !result.isEmpty();
}

Text PatternMatcher::replace(Text subjectText, Text patternText, const ReplaceOptions& options)
{
    reset();
    if (!setSubject(std::move(subjectText)) || !setPattern(std::move(patternText)))
        return {};
    const auto [start, end] = prepareSearch(options, subject.size(), compiledPattern);
    std::optional<Text> replaced = compiledPattern.replace(subject, options.replacement, start, end - start + 1,
                                                           options.replaceAll, options.wholeText);
    engineFailed = !replaced;
    return replaced ? std::move(*replaced) : Text();
}

} // namespace matching
