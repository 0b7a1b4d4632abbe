// The regular-expression engine over PCRE2 with JIT, in non-UTF mode: the 8-bit library on GBK bytes for patterns
// that are safe there, the 32-bit library on one unit per GBK character for the rest.
#include "matching/regex_engine.h"

#include "matching/byte_pattern.h"
#include "matching/gbk_text.h"

// Both code-unit widths are used, through their suffixed names.
#define PCRE2_CODE_UNIT_WIDTH 0
#include <pcre2.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace matching {

// Exactly one of the two codes is set. A pattern of the dot-run form is searched without either.
struct CompiledCode {
    pcre2_code_8* byteCode = nullptr;
    pcre2_code_32* unitCode = nullptr;
    std::optional<DotRunPattern> dotRun;
    bool jit = false;
    int groupCount = 0;
    ~CompiledCode()
    {
        pcre2_code_free_8(byteCode);
        pcre2_code_free_32(unitCode);
    }
};

namespace {

// Maps GBK bytes to one unit per character into `units` (room for bytes.size() units) and, when `offsets` is given,
// each unit's byte offset followed by the byte length (room for bytes.size() + 1). Returns the unit count. Eight
// ASCII bytes at a time where they come in runs, as mark-up mostly does.
template <bool WithOffsets>
std::size_t mapToUnits(std::string_view bytes, std::uint32_t* units, std::uint32_t* offsets)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < size) {
        if (i + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, data + i, 8);
            const std::uint64_t high = word & 0x8080808080808080ull;
            // Eight bytes of 0x81-0xFE starting on a character are four double-byte characters, as Chinese text is:
            // swap the bytes of each 16-bit lane to get (lead << 8) | trail.
            if constexpr (std::endian::native == std::endian::little) {
                const std::uint64_t bit7Clear = ~word & 0x8080808080808080ull;
                const std::uint64_t low7 = word & 0x7F7F7F7F7F7F7F7Full;
                const bool any80 = ((low7 - 0x0101010101010101ull) & ~low7 & 0x8080808080808080ull) != 0;
                const std::uint64_t inverted = ~word & 0x7F7F7F7F7F7F7F7Full;
                const bool anyFF = ((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) != 0;
                if (bit7Clear == 0 && !any80 && !anyFF) {
                    const std::uint64_t swapped =
                        ((word & 0x00FF00FF00FF00FFull) << 8) | ((word >> 8) & 0x00FF00FF00FF00FFull);
                    for (std::size_t k = 0; k < 4; ++k)
                        units[count + k] = static_cast<std::uint32_t>((swapped >> (16 * k)) & 0xFFFF);
                    if constexpr (WithOffsets)
                        for (std::size_t k = 0; k < 4; ++k)
                            offsets[count + k] = static_cast<std::uint32_t>(i + 2 * k);
                    count += 4;
                    i += 8;
                    continue;
                }
            }
            // The ASCII bytes before the first high one (all eight when there is none) are units of their own.
            std::size_t ascii = 8;
            if (high != 0)
                ascii = std::endian::native == std::endian::little ? static_cast<std::size_t>(std::countr_zero(high)) / 8 : 0;
            for (std::size_t k = 0; k < ascii; ++k)
                units[count + k] = data[i + k];
            if constexpr (WithOffsets)
                for (std::size_t k = 0; k < ascii; ++k)
                    offsets[count + k] = static_cast<std::uint32_t>(i + k);
            count += ascii;
            i += ascii;
            if (ascii == 8)
                continue;
        }
        const unsigned char byte = data[i];
        if constexpr (WithOffsets)
            offsets[count] = static_cast<std::uint32_t>(i);
        if (isLeadByte(byte) && i + 1 < size && isTrailByte(data[i + 1])) {
            units[count++] = (static_cast<std::uint32_t>(byte) << 8) | data[i + 1];
            i += 2;
        } else {
            units[count++] = byte;
            i += 1;
        }
    }
    if constexpr (WithOffsets)
        offsets[count] = static_cast<std::uint32_t>(size);
    return count;
}

std::vector<std::uint32_t> patternUnits(const Text& pattern)
{
    std::vector<std::uint32_t> units(pattern.size());
    units.resize(mapToUnits<false>(pattern, units.data(), nullptr));
    return units;
}

// Unit buffers are reused within a thread: fresh ones for every search cost more in page faults than the search.
class BufferPool {
public:
    EngineSubject::Buffer take(std::size_t units)
    {
        for (std::size_t i = 0; i < spare.size(); ++i) {
            if (spare[i].capacity >= units) {
                EngineSubject::Buffer buffer = std::move(spare[i]);
                spare.erase(spare.begin() + static_cast<std::ptrdiff_t>(i));
                return buffer;
            }
        }
        return {std::make_unique_for_overwrite<std::uint32_t[]>(units), units};
    }
    void giveBack(EngineSubject::Buffer buffer)
    {
        // A few buffers, and none so large that one odd huge page would keep its memory.
        if (buffer.data && spare.size() < 4 && buffer.capacity <= 4u * 1024 * 1024)
            spare.push_back(std::move(buffer));
    }

private:
    std::vector<EngineSubject::Buffer> spare;
};

BufferPool& bufferPool()
{
    thread_local BufferPool pool;
    return pool;
}

// Per-thread match state for one code-unit width: match data large enough for any pattern seen, and a JIT stack
// that grows to 4 MiB.
template <typename MatchData, typename JitStack, typename MatchContext, auto createStack, auto createContext,
          auto assignStack, auto createData, auto freeData, auto freeContext, auto freeStack>
struct MatchState {
    MatchData* data = nullptr;
    std::uint32_t capacity = 0;
    JitStack* stack = nullptr;
    MatchContext* context = nullptr;

    MatchState()
    {
        stack = createStack(32 * 1024, 4 * 1024 * 1024, nullptr);
        context = createContext(nullptr);
        if (stack && context)
            assignStack(context, nullptr, stack);
    }
    ~MatchState()
    {
        freeData(data);
        freeContext(context);
        freeStack(stack);
    }
    MatchState(const MatchState&) = delete;
    MatchState& operator=(const MatchState&) = delete;
    MatchData* dataFor(int groups)
    {
        const auto needed = static_cast<std::uint32_t>(groups + 1);
        if (!data || capacity < needed) {
            freeData(data);
            capacity = std::max<std::uint32_t>(needed, 16);
            data = createData(capacity, nullptr);
        }
        return data;
    }
};

using ByteMatchState =
    MatchState<pcre2_match_data_8, pcre2_jit_stack_8, pcre2_match_context_8, pcre2_jit_stack_create_8,
               pcre2_match_context_create_8, pcre2_jit_stack_assign_8, pcre2_match_data_create_8,
               pcre2_match_data_free_8, pcre2_match_context_free_8, pcre2_jit_stack_free_8>;
using UnitMatchState =
    MatchState<pcre2_match_data_32, pcre2_jit_stack_32, pcre2_match_context_32, pcre2_jit_stack_create_32,
               pcre2_match_context_create_32, pcre2_jit_stack_assign_32, pcre2_match_data_create_32,
               pcre2_match_data_free_32, pcre2_match_context_free_32, pcre2_jit_stack_free_32>;

template <typename State>
State& threadState()
{
    thread_local State state;
    return state;
}

// Runs one match with JIT where it can, with the interpreter where JIT cannot (options it does not support, or a JIT
// stack too small), and copies the groups out as offsets in the subject's code units.
template <typename State, typename Code, typename Char, auto jitMatch, auto match, auto ovectorOf>
bool runMatch(const CompiledCode& compiled, const Code* code, const Char* subject, std::size_t length,
              std::size_t start, std::uint32_t options, std::vector<std::size_t>& groups)
{
    State& state = threadState<State>();
    auto* data = state.dataFor(compiled.groupCount);
    int found = PCRE2_ERROR_JIT_BADOPTION;
    if (compiled.jit)
        found = jitMatch(code, subject, length, start, options, data, state.context);
    if (found == PCRE2_ERROR_JIT_BADOPTION || found == PCRE2_ERROR_JIT_STACKLIMIT || !compiled.jit)
        found = match(code, subject, length, start, options, data, nullptr);
    if (found < 0)
        return false;
    const PCRE2_SIZE* vector = ovectorOf(data);
    const auto pairs = static_cast<std::size_t>(compiled.groupCount + 1);
    groups.resize(pairs * 2);
    for (std::size_t i = 0; i < pairs * 2; ++i) {
        const bool taken = i / 2 < static_cast<std::size_t>(found) && vector[i] != PCRE2_UNSET;
        groups[i] = taken ? static_cast<std::size_t>(vector[i]) : SearchResult::Unset;
    }
    return true;
}

// Compiled patterns by pattern text and options. The program uses a handful of fixed patterns, so the cache stays
// small; it is emptied should it ever grow past its bound.
class PatternCache {
public:
    std::shared_ptr<const CompiledCode> get(const Text& pattern, bool caseless, SearchMode mode)
    {
        std::string key = caseless ? "i" : "c";
        key += mode == SearchMode::Units ? "u:" : "f:";
        key += pattern;
        {
            std::lock_guard lock(mutex);
            if (const auto found = entries.find(key); found != entries.end())
                return found->second;
        }
        auto compiled = compile(pattern, caseless, mode);
        std::lock_guard lock(mutex);
        if (entries.size() >= 256)
            entries.clear();
        entries.emplace(key, compiled);
        return compiled;
    }

private:
    static std::shared_ptr<const CompiledCode> compile(const Text& pattern, bool caseless, SearchMode mode)
    {
        auto compiled = std::make_shared<CompiledCode>();
        const std::uint32_t options = caseless ? PCRE2_CASELESS : 0u;
        int error = 0;
        PCRE2_SIZE offset = 0;
        std::uint32_t count = 0;
        const bool tryBytes = mode == SearchMode::Fastest && newline() != PCRE2_NEWLINE_ANY;
        if (const std::optional<std::string> bytes = tryBytes ? bytePattern(pattern, caseless) : std::nullopt) {
            compiled->byteCode = pcre2_compile_8(reinterpret_cast<PCRE2_SPTR8>(bytes->data()), bytes->size(), options,
                                                 &error, &offset, nullptr);
        }
        if (compiled->byteCode) {
            compiled->jit = pcre2_jit_compile_8(compiled->byteCode, PCRE2_JIT_COMPLETE) == 0;
            pcre2_pattern_info_8(compiled->byteCode, PCRE2_INFO_CAPTURECOUNT, &count);
        } else {
            const std::vector<std::uint32_t> units = patternUnits(pattern);
            compiled->unitCode = pcre2_compile_32(reinterpret_cast<PCRE2_SPTR32>(units.data()), units.size(), options,
                                                  &error, &offset, nullptr);
            if (!compiled->unitCode)
                return nullptr;
            compiled->jit = pcre2_jit_compile_32(compiled->unitCode, PCRE2_JIT_COMPLETE) == 0;
            pcre2_pattern_info_32(compiled->unitCode, PCRE2_INFO_CAPTURECOUNT, &count);
        }
        compiled->groupCount = static_cast<int>(count);
        // The dot-run search takes `.` to be any byte but the line feed.
        if (compiled->byteCode && newline() == PCRE2_NEWLINE_LF)
            compiled->dotRun = dotRunPattern(pattern, caseless);
        return compiled;
    }

    // The engine's line-break convention, which decides what `.` leaves out. Where a line break may be the byte 0x85
    // (NEL), which leads double-byte characters, `.` is not safe on bytes.
    static std::uint32_t newline()
    {
        static const std::uint32_t value = [] {
            std::uint32_t convention = 0;
            pcre2_config_8(PCRE2_CONFIG_NEWLINE, &convention);
            return convention;
        }();
        return value;
    }

    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const CompiledCode>> entries;
};

PatternCache& patternCache()
{
    static auto* cache = new PatternCache;
    return *cache;
}

// How far a look back for a character boundary goes behind the last known one before the units settle it.
constexpr std::size_t LookBackLimit = 64;

// The span from one-based byte `start` over `count` bytes, as 0-based character boundaries [first, last).
std::pair<std::size_t, std::size_t> spanOf(const EngineSubject& subject, long long start, long long count)
{
    const auto length = static_cast<long long>(subject.bytes().size());
    const long long first = std::clamp(start - 1, 0LL, length);
    const long long last = std::clamp(first + std::max(count, 0LL), first, length);
    const std::size_t firstByte = subject.characterStart(static_cast<std::size_t>(first));
    return {firstByte, std::max(firstByte, subject.characterStart(static_cast<std::size_t>(last)))};
}

} // namespace

EngineSubject::EngineSubject(std::string_view bytes) : text(bytes) {}

EngineSubject::~EngineSubject()
{
    bufferPool().giveBack(std::move(unitBuffer));
    bufferPool().giveBack(std::move(offsetBuffer));
}

void EngineSubject::mapUnits() const
{
    if (mapped)
        return;
    unitBuffer = bufferPool().take(text.size() + 1);
    offsetBuffer = bufferPool().take(text.size() + 1);
    count = mapToUnits<true>(text, unitBuffer.data.get(), offsetBuffer.data.get());
    identity = count == text.size();
    mapped = true;
}

std::size_t EngineSubject::unitCount() const
{
    mapUnits();
    return count;
}

const std::uint32_t* EngineSubject::unitData() const
{
    mapUnits();
    return unitBuffer.data.get();
}

std::size_t EngineSubject::byteOfUnit(std::size_t unit) const
{
    mapUnits();
    return identity ? unit : offsetBuffer.data[unit];
}

std::size_t EngineSubject::unitOfByte(std::size_t byte) const
{
    mapUnits();
    if (identity)
        return std::min(byte, count);
    const std::uint32_t* offsets = offsetBuffer.data.get();
    const std::uint32_t* next = std::upper_bound(offsets, offsets + count + 1, static_cast<std::uint32_t>(byte));
    return static_cast<std::size_t>(next - offsets) - 1;
}

std::size_t EngineSubject::characterStart(std::size_t byte) const
{
    if (byte >= text.size())
        return text.size();
    if (mapped)
        return byteOfUnit(unitOfByte(byte));
    // Searches move forward, so the last match's start usually bounds the look back. Behind it, a long run of
    // double-byte text is settled from the units instead, so that no search walks back over it again and again.
    if (knownBoundary > byte && byte > LookBackLimit) {
        const std::string_view before = text.substr(byte - LookBackLimit, LookBackLimit);
        if (std::all_of(before.begin(), before.end(), [](char c) { return isLeadByte(static_cast<unsigned char>(c)); }))
            return byteOfUnit(unitOfByte(byte));
    }
    const std::size_t floor = knownBoundary <= byte ? knownBoundary : 0;
    return isCharacterBoundary(text, byte, floor) ? byte : byte - 1;
}

Text SearchResult::matchText(const EngineSubject& subject, long long& position) const
{
    return subMatchText(subject, 0, position);
}

std::pair<std::size_t, std::size_t> SearchResult::byteRange(int k) const
{
    const auto index = static_cast<std::size_t>(k) * 2;
    if (k < 0 || index + 1 >= groups.size() || groups[index] == Unset)
        return {Unset, Unset};
    return {groups[index], groups[index + 1]};
}

Text SearchResult::subMatchText(const EngineSubject& subject, int k, long long& position) const
{
    const auto [begin, end] = byteRange(k);
    if (begin == Unset)
        return {};
    position = static_cast<long long>(begin) + 1;
    return Text(subject.bytes().substr(begin, end - begin));
}

CompiledPattern::CompiledPattern() = default;
CompiledPattern::~CompiledPattern() = default;

void CompiledPattern::compile(const Text& pattern, bool caseless, SearchMode mode)
{
    code = patternCache().get(pattern, caseless, mode);
}

bool CompiledPattern::searchesBytes() const
{
    return code && code->byteCode;
}

int CompiledPattern::subExpressionCount() const
{
    return code ? code->groupCount : 0;
}

namespace {

// The leftmost match of prefix, run, suffix: the first prefix (on a character boundary) whose line holds the suffix
// at least `minimumRun` bytes after it; the match ends with the last such suffix on that line, as a greedy run
// backing off would find it. The suffix starts with a byte below 0x40, so each occurrence starts a character.
bool searchDotRun(const EngineSubject& subject, const DotRunPattern& parts, std::size_t startByte,
                  std::size_t endByte, std::vector<std::size_t>& groups)
{
    const std::string_view text = subject.bytes().substr(0, endByte);
    const bool prefixStartsCharacter = static_cast<unsigned char>(parts.prefix[0]) < 0x40;
    for (std::size_t from = startByte; from <= endByte;) {
        const std::size_t start = text.find(parts.prefix, from);
        if (start == std::string_view::npos)
            return false;
        if (!prefixStartsCharacter && subject.characterStart(start) != start) {
            from = start + 1;
            continue;
        }
        const std::size_t runStart = start + parts.prefix.size();
        const std::size_t lineEnd = std::min(text.find('\n', runStart), text.size());
        const std::string_view line = text.substr(0, lineEnd);
        std::size_t last = std::string_view::npos;
        for (std::size_t found = line.find(parts.suffix, runStart + parts.minimumRun); found != std::string_view::npos;
             found = line.find(parts.suffix, found + 1))
            last = found;
        if (last != std::string_view::npos) {
            groups = {start, last + parts.suffix.size()};
            return true;
        }
        // A later prefix on the same line has no suffix after it either.
        from = lineEnd + 1;
    }
    return false;
}

} // namespace

bool CompiledPattern::searchSpan(const EngineSubject& subject, std::size_t startByte, std::size_t endByte,
                                 std::vector<std::size_t>& groups) const
{
    groups.clear();
    if (!code || startByte > endByte)
        return false;
    const auto options = static_cast<std::uint32_t>(matchFlag);
    if (code->dotRun && options == 0)
        return searchDotRun(subject, *code->dotRun, startByte, endByte, groups);
    if (code->byteCode) {
        const auto* bytes = reinterpret_cast<PCRE2_SPTR8>(subject.bytes().data());
        for (std::size_t from = startByte; from <= endByte;) {
            if (!runMatch<ByteMatchState, pcre2_code_8, PCRE2_UCHAR8, pcre2_jit_match_8, pcre2_match_8,
                          pcre2_get_ovector_pointer_8>(*code, code->byteCode, bytes, endByte, from, options, groups))
                break;
            // A match that starts on a trail byte is no match: search on from the next byte. A byte below 0x40 is
            // never a trail byte.
            const auto first = groups[0] < endByte ? static_cast<unsigned char>(bytes[groups[0]]) : 0;
            if (first < 0x40 || subject.characterStart(groups[0]) == groups[0]) {
                subject.knownBoundary = groups[0];
                return true;
            }
            from = groups[0] + 1;
        }
        groups.clear();
        return false;
    }
    const std::size_t startUnit = subject.unitOfByte(startByte);
    const std::size_t endUnit = subject.unitOfByte(endByte);
    const auto* units = reinterpret_cast<PCRE2_SPTR32>(subject.unitData());
    if (!runMatch<UnitMatchState, pcre2_code_32, PCRE2_UCHAR32, pcre2_jit_match_32, pcre2_match_32,
                  pcre2_get_ovector_pointer_32>(*code, code->unitCode, units, endUnit, startUnit, options, groups))
        return false;
    for (std::size_t& offset : groups)
        if (offset != SearchResult::Unset)
            offset = subject.byteOfUnit(offset);
    return true;
}

SearchResult CompiledPattern::search(const EngineSubject& subject, long long start, long long count) const
{
    SearchResult result;
    const auto [first, last] = spanOf(subject, start, count);
    searchSpan(subject, first, last, result.groups);
    return result;
}

bool CompiledPattern::matchTest(const Text& text) const
{
    const EngineSubject subject(text);
    std::vector<std::size_t> groups;
    return searchSpan(subject, 0, text.size(), groups);
}

Text CompiledPattern::replace(const Text& subjectText, const Text& replacement, long long start, long long count,
                              bool all, bool wholeText) const
{
    const EngineSubject subject(subjectText);
    const auto [first, last] = spanOf(subject, start, count);
    Text result;
    result.reserve(subjectText.size());
    if (wholeText)
        result.append(subjectText, 0, first);
    std::size_t copied = first;
    std::size_t from = first;
    std::vector<std::size_t> groups;
    while (from <= last && searchSpan(subject, from, last, groups)) {
        const std::size_t matchStart = groups[0];
        const std::size_t matchEnd = groups[1];
        // Unmatched bytes are copied unchanged, a whole character at a time.
        result.append(subjectText, copied, matchStart - copied);
        result += replacement;
        copied = matchEnd;
        from = matchEnd;
        if (matchEnd == matchStart) {
            // An empty match: keep the next character and search on after it.
            if (from >= last)
                break;
            const std::size_t next = from + characterLength(subjectText, from);
            result.append(subjectText, copied, next - copied);
            copied = next;
            from = next;
        }
        if (!all)
            break;
    }
    result.append(subjectText, copied, last - copied);
    if (wholeText)
        result.append(subjectText, last, std::string::npos);
    return result;
}

} // namespace matching
