// The regular-expression engine over PCRE2's 32-bit library with JIT, in non-UTF mode over GBK character units.
#include "matching/regex_engine.h"

#include "matching/gbk_text.h"

#define PCRE2_CODE_UNIT_WIDTH 32
#include <pcre2.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <mutex>

namespace matching {

struct CompiledCode {
    pcre2_code* code = nullptr;
    bool jit = false;
    int groupCount = 0;
    ~CompiledCode() { pcre2_code_free(code); }
};

namespace {

// Maps GBK bytes to one unit per character into `units` (room for bytes.size() units) and, when `offsets` is given,
// each unit's byte offset followed by the byte length (room for bytes.size() + 1). Returns the unit count. Eight
// ASCII bytes at a time where they come in runs, as mark-up mostly does.
template <bool WithOffsets>
std::size_t mapUnits(std::string_view bytes, std::uint32_t* units, std::uint32_t* offsets)
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
    units.resize(mapUnits<false>(pattern, units.data(), nullptr));
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

// Per-thread match state: match data large enough for any pattern seen, and a JIT stack that grows to 4 MiB.
struct ThreadMatchState {
    pcre2_match_data* data = nullptr;
    std::uint32_t capacity = 0;
    pcre2_jit_stack* stack = nullptr;
    pcre2_match_context* context = nullptr;

    ThreadMatchState()
    {
        stack = pcre2_jit_stack_create(32 * 1024, 4 * 1024 * 1024, nullptr);
        context = pcre2_match_context_create(nullptr);
        if (stack && context)
            pcre2_jit_stack_assign(context, nullptr, stack);
    }
    ~ThreadMatchState()
    {
        pcre2_match_data_free(data);
        pcre2_match_context_free(context);
        pcre2_jit_stack_free(stack);
    }
    pcre2_match_data* dataFor(int groups)
    {
        const auto needed = static_cast<std::uint32_t>(groups + 1);
        if (!data || capacity < needed) {
            pcre2_match_data_free(data);
            capacity = std::max<std::uint32_t>(needed, 16);
            data = pcre2_match_data_create(capacity, nullptr);
        }
        return data;
    }
};

ThreadMatchState& threadState()
{
    thread_local ThreadMatchState state;
    return state;
}

// Compiled patterns by pattern text and options. The program uses a handful of fixed patterns, so the cache stays
// small; it is emptied should it ever grow past its bound.
class PatternCache {
public:
    std::shared_ptr<const CompiledCode> get(const Text& pattern, bool caseless)
    {
        const std::string key = (caseless ? "i:" : "c:") + pattern;
        {
            std::lock_guard lock(mutex);
            if (const auto found = entries.find(key); found != entries.end())
                return found->second;
        }
        auto compiled = compile(pattern, caseless);
        std::lock_guard lock(mutex);
        if (entries.size() >= 256)
            entries.clear();
        entries.emplace(key, compiled);
        return compiled;
    }

private:
    static std::shared_ptr<const CompiledCode> compile(const Text& pattern, bool caseless)
    {
        const std::vector<std::uint32_t> units = patternUnits(pattern);
        int error = 0;
        PCRE2_SIZE offset = 0;
        pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(units.data()), units.size(),
                                         caseless ? PCRE2_CASELESS : 0u, &error, &offset, nullptr);
        if (!code)
            return nullptr;
        auto compiled = std::make_shared<CompiledCode>();
        compiled->code = code;
        compiled->jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
        std::uint32_t count = 0;
        pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &count);
        compiled->groupCount = static_cast<int>(count);
        return compiled;
    }

    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const CompiledCode>> entries;
};

PatternCache& patternCache()
{
    static auto* cache = new PatternCache;
    return *cache;
}

struct Span {
    std::size_t startUnit;
    std::size_t endUnit; // exclusive
    std::size_t startByte;
    std::size_t endByte; // exclusive
};

Span spanOf(const EngineSubject& subject, long long start, long long count)
{
    const auto length = static_cast<long long>(subject.bytes().size());
    const long long first = std::clamp(start - 1, 0LL, length);
    const long long last = std::clamp(first + std::max(count, 0LL), first, length);
    Span span{};
    span.startUnit = subject.unitOfByte(static_cast<std::size_t>(first));
    span.endUnit = std::max(span.startUnit, subject.unitOfByte(static_cast<std::size_t>(last)));
    span.startByte = subject.byteOfUnit(span.startUnit);
    span.endByte = subject.byteOfUnit(span.endUnit);
    return span;
}

} // namespace

EngineSubject::EngineSubject(std::string_view bytes)
    : text(bytes), unitBuffer(bufferPool().take(bytes.size() + 1)), offsetBuffer(bufferPool().take(bytes.size() + 1))
{
    count = mapUnits<true>(bytes, unitBuffer.data.get(), offsetBuffer.data.get());
    units = unitBuffer.data.get();
    offsets = offsetBuffer.data.get();
    // Where every character is one byte the offsets are the identity.
    identity = count == bytes.size();
}

EngineSubject::~EngineSubject()
{
    bufferPool().giveBack(std::move(unitBuffer));
    bufferPool().giveBack(std::move(offsetBuffer));
}

std::size_t EngineSubject::unitOfByte(std::size_t byte) const
{
    if (identity)
        return std::min(byte, count);
    const std::uint32_t* next = std::upper_bound(offsets, offsets + count + 1, static_cast<std::uint32_t>(byte));
    return static_cast<std::size_t>(next - offsets) - 1;
}

Text SearchResult::matchText(const EngineSubject& subject, long long& position) const
{
    return subMatchText(subject, 0, position);
}

Text SearchResult::subMatchText(const EngineSubject& subject, int k, long long& position) const
{
    const auto index = static_cast<std::size_t>(k) * 2;
    if (k < 0 || index + 1 >= groups.size() || groups[index] == Unset)
        return {};
    const std::size_t begin = subject.byteOfUnit(groups[index]);
    const std::size_t end = subject.byteOfUnit(groups[index + 1]);
    position = static_cast<long long>(begin) + 1;
    return Text(subject.bytes().substr(begin, end - begin));
}

CompiledPattern::CompiledPattern() = default;
CompiledPattern::~CompiledPattern() = default;

void CompiledPattern::compile(const Text& pattern, bool caseless)
{
    code = patternCache().get(pattern, caseless);
}

int CompiledPattern::subExpressionCount() const
{
    return code ? code->groupCount : 0;
}

bool CompiledPattern::searchUnits(const EngineSubject& subject, std::size_t startUnit, std::size_t endUnit,
                                  std::vector<std::size_t>& groups) const
{
    groups.clear();
    if (!code || startUnit > endUnit)
        return false;
    ThreadMatchState& state = threadState();
    pcre2_match_data* data = state.dataFor(code->groupCount);
    const auto* units = reinterpret_cast<PCRE2_SPTR>(subject.unitData());
    const auto options = static_cast<std::uint32_t>(matchFlag);
    int found = PCRE2_ERROR_JIT_BADOPTION;
    if (code->jit)
        found = pcre2_jit_match(code->code, units, endUnit, startUnit, options, data, state.context);
    // The interpreter takes over where JIT cannot: options it does not support, or a JIT stack too small.
    if (found == PCRE2_ERROR_JIT_BADOPTION || found == PCRE2_ERROR_JIT_STACKLIMIT || !code->jit)
        found = pcre2_match(code->code, units, endUnit, startUnit, options, data, nullptr);
    if (found < 0)
        return false;
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data);
    const auto pairs = static_cast<std::size_t>(code->groupCount + 1);
    groups.resize(pairs * 2);
    for (std::size_t i = 0; i < pairs * 2; ++i) {
        const bool taken = i / 2 < static_cast<std::size_t>(found) && vector[i] != PCRE2_UNSET;
        groups[i] = taken ? static_cast<std::size_t>(vector[i]) : SearchResult::Unset;
    }
    return true;
}

SearchResult CompiledPattern::search(const EngineSubject& subject, long long start, long long count) const
{
    SearchResult result;
    const Span span = spanOf(subject, start, count);
    searchUnits(subject, span.startUnit, span.endUnit, result.groups);
    return result;
}

bool CompiledPattern::matchTest(const Text& text) const
{
    const EngineSubject subject(text);
    std::vector<std::size_t> groups;
    return searchUnits(subject, 0, subject.unitCount(), groups);
}

Text CompiledPattern::replace(const Text& subjectText, const Text& replacement, long long start, long long count,
                              bool all, bool wholeText) const
{
    const EngineSubject subject(subjectText);
    const Span span = spanOf(subject, start, count);
    Text result;
    result.reserve(subjectText.size());
    if (wholeText)
        result.append(subjectText, 0, span.startByte);
    std::size_t copiedByte = span.startByte;
    std::size_t unit = span.startUnit;
    std::vector<std::size_t> groups;
    while (unit <= span.endUnit && searchUnits(subject, unit, span.endUnit, groups)) {
        const std::size_t matchStart = groups[0];
        const std::size_t matchEnd = groups[1];
        // Unmatched bytes are copied unchanged, a whole character at a time.
        result.append(subjectText, copiedByte, subject.byteOfUnit(matchStart) - copiedByte);
        result += replacement;
        copiedByte = subject.byteOfUnit(matchEnd);
        unit = matchEnd;
        if (matchEnd == matchStart) {
            // An empty match: keep the next character and search on after it.
            if (unit >= span.endUnit)
                break;
            const std::size_t next = subject.byteOfUnit(unit + 1);
            result.append(subjectText, copiedByte, next - copiedByte);
            copiedByte = next;
            ++unit;
        }
        if (!all)
            break;
    }
    result.append(subjectText, copiedByte, span.endByte - copiedByte);
    if (wholeText)
        result.append(subjectText, span.endByte, std::string::npos);
    return result;
}

} // namespace matching
