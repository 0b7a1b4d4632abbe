// The regular-expression engine as the pattern matcher uses it: GBK-aware, with one-based byte positions.
#pragma once

#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace matching {

struct CompiledCode;

/// A subject prepared for searching. Patterns that are safe on bytes search the GBK bytes directly; the others search
/// one 32-bit unit per GBK character, so that a double-byte character is one character to the engine (never `\w`,
/// `\d`, `\s` or an ASCII class member; one `.`). The units are made on the first search that needs them.
class EngineSubject {
public:
    explicit EngineSubject(std::string_view bytes);
    ~EngineSubject();
    EngineSubject(const EngineSubject&) = delete;
    EngineSubject& operator=(const EngineSubject&) = delete;

    std::string_view bytes() const { return text; }
    /// The 0-based byte where the character holding 0-based byte `byte` starts; the byte length at or past the end.
    std::size_t characterStart(std::size_t byte) const;

    std::size_t unitCount() const;
    const std::uint32_t* unitData() const;
    /// The 0-based byte offset where unit `unit` starts; `unitCount()` gives the byte length.
    std::size_t byteOfUnit(std::size_t unit) const;
    /// The unit that holds 0-based byte `byte` (the byte length gives `unitCount()`).
    std::size_t unitOfByte(std::size_t byte) const;

    /// A reusable block of units; the pool of the thread keeps a few of them.
    struct Buffer {
        std::unique_ptr<std::uint32_t[]> data;
        std::size_t capacity = 0;
    };

private:
    friend class CompiledPattern;
    void mapUnits() const;

    std::string_view text;
    // Made on first use by the const accessors: a subject belongs to one search routine on one thread.
    mutable Buffer unitBuffer;
    mutable Buffer offsetBuffer;
    mutable std::size_t count = 0;
    mutable bool mapped = false;
    mutable bool identity = true; // every character is one byte: the offsets are not kept
    mutable std::size_t knownBoundary = 0; // the start of the last match: a character boundary
};

/// The outcome of one search: the match and its capturing groups as byte offsets into the subject.
class SearchResult {
public:
    /// A group that took no part in the match.
    static constexpr std::size_t Unset = static_cast<std::size_t>(-1);

    bool isEmpty() const { return groups.empty(); }
    /// Where group `k` (0 for the whole match) lies: 0-based byte offsets [first, second), both `Unset` for a
    /// group that took no part in the match.
    std::pair<std::size_t, std::size_t> byteRange(int k) const;
    /// The whole match; its one-based byte position is written into `position`.
    Text matchText(const EngineSubject& subject, long long& position) const;
    /// Capturing group `k` (1 ... G); its one-based byte position is written into `position`. A group that took no
    /// part in the match gives the empty text and leaves `position` unchanged.
    Text subMatchText(const EngineSubject& subject, int k, long long& position) const;

private:
    friend class CompiledPattern;
    std::vector<std::size_t> groups; // start, end per group; group 0 is the whole match
};

/// How a pattern is searched: on the GBK bytes where that finds the same matches (the fastest way), or always on
/// character units (the reference the byte search is checked against).
enum class SearchMode { Fastest, Units };

/// A compiled pattern. Compilation is cached process-wide: compiling a pattern seen before costs one look-up, and
/// the compiled code is shared read-only between threads.
class CompiledPattern {
public:
    CompiledPattern();
    ~CompiledPattern();
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;

    /// Compiles `pattern` (GBK). `caseless` makes letters match either case. A pattern the engine rejects leaves an
    /// object that finds nothing.
    void compile(const Text& pattern, bool caseless, SearchMode mode = SearchMode::Fastest);
    bool isValid() const { return code != nullptr; }
    /// Whether searches run on the GBK bytes.
    bool searchesBytes() const;
    /// Engine match options (PCRE2 match option bits), applied to every later search.
    void setMatchFlag(std::int32_t flag) { matchFlag = flag; }
    /// The number of capturing groups; 0 for an invalid pattern.
    int subExpressionCount() const;

    /// The first match that lies in the span from one-based byte `start` over `count` bytes.
    SearchResult search(const EngineSubject& subject, long long start, long long count) const;
    /// Whether the pattern matches anywhere in `text`.
    bool matchTest(const Text& text) const;
    /// `subject` with the matches in the span replaced by `replacement` (taken literally). `all`: every match, else
    /// the first only. `wholeText`: the whole subject is returned, else only the span.
    Text replace(const Text& subject, const Text& replacement, long long start, long long count, bool all,
                 bool wholeText) const;

private:
    /// The first match between the 0-based character boundaries `startByte` and `endByte`, as byte offsets.
    bool searchSpan(const EngineSubject& subject, std::size_t startByte, std::size_t endByte,
                    std::vector<std::size_t>& groups) const;

    std::shared_ptr<const CompiledCode> code;
    std::int32_t matchFlag = 0;
};

} // namespace matching
