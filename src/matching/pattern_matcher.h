// PatternMatcher, the one class through which the program uses regular expressions, and the table findAll fills.
#pragma once

#include "matching/regex_engine.h"
#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace matching {

/// Row r is match r; column 1 is the whole match and column k + 1 capturing group k. One-based at the interface.
class MatchTable {
public:
    MatchTable() = default;
    /// `cells` holds rows * columns texts, row after row.
    MatchTable(int rows, int columns, std::vector<Text> cells);

    /// The table always has two dimensions; their sizes are `rows()` and `columns()`.
    static constexpr int dimensions() { return 2; }
    int rows() const { return rowCount; }
    int columns() const { return columnCount; }
    bool isEmpty() const { return rowCount == 0; }
    /// The cell [row][column]; the caller has checked 1 <= row <= rows() and 1 <= column <= columns().
    const Text& at(int row, int column) const;

private:
    int rowCount = 0;
    int columnCount = 0;
    std::vector<Text> cells;
};

/// Return codes of `PatternMatcher::findAll` when it finds nothing.
/// `SearchFailed`: the engine gave up on a search (its match limit, or another error that is not "no match"), so
/// the matches found are not all there are.
enum FindAllCode : int { EmptySubject = -1, EmptyPattern = -2, NoMatch = -3, NoRows = -4, SearchFailed = -6 };

/// Optional arguments of `findAll` and `replace`. Positions are one-based byte positions in the subject; a left-out
/// start is 1 and a left-out end is the subject's byte length.
struct SearchOptions {
    std::optional<bool> compileFlag;       ///< true: letters match either case
    std::optional<std::int32_t> matchFlag; ///< engine match option bits
    std::optional<long long> start;
    std::optional<long long> end;
};

struct ReplaceOptions : SearchOptions {
    Text replacement;        ///< taken literally
    bool replaceAll = true;  ///< false: only the first match in the span
    bool wholeText = true;   ///< false: only the span, with its matches replaced, is returned
};

/// Where a match lies in its subject: a 0-based byte offset and a byte length.
struct MatchSpan {
    std::size_t offset = 0;
    std::size_t length = 0;
};

/// Searches GBK texts. An object belongs to one routine on one thread; each operation starts from `reset`.
class PatternMatcher {
public:
    PatternMatcher() = default;
    PatternMatcher(const PatternMatcher&) = delete;
    PatternMatcher& operator=(const PatternMatcher&) = delete;

    void reset();
    /// Refuses the empty text (returns false, `subject` unchanged); otherwise keeps a copy.
    bool setSubject(Text text);
    /// Refuses the empty text (returns false, `pattern` unchanged); otherwise keeps a copy.
    bool setPattern(Text text);
    /// Stores the flag and applies it at once to the compiled pattern. Always true.
    bool setMatchFlag(std::int32_t flag);
    /// Stores the flag for the next compilation. Always true.
    bool setCompileFlag(bool flag);
    Text getSubject() const { return subject; }
    Text getPattern() const { return pattern; }
    std::int32_t getMatchFlag() const { return matchFlag; }
    bool getCompileFlag() const { return compileFlag; }
    /// The number of capturing groups of the last compiled pattern.
    int groupCount() const;

    /// All matches of `pattern` in the span of `subject`. Returns the number of matches (at least 1) and replaces
    /// `table` with a rows x (1 + groupCount) table; or a FindAllCode, leaving `table` as it was. Consecutive
    /// matches may overlap: without groups the next search starts on the last character of the match, with groups
    /// where the last group starts; where that would not move forward, one character after the match's start.
    /// Returns `SearchFailed`, leaving `table` as it was, when the engine gave up on a search.
    int findAll(Text subject, Text pattern, MatchTable& table, const SearchOptions& options = {});
    /// The first match of `pattern` in `subject`, or nothing (also for an empty subject or pattern). Unlike `findAll`
    /// it keeps no copy of the subject (`getSubject` gives the empty text afterwards) and stops at the first match.
    /// Nothing, with `failed()` true, when the engine gave up.
    std::optional<MatchSpan> findFirst(std::string_view subject, Text pattern, const SearchOptions& options = {});
    /// Whether `pattern` matches anywhere in `text`, tested with a compiled pattern of its own.
    bool matches(Text text, Text pattern, std::optional<std::int32_t> matchFlag = {},
                 std::optional<bool> compileFlag = {});
    /// `subject` with the matches in the span replaced; the empty text for an empty subject or pattern; the subject
    /// unchanged when nothing matches; the empty text, with `failed()` true, when the engine gave up on a search.
    Text replace(Text subject, Text pattern, const ReplaceOptions& options = {});
    /// Whether the last `findAll`, `findFirst`, `matches` or `replace` stopped because the engine gave up, rather than
    /// finishing: its result is then no answer, and a caller treats the page as failed.
    bool failed() const { return engineFailed; }
    /// Why the engine rejected the pattern of the last `findAll`, `findFirst` or `replace` (which then found nothing);
    /// empty when it compiled.
    std::string compileError() const { return compiledPattern.compileError(); }

private:
    /// Applies the options, compiles the pattern into `target`, and gives the span's one-based first and last byte.
    std::pair<long long, long long> prepareSearch(const SearchOptions& options, std::size_t subjectSize,
                                                  CompiledPattern& target);

    Text subject;
    Text pattern;
    std::int32_t matchFlag = 0;
    bool compileFlag = false;
    CompiledPattern compiledPattern;
    bool engineFailed = false;
};

} // namespace matching
