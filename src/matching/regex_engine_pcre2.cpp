// The regular-expression engine over PCRE2's 32-bit library with JIT, in non-UTF mode over GBK character units.
#include "matching/regex_engine.h"

#include "matching/gbk_text.h"

#define PCRE2_CODE_UNIT_WIDTH 32
#include <pcre2.h>

#include <algorithm>
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

void appendUnits(std::string_view bytes, std::vector<std::uint32_t>& units, std::vector<std::uint32_t>* offsets)
{
    units.reserve(bytes.size());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char byte = data[i];
        if (offsets)
            offsets->push_back(static_cast<std::uint32_t>(i));
        if (isLeadByte(byte) && i + 1 < size && isTrailByte(data[i + 1])) {
            units.push_back((static_cast<std::uint32_t>(byte) << 8) | data[i + 1]);
            i += 2;
        } else {
            units.push_back(byte);
            i += 1;
        }
    }
    if (offsets)
        offsets->push_back(static_cast<std::uint32_t>(size));
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
        std::vector<std::uint32_t> units;
        appendUnits(pattern, units, nullptr);
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

EngineSubject::EngineSubject(std::string_view bytes) : text(bytes)
{
    const bool ascii = std::none_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    appendUnits(bytes, units, ascii ? nullptr : &offsets);
}

std::size_t EngineSubject::unitOfByte(std::size_t byte) const
{
    if (offsets.empty())
        return std::min(byte, units.size());
    const auto next = std::upper_bound(offsets.begin(), offsets.end(), static_cast<std::uint32_t>(byte));
    return static_cast<std::size_t>(next - offsets.begin()) - 1;
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
