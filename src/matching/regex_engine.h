// The regular-expression engine as the pattern matcher uses it: GBK-aware, with byte positions.
#pragma once

#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace matching {

struct CompiledCode;
struct SubjectUnits;

/// A subject for a series of searches; it refers to the bytes, which must outlive it. Patterns that are not safe on
/// bytes search one unit per GBK character, made on the first search that needs them.
class EngineSubject {
public:
    explicit EngineSubject(std::string_view bytes);
    ~EngineSubject();

    std::string_view bytes() const { return text; }

private:
    friend class CompiledPattern;
    std::string_view text;
    mutable std::unique_ptr<SubjectUnits> units;
    mutable std::size_t knownBoundary = 0; // the start of the last match: bounds looks back for character starts
};

/// One search's match: per group (0: the whole match) its start and end as 0-based byte offsets, both `Unset` for a
/// group that took no part; no groups when nothing matched. `failed`: the engine gave up (its match limit, or another
/// error that is not "no match"), so there is no answer.
struct SearchResult {
    static constexpr std::size_t Unset = static_cast<std::size_t>(-1);
    std::vector<std::size_t> groups;
    bool failed = false;

    bool isEmpty() const { return groups.empty(); }
    /// Group `k` as [first, second); both `Unset` if it took no part or does not exist.
    std::pair<std::size_t, std::size_t> byteRange(int k) const;
};

/// How a pattern is searched: on the GBK bytes where that finds the same matches (the fastest way), or always on
/// character units (the reference the byte search is checked against).
enum class SearchMode { Fastest, Units };

/// Bounds the engine's work in every later search of the process (0: the default); a search past it fails.
void setMatchLimit(std::uint32_t limit);

/// A compiled pattern. Compilations are cached process-wide and shared read-only between threads.
class CompiledPattern {
public:
    CompiledPattern() = default;
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;

    /// Compiles `pattern` (GBK); `caseless`: letters match either case. A rejected pattern finds nothing.
    void compile(const Text& pattern, bool caseless, SearchMode mode = SearchMode::Fastest);
    bool isValid() const;
    /// Why the engine rejected the last compiled pattern (its message and the offset it names); empty when it
    /// compiled or nothing was compiled.
    std::string compileError() const;
    /// Whether searches run on the GBK bytes.
    bool searchesBytes() const;
    /// Engine match options (PCRE2 match option bits), applied to every later search.
    void setMatchFlag(std::int32_t flag) { matchFlag = flag; }
    /// The number of capturing groups; 0 for an invalid pattern.
    int subExpressionCount() const;

    /// The first match in the span from one-based byte `start` over `count` bytes, never inside a character.
    SearchResult search(const EngineSubject& subject, long long start, long long count) const;
    /// `subject` with the matches in the span replaced by `replacement` (taken literally). `all`: every match, else
    /// the first only. `wholeText`: the whole subject is returned, else only the span. Nothing when the engine gave
    /// up on a search.
    std::optional<Text> replace(const Text& subject, const Text& replacement, long long start, long long count,
                                bool all, bool wholeText) const;

private:
    /// The first match between the 0-based character boundaries `startByte` and `endByte`, into `result`.
    void searchSpan(const EngineSubject& subject, std::size_t startByte, std::size_t endByte,
                    SearchResult& result) const;

    std::shared_ptr<const CompiledCode> code;
    std::int32_t matchFlag = 0;
};

} // namespace matching
