// The regular-expression engine over PCRE2 with JIT, in non-UTF mode: the 8-bit library on GBK bytes for patterns
// that are safe there, the 32-bit library on one unit per GBK character for the rest.
#include "matching/regex_engine.h"

#include "matching/byte_pattern.h"
#include "matching/gbk_text.h"

// Both code-unit widths are used, through their suffixed names.
#define PCRE2_CODE_UNIT_WIDTH 0
#include <pcre2.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace matching {

// Owns an engine handle, which `Free` releases.
template <auto Free>
struct Freer {
    void operator()(auto* handle) const { Free(handle); }
};
template <typename T, auto Free>
using Owned = std::unique_ptr<T, Freer<Free>>;

// At most one of the two codes is set, none for a rejected pattern; only the byte code is compiled with JIT.
struct CompiledCode {
    Owned<pcre2_code_8, pcre2_code_free_8> byteCode;
    Owned<pcre2_code_32, pcre2_code_free_32> unitCode;
    bool jit = false;
    int groupCount = 0;
    std::string error; // why PCRE2 rejected the pattern; empty when it compiled

    bool compiled() const { return byteCode || unitCode; }
};

// PCRE2's words for a compile error, with the place in the pattern it names.
std::string compileErrorText(int error, PCRE2_SIZE offset)
{
    PCRE2_UCHAR8 message[256];
    if (pcre2_get_error_message_8(error, message, sizeof message) < 0)
        return "error " + std::to_string(error);
    return reinterpret_cast<const char*>(message) + std::string(" at offset ") + std::to_string(offset);
}

// One unit per character, and the byte offset of each unit followed by the byte length.
struct SubjectUnits {
    std::vector<std::uint32_t> units;
    std::vector<std::size_t> offsets;

    explicit SubjectUnits(std::string_view bytes)
    {
        units.reserve(bytes.size());
        offsets.reserve(bytes.size() + 1);
        for (std::size_t i = 0; i < bytes.size(); i += characterLength(bytes, i)) {
            const auto lead = static_cast<unsigned char>(bytes[i]);
            offsets.push_back(i);
            units.push_back(characterLength(bytes, i) == 2
                                ? (std::uint32_t{lead} << 8) | static_cast<unsigned char>(bytes[i + 1])
                                : lead);
        }
        offsets.push_back(bytes.size());
    }
    // The unit that holds byte `byte`; the unit count at or past the end.
    std::size_t unitOfByte(std::size_t byte) const
    {
        return static_cast<std::size_t>(std::upper_bound(offsets.begin(), offsets.end(), byte) - offsets.begin()) - 1;
    }
};

namespace {

std::atomic<std::uint32_t> matchLimit{0};

std::uint32_t currentLimit()
{
    const std::uint32_t limit = matchLimit.load(std::memory_order_relaxed);
    return limit != 0 ? limit : 10'000'000;
}

// The engine's answer into `result`: the groups as offsets in the subject's code units, or none; `failed` for an
// error other than "no match".
void collect(int found, const PCRE2_SIZE* vector, int groupCount, SearchResult& result)
{
    result.failed = found < 0 && found != PCRE2_ERROR_NOMATCH;
    result.groups.clear();
    if (found < 0)
        return;
    result.groups.resize(static_cast<std::size_t>(groupCount + 1) * 2);
    for (std::size_t i = 0; i < result.groups.size(); ++i) {
        const bool taken = i / 2 < static_cast<std::size_t>(found) && vector[i] != PCRE2_UNSET;
        result.groups[i] = taken ? static_cast<std::size_t>(vector[i]) : SearchResult::Unset;
    }
}

// Byte searches run for every tag of a page: their match data, context and JIT stack (growing to 4 MiB) are made
// once per thread rather than for every search.
struct ByteMatchState {
    Owned<pcre2_match_data_8, pcre2_match_data_free_8> data{pcre2_match_data_create_8(16, nullptr)};
    std::uint32_t capacity = 16;
    Owned<pcre2_match_context_8, pcre2_match_context_free_8> context{pcre2_match_context_create_8(nullptr)};
    Owned<pcre2_jit_stack_8, pcre2_jit_stack_free_8> stack{pcre2_jit_stack_create_8(32 * 1024, 4 << 20, nullptr)};

    ByteMatchState() { pcre2_jit_stack_assign_8(context.get(), nullptr, stack.get()); }
};

// The idle states, kept for the process's life: a thread may still match while the process ends.
struct MatchStatePool {
    std::mutex lock;
    std::vector<std::unique_ptr<ByteMatchState>> idle;
};
MatchStatePool& matchStatePool()
{
    static auto* pool = new MatchStatePool();
    return *pool;
}

ByteMatchState* takeMatchState()
{
    MatchStatePool& pool = matchStatePool();
    const std::lock_guard lock(pool.lock);
    if (pool.idle.empty())
        return new ByteMatchState();
    ByteMatchState* state = pool.idle.back().release();
    pool.idle.pop_back();
    return state;
}

void giveBackMatchState(ByteMatchState* state)
{
    MatchStatePool& pool = matchStatePool();
    const std::lock_guard lock(pool.lock);
    pool.idle.emplace_back(state);
}

// One match from `start`, with JIT where it can and the interpreter where JIT cannot.
void matchBytes(const CompiledCode& compiled, std::string_view subject, std::size_t start, std::uint32_t options,
                SearchResult& result)
{
    // A state per match in progress, taken from a pool: not a thread_local one, whose destructor the MinGW runtime
    // may run after it freed the thread's storage (a crash at every worker's end on Windows).
    const std::unique_ptr<ByteMatchState, void (*)(ByteMatchState*)> held(takeMatchState(), giveBackMatchState);
    ByteMatchState& state = *held;
    const auto needed = static_cast<std::uint32_t>(compiled.groupCount + 1);
    if (state.capacity < needed) {
        state.data.reset(pcre2_match_data_create_8(needed, nullptr));
        state.capacity = needed;
    }
    pcre2_set_match_limit_8(state.context.get(), currentLimit());
    const auto* bytes = reinterpret_cast<PCRE2_SPTR8>(subject.data());
    int found = PCRE2_ERROR_JIT_BADOPTION;
    if (compiled.jit)
        found = pcre2_jit_match_8(compiled.byteCode.get(), bytes, subject.size(), start, options, state.data.get(),
                                  state.context.get());
    if (found == PCRE2_ERROR_JIT_BADOPTION || found == PCRE2_ERROR_JIT_STACKLIMIT)
        found = pcre2_match_8(compiled.byteCode.get(), bytes, subject.size(), start, options, state.data.get(),
                              state.context.get());
    collect(found, pcre2_get_ovector_pointer_8(state.data.get()), compiled.groupCount, result);
}

// Unit searches serve the few patterns that are not safe on bytes, once per page: plain interpreter calls.
void matchUnits(const CompiledCode& compiled, const SubjectUnits& units, std::size_t startUnit, std::size_t endUnit,
                std::uint32_t options, SearchResult& result)
{
    const Owned<pcre2_match_data_32, pcre2_match_data_free_32> data(
        pcre2_match_data_create_from_pattern_32(compiled.unitCode.get(), nullptr));
    const Owned<pcre2_match_context_32, pcre2_match_context_free_32> context(pcre2_match_context_create_32(nullptr));
    if (!data || !context)
        return collect(PCRE2_ERROR_NOMEMORY, nullptr, 0, result);
    pcre2_set_match_limit_32(context.get(), currentLimit());
    const int found = pcre2_match_32(compiled.unitCode.get(), reinterpret_cast<PCRE2_SPTR32>(units.units.data()),
                                     endUnit, startUnit, options, data.get(), context.get());
    collect(found, pcre2_get_ovector_pointer_32(data.get()), compiled.groupCount, result);
}

// The engine's line-break convention, which decides what `.` leaves out. Where a line break may be the byte 0x85
// (NEL), which leads double-byte characters, `.` is not safe on bytes.
bool newlineAllowsBytes()
{
    static const bool allows = [] {
        std::uint32_t convention = 0;
        pcre2_config_8(PCRE2_CONFIG_NEWLINE, &convention);
        return convention != PCRE2_NEWLINE_ANY;
    }();
    return allows;
}

std::shared_ptr<const CompiledCode> compileCode(const Text& pattern, bool caseless, SearchMode mode)
{
    auto compiled = std::make_shared<CompiledCode>();
    const std::uint32_t options = caseless ? PCRE2_CASELESS : 0u;
    int error = 0;
    PCRE2_SIZE offset = 0;
    std::uint32_t count = 0;
    const bool tryBytes = mode == SearchMode::Fastest && newlineAllowsBytes();
    if (const std::optional<std::string> bytes = tryBytes ? bytePattern(pattern, caseless) : std::nullopt)
        compiled->byteCode.reset(pcre2_compile_8(reinterpret_cast<PCRE2_SPTR8>(bytes->data()), bytes->size(),
                                                 options, &error, &offset, nullptr));
    if (compiled->byteCode) {
        compiled->jit = pcre2_jit_compile_8(compiled->byteCode.get(), PCRE2_JIT_COMPLETE) == 0;
        pcre2_pattern_info_8(compiled->byteCode.get(), PCRE2_INFO_CAPTURECOUNT, &count);
    } else {
        const SubjectUnits units(pattern);
        compiled->unitCode.reset(pcre2_compile_32(reinterpret_cast<PCRE2_SPTR32>(units.units.data()),
                                                  units.units.size(), options, &error, &offset, nullptr));
        if (!compiled->unitCode) {
            compiled->error = compileErrorText(error, offset);
            return compiled;
        }
        pcre2_pattern_info_32(compiled->unitCode.get(), PCRE2_INFO_CAPTURECOUNT, &count);
    }
    compiled->groupCount = static_cast<int>(count);
    return compiled;
}

// Compiled patterns by pattern text and options. The program uses a handful of fixed patterns, so the cache stays
// small; it is emptied should it ever grow past its bound. Each is compiled once, under the lock.
std::shared_ptr<const CompiledCode> cachedCode(const Text& pattern, bool caseless, SearchMode mode)
{
    static std::mutex mutex;
    static auto* entries = new std::map<std::string, std::shared_ptr<const CompiledCode>>;
    std::string key = std::string(caseless ? "i" : "c") + (mode == SearchMode::Units ? "u:" : "f:") + pattern;
    std::lock_guard lock(mutex);
    if (const auto found = entries->find(key); found != entries->end())
        return found->second;
    if (entries->size() >= 256)
        entries->clear();
    return entries->emplace(std::move(key), compileCode(pattern, caseless, mode)).first->second;
}

// The span from one-based byte `start` over `count` bytes, as 0-based character boundaries [first, last).
// `knownBoundary`, a character start, bounds the look back where it lies before the span.
std::pair<std::size_t, std::size_t> spanOf(std::string_view text, long long start, long long count,
                                           std::size_t knownBoundary)
{
    const auto length = static_cast<long long>(text.size());
    const long long begin = std::clamp(start - 1, 0LL, length);
    const long long end = std::clamp(begin + std::max(count, 0LL), begin, length);
    const std::size_t first = characterStart(text, static_cast<std::size_t>(begin), knownBoundary);
    return {first, std::max(first, characterStart(text, static_cast<std::size_t>(end), first))};
}

} // namespace

void setMatchLimit(std::uint32_t limit)
{
    matchLimit.store(limit, std::memory_order_relaxed);
}

EngineSubject::EngineSubject(std::string_view bytes) : text(bytes) {}
EngineSubject::~EngineSubject() = default;

std::pair<std::size_t, std::size_t> SearchResult::byteRange(int k) const
{
    const auto index = static_cast<std::size_t>(k) * 2;
    if (k < 0 || index + 1 >= groups.size() || groups[index] == Unset)
        return {Unset, Unset};
    return {groups[index], groups[index + 1]};
}

void CompiledPattern::compile(const Text& pattern, bool caseless, SearchMode mode)
{
    code = cachedCode(pattern, caseless, mode);
}

bool CompiledPattern::isValid() const
{
    return code && code->compiled();
}

std::string CompiledPattern::compileError() const
{
    return code ? code->error : std::string();
}

bool CompiledPattern::searchesBytes() const
{
    return code && code->byteCode;
}

int CompiledPattern::subExpressionCount() const
{
    return code ? code->groupCount : 0;
}

void CompiledPattern::searchSpan(const EngineSubject& subject, std::size_t startByte, std::size_t endByte,
                                 SearchResult& result) const
{
    result.groups.clear();
    result.failed = false;
    if (!isValid() || startByte > endByte)
        return;
    const auto options = static_cast<std::uint32_t>(matchFlag);
    const std::string_view text = subject.bytes();
    if (!code->byteCode) {
        if (!subject.units)
            subject.units = std::make_unique<SubjectUnits>(text);
        const SubjectUnits& units = *subject.units;
        matchUnits(*code, units, units.unitOfByte(startByte), units.unitOfByte(endByte), options, result);
        for (std::size_t& offset : result.groups)
            if (offset != SearchResult::Unset)
                offset = units.offsets[offset];
        return;
    }
    for (std::size_t from = startByte; from <= endByte;) {
        matchBytes(*code, text.substr(0, endByte), from, options, result);
        if (result.isEmpty())
            return;
        // A match that starts on a trail byte is no match: search on from the next byte, which starts a character.
        // A byte below 0x40 is never a trail byte.
        const std::size_t start = result.groups[0];
        const auto first = start < endByte ? static_cast<unsigned char>(text[start]) : 0;
        if (first < 0x40 || isCharacterBoundary(text, start, from)) {
            subject.knownBoundary = start;
            return;
        }
        result.groups.clear();
        from = start + 1;
    }
}

SearchResult CompiledPattern::search(const EngineSubject& subject, long long start, long long count) const
{
    const auto [first, last] = spanOf(subject.bytes(), start, count, subject.knownBoundary);
    SearchResult result;
    searchSpan(subject, first, last, result);
    return result;
}

std::optional<Text> CompiledPattern::replace(const Text& subjectText, const Text& replacement, long long start,
                                             long long count, bool all, bool wholeText) const
{
    const EngineSubject subject(subjectText);
    const auto [first, last] = spanOf(subjectText, start, count, 0);
    Text result;
    result.reserve(subjectText.size());
    if (wholeText)
        result.append(subjectText, 0, first);
    std::size_t copied = first;
    SearchResult found; // one for every search: its storage is reused
    for (std::size_t from = first; from <= last;) {
        searchSpan(subject, from, last, found);
        if (found.failed)
            return std::nullopt;
        if (found.isEmpty())
            break;
        const auto [matchStart, matchEnd] = found.byteRange(0);
        // Unmatched bytes are copied unchanged, a whole character at a time.
        result.append(subjectText, copied, matchStart - copied);
        result += replacement;
        copied = from = matchEnd;
        if (matchEnd == matchStart) {
            // An empty match: keep the next character and search on after it.
            if (from >= last)
                break;
            const std::size_t next = from + characterLength(subjectText, from);
            result.append(subjectText, copied, next - copied);
            copied = from = next;
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
