// The regular-expression engine as the pattern matcher uses it: GBK-aware, with one-based byte positions.
#pragma once

#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace matching {

struct CompiledCode;

/// A subject prepared for searching: every GBK character becomes one 32-bit unit, so that a double-byte character
/// is one character to the engine (never `\w`, `\d`, `\s` or an ASCII class member; one `.`).
class EngineSubject {
public:
    explicit EngineSubject(std::string_view bytes);
    ~EngineSubject();
    EngineSubject(const EngineSubject&) = delete;
    EngineSubject& operator=(const EngineSubject&) = delete;

    std::string_view bytes() const { return text; }
    std::size_t unitCount() const { return count; }
    const std::uint32_t* unitData() const { return units; }
    /// The 0-based byte offset where unit `unit` starts; `unitCount()` gives the byte length.
    std::size_t byteOfUnit(std::size_t unit) const { return identity ? unit : offsets[unit]; }
    /// The unit that holds 0-based byte `byte` (the byte length gives `unitCount()`).
    std::size_t unitOfByte(std::size_t byte) const;

    /// A reusable block of units; the pool of the thread keeps a few of them.
    struct Buffer {
        std::unique_ptr<std::uint32_t[]> data;
        std::size_t capacity = 0;
    };

private:
    std::string_view text;
    Buffer unitBuffer;
    Buffer offsetBuffer;
    const std::uint32_t* units = nullptr;
    const std::uint32_t* offsets = nullptr; // unit start offsets and the byte length; unused when identity
    std::size_t count = 0;
    bool identity = true;
};

/// The outcome of one search: the match and its capturing groups as unit offsets into the subject.
class SearchResult {
public:
    bool isEmpty() const { return groups.empty(); }
    /// The whole match; its one-based byte position is written into `position`.
    Text matchText(const EngineSubject& subject, long long& position) const;
    /// Capturing group `k` (1 ... G); its one-based byte position is written into `position`. A group that took no
    /// part in the match gives the empty text and leaves `position` unchanged.
    Text subMatchText(const EngineSubject& subject, int k, long long& position) const;

private:
    friend class CompiledPattern;
    static constexpr std::size_t Unset = static_cast<std::size_t>(-1);
    std::vector<std::size_t> groups; // start, end per group; group 0 is the whole match
};

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
    void compile(const Text& pattern, bool caseless);
    bool isValid() const { return code != nullptr; }
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
    bool searchUnits(const EngineSubject& subject, std::size_t startUnit, std::size_t endUnit,
                     std::vector<std::size_t>& groups) const;

    std::shared_ptr<const CompiledCode> code;
    std::int32_t matchFlag = 0;
};

} // namespace matching
