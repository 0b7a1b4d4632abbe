// GBK-aware plain-text operations: each is one linear pass.
#include "matching/gbk_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VARNHOLT_HAVE_SSE2 1
#else
#define VARNHOLT_HAVE_SSE2 0
#endif
// Byte shuffles (SSSE3), which compact a block in two steps, and 32-byte compares (AVX2): GCC and Clang build them
// for processors that have them, and the code picks them at run time.
#if VARNHOLT_HAVE_SSE2 && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define VARNHOLT_PICKS_AT_RUN_TIME 1
#else
#define VARNHOLT_PICKS_AT_RUN_TIME 0
#endif

namespace matching {

std::size_t characterLength(std::string_view text, std::size_t index)
{
    if (index >= text.size())
        return 0;
    const auto byte = static_cast<unsigned char>(text[index]);
    if (isLeadByte(byte) && index + 1 < text.size() && isTrailByte(static_cast<unsigned char>(text[index + 1])))
        return 2;
    return 1;
}

namespace {

constexpr std::uint64_t Ones = 0x0101010101010101ull;
constexpr std::uint64_t Highs = 0x8080808080808080ull;

// 0x80 in each byte of `word` that equals the byte repeated in `repeated`, and 0 in the others (exact: no false
// positives from borrows).
std::uint64_t equalBytes(std::uint64_t word, std::uint64_t repeated)
{
    const std::uint64_t x = word ^ repeated;
    return ~(((x & ~Highs) + ~Highs) | x) & Highs;
}

// Whether all eight bytes of `word` lie in the lead range 0x81-0xFE.
bool allLeadBytes(std::uint64_t word)
{
    return (word & Highs) == Highs && equalBytes(word, Ones * 0x80) == 0 && equalBytes(word, Ones * 0xFF) == 0;
}

// How common a byte is in GBK web pages, roughly: rarer bytes make better anchors for a text search. Bytes of
// double-byte characters are the most common in Chinese text, those of the punctuation rows A1-A3 above all.
// A table: a search looks up every byte of its needle.
constexpr auto Commonness = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint8_t rank = byte < 0x20 ? 0 : 1;
        if ((byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9'))
            rank = 2;
        if ((byte >= 'a' && byte <= 'z') || byte == '<' || byte == '>' || byte == '"' || byte == '=' || byte == '/')
            rank = 3;
        if (byte == ' ' || byte == '\r' || byte == '\n' || byte == '\t')
            rank = 4;
        if (byte >= 0x80)
            rank = byte >= 0xA1 && byte <= 0xA3 ? 6 : 5;
        table[byte] = rank;
    }
    return table;
}();

int commonness(char byte)
{
    return Commonness[static_cast<unsigned char>(byte)];
}

#if VARNHOLT_PICKS_AT_RUN_TIME
bool hasWideVectors()
{
    static const bool present = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return present;
}

// How far back from `index` (down to `floor`) the bytes lie in the lead range, in whole blocks of 32 (AVX2).
__attribute__((target("avx2"))) std::size_t leadRunWide(const char* data, std::size_t index, std::size_t floor)
{
    // 0x81-0xFE become 0x00-0x7D when 0x7F is added; a byte stays itself under min(byte, 0x7D) only in that range.
    const __m256i shift = _mm256_set1_epi8(0x7F);
    const __m256i highest = _mm256_set1_epi8(0x7D);
    std::size_t run = 0;
    while (index - run >= floor + 32) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + index - run - 32));
        const __m256i moved = _mm256_add_epi8(block, shift);
        const __m256i inRange = _mm256_cmpeq_epi8(_mm256_min_epu8(moved, highest), moved);
        if (static_cast<std::uint32_t>(_mm256_movemask_epi8(inRange)) != 0xFFFFFFFFu)
            break;
        run += 32;
    }
    return run;
}
#endif

} // namespace

bool isCharacterBoundary(std::string_view text, std::size_t index, std::size_t knownBoundary)
{
    if (index == 0 || index >= text.size() || index == knownBoundary)
        return true;
    // A byte that cannot lead a double-byte character always ends one: the position after it is a boundary, as is
    // a known boundary. From there, lead-range bytes pair up, so the parity of the run before `index` decides.
    if (!isLeadByte(static_cast<unsigned char>(text[index - 1])))
        return true;
    const std::size_t floor = knownBoundary < index ? knownBoundary : 0;
    std::size_t run = 0;
    // 32, 16 or eight bytes at a time through the long runs of Chinese text, where every byte is in the lead range.
#if VARNHOLT_PICKS_AT_RUN_TIME
    if (hasWideVectors())
        run = leadRunWide(text.data(), index, floor);
#endif
#if VARNHOLT_HAVE_SSE2
    // 0x81-0xFE become 0x00-0x7D when 0x7F is added; a byte stays itself under min(byte, 0x7D) only in that range.
    const __m128i shift = _mm_set1_epi8(0x7F);
    const __m128i highest = _mm_set1_epi8(0x7D);
    while (index - run >= floor + 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + index - run - 16));
        const __m128i moved = _mm_add_epi8(block, shift);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(moved, highest), moved)) != 0xFFFF)
            break;
        run += 16;
    }
#endif
    while (index - run >= floor + 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + index - run - 8, 8);
        if (!allLeadBytes(word))
            break;
        run += 8;
    }
    while (index - run > floor && isLeadByte(static_cast<unsigned char>(text[index - 1 - run])))
        ++run;
    if (run % 2 == 0)
        return true;
    // `index - 1` starts a character: `index` is its trail unless that byte cannot be one.
    return !isTrailByte(static_cast<unsigned char>(text[index]));
}

namespace {

// Whether the bytes at `at` are `needle`: short needles without a call.
bool sameBytes(const char* at, std::string_view needle)
{
    if (needle.size() > 16)
        return std::memcmp(at, needle.data(), needle.size()) == 0;
    for (std::size_t i = 0; i < needle.size(); ++i)
        if (at[i] != needle[i])
            return false;
    return true;
}

#if VARNHOLT_PICKS_AT_RUN_TIME
// Where `a` stands at offset `ia` and `b` at offset `ib` of a candidate start: the first block of 32 candidate
// starts from `start` on (all before `stop`) that holds any, as the block's start and a bit per start; a mask of 0
// and the end of the blocks when none does. Nothing is called from here: code built without AVX2 that ran while
// the wide registers are in use would pay for each switch.
struct PairBlock {
    std::size_t start;
    std::uint32_t mask;
};

__attribute__((target("avx2"))) PairBlock nextPairsWide(const char* data, std::size_t start, std::size_t stop,
                                                        std::size_t ia, char a, std::size_t ib, char b)
{
    const __m256i first = _mm256_set1_epi8(a);
    const __m256i other = _mm256_set1_epi8(b);
    for (; start + 32 <= stop; start += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + start + ia));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + start + ib));
        const auto mask = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(x, first), _mm256_cmpeq_epi8(y, other))));
        if (mask != 0)
            return {start, mask};
    }
    return {start, 0};
}
#endif

// The position of the needle's byte that is best tested beside `anchor`: the rarest of the others, the farthest
// from the anchor among equals.
std::size_t secondAnchor(std::string_view needle, std::size_t anchor)
{
    std::size_t second = anchor == 0 ? 1 : 0;
    const auto distance = [&](std::size_t i) { return i > anchor ? i - anchor : anchor - i; };
    for (std::size_t i = 0; i < needle.size(); ++i) {
        if (i == anchor)
            continue;
        const int rank = commonness(needle[i]);
        const int secondRank = commonness(needle[second]);
        if (rank < secondRank || (rank == secondRank && distance(i) > distance(second)))
            second = i;
    }
    return second;
}

} // namespace

std::size_t findText(std::string_view text, std::string_view needle, std::size_t from)
{
    if (needle.empty() || from > text.size() || needle.size() > text.size() - from)
        return std::string_view::npos;
    // Look for the needle's rarest byte, then compare the whole needle around it.
    std::size_t anchor = 0;
    for (std::size_t i = 1; i < needle.size(); ++i)
        if (commonness(needle[i]) < commonness(needle[anchor]))
            anchor = i;
    const char anchorByte = needle[anchor];
    const std::size_t stop = text.size() - needle.size() + 1; // candidate starts lie before it
    std::size_t knownBoundary = from;
    std::size_t found = std::string_view::npos;
    // Accepts the needle at `candidate` if a character starts there.
    const auto check = [&](std::size_t candidate) {
        if (!sameBytes(text.data() + candidate, needle))
            return false;
        if (isCharacterBoundary(text, candidate, knownBoundary)) {
            found = candidate;
            return true;
        }
        // The candidate is a trail byte: the next byte starts a character.
        knownBoundary = candidate + 1;
        return false;
    };
    std::size_t start = from;
#if VARNHOLT_HAVE_SSE2
    // Even the rarest byte of a needle like CR LF CR LF is in every line, and memchr would stop at each. Then the
    // rarest two bytes are tested together, for a block of starting positions at a time.
    if (needle.size() >= 2 && commonness(anchorByte) >= 4) {
        const std::size_t second = secondAnchor(needle, anchor);
#if VARNHOLT_PICKS_AT_RUN_TIME
        if (hasWideVectors())
            for (;;) {
                const PairBlock block =
                    nextPairsWide(text.data(), start, stop, anchor, anchorByte, second, needle[second]);
                start = block.start;
                if (block.mask == 0)
                    break;
                for (std::uint32_t mask = block.mask; mask != 0; mask &= mask - 1)
                    if (check(start + static_cast<std::size_t>(std::countr_zero(mask))))
                        return found;
                start += 32;
            }
#endif
        const __m128i first = _mm_set1_epi8(anchorByte);
        const __m128i other = _mm_set1_epi8(needle[second]);
        for (; start + 16 <= stop; start += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + start + anchor));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + start + second));
            auto mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, other))));
            for (; mask != 0; mask &= mask - 1)
                if (check(start + static_cast<std::size_t>(std::countr_zero(mask))))
                    return found;
        }
    }
#endif
    for (std::size_t scan = start + anchor; found == std::string_view::npos && scan < stop + anchor;) {
        const void* hit = std::memchr(text.data() + scan, anchorByte, stop + anchor - scan);
        if (!hit)
            break;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        check(at - anchor);
        scan = at + 1;
    }
    return found;
}

namespace {

// Where one erasure stands in the shared buffer: its input lies in [read, the previous stage's write position),
// its output in [0, write), with write <= read. `searchFrom` (>= read, a character boundary) is where a text
// erasure looks for the next occurrence.
struct Cursor {
    std::size_t read = 0;
    std::size_t write = 0;
    std::size_t searchFrom = 0;
};

// Moves the input [c.read, inputEnd) down to c.write without the `bytes`. Where at least sixteen bytes lie between
// the write and the read position, words are stored whole and the bytes past the kept ones are written over later;
// nearer, one byte at a time.
#if VARNHOLT_HAVE_SSE2
// Up to four bytes to find, sixteen at a time.
template <std::size_t targets>
struct WantedBytes {
    __m128i repeated[targets > 0 ? targets : 1];

    explicit WantedBytes(std::string_view bytes)
    {
        for (std::size_t t = 0; t < targets; ++t)
            repeated[t] = _mm_set1_epi8(bytes[t]);
    }
    // Bit k set where byte k of `block` is one of them.
    unsigned in(__m128i block) const
    {
        __m128i hit = _mm_setzero_si128();
        for (std::size_t t = 0; t < targets; ++t)
            hit = _mm_or_si128(hit, _mm_cmpeq_epi8(block, repeated[t]));
        return static_cast<unsigned>(_mm_movemask_epi8(hit));
    }
};
#endif

#if VARNHOLT_PICKS_AT_RUN_TIME
// For each 8-bit mask of dropped bytes: where the kept bytes of an eight-byte half come from (0x80: nothing), and
// how many there are.
struct CompressStep {
    std::array<std::uint8_t, 8> order{};
    std::size_t kept = 0;
};
constexpr auto CompressTable = [] {
    std::array<CompressStep, 256> table{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        std::size_t kept = 0;
        for (std::uint8_t lane = 0; lane < 8; ++lane)
            if (!(mask & (1u << lane)))
                table[mask].order[kept++] = lane;
        table[mask].kept = kept;
        for (; kept < 8; ++kept)
            table[mask].order[kept] = 0x80;
    }
    return table;
}();

bool hasShuffle()
{
    static const bool present = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return present;
}

// Moves sixteen bytes at a time down to `length`, without the `bytes`; stops before the last partial block.
template <std::size_t targets>
__attribute__((target("ssse3"))) void shuffleBlocks(char* data, std::size_t& read, std::size_t& write,
                                                    std::size_t inputEnd, std::string_view bytes)
{
    // Local positions: the stores through `data` could otherwise alias them, and they would be reloaded each time.
    std::size_t i = read;
    std::size_t length = write;
    const WantedBytes<targets> wanted(bytes);
    while (i + 16 <= inputEnd) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const unsigned dropped = wanted.in(block);
        if (dropped == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(data + length), block);
            length += 16;
        } else if (i - length >= 16) {
            // Each half packed by its own shuffle and stored whole; the bytes past the kept ones are written over.
            const CompressStep& low = CompressTable[dropped & 0xFF];
            const CompressStep& high = CompressTable[dropped >> 8];
            const __m128i lowOrder = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(low.order.data()));
            const __m128i highOrder = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(high.order.data()));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(data + length), _mm_shuffle_epi8(block, lowOrder));
            length += low.kept;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(data + length),
                             _mm_shuffle_epi8(_mm_srli_si128(block, 8), highOrder));
            length += high.kept;
        } else {
            for (std::size_t k = 0; k < 16; ++k) {
                data[length] = data[i + k];
                length += !(dropped & (1u << k));
            }
        }
        i += 16;
    }
    read = i;
    write = length;
}
#endif

template <std::size_t targets>
void dropBytes(char* data, Cursor& c, std::size_t inputEnd, std::string_view bytes)
{
    std::size_t i = c.read;
    std::size_t length = c.write;
    const auto oneByOne = [&](std::size_t stop) {
        for (; i < stop; ++i) {
            const char byte = data[i];
            data[length] = byte;
            length += bytes.find(byte) == std::string_view::npos;
        }
    };
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t repeated[targets > 0 ? targets : 1] = {};
        for (std::size_t t = 0; t < targets; ++t)
            repeated[t] = Ones * static_cast<unsigned char>(bytes[t]);
        // One word: stored whole when nothing in it goes, else as the kept stretches between the dropped bytes.
        const auto word = [&](std::uint64_t value) {
            std::uint64_t dropped = 0;
            for (std::size_t t = 0; t < targets; ++t)
                dropped |= equalBytes(value, repeated[t]);
            std::size_t from = 0;
            for (; dropped != 0; dropped &= dropped - 1) {
                const auto lane = static_cast<std::size_t>(std::countr_zero(dropped)) / 8;
                const std::uint64_t rest = value >> (8 * from);
                std::memcpy(data + length, &rest, 8);
                length += lane - from;
                from = lane + 1;
            }
            if (from < 8) {
                const std::uint64_t rest = value >> (8 * from);
                std::memcpy(data + length, &rest, 8);
                length += 8 - from;
            }
        };
#if VARNHOLT_PICKS_AT_RUN_TIME
        if constexpr (targets > 0)
            if (hasShuffle())
                shuffleBlocks<targets>(data, i, length, inputEnd, bytes);
#endif
#if VARNHOLT_HAVE_SSE2
        const WantedBytes<targets> wanted(bytes);
        while (i + 16 <= inputEnd) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            if (wanted.in(block) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(data + length), block);
                length += 16;
                i += 16;
            } else if (i - length >= 16) {
                std::uint64_t halves[2];
                std::memcpy(halves, &block, 16);
                word(halves[0]);
                word(halves[1]);
                i += 16;
            } else {
                oneByOne(i + 16);
            }
        }
#endif
        while (i + 8 <= inputEnd) {
            std::uint64_t value;
            std::memcpy(&value, data + i, 8);
            std::uint64_t dropped = 0;
            for (std::size_t t = 0; t < targets; ++t)
                dropped |= equalBytes(value, repeated[t]);
            if (dropped == 0) {
                std::memcpy(data + length, &value, 8);
                length += 8;
                i += 8;
            } else if (i - length >= 16) {
                word(value);
                i += 8;
            } else {
                oneByOne(i + 8);
            }
        }
    }
    oneByOne(inputEnd);
    c.read = c.searchFrom = i;
    c.write = length;
}

void dropEachByte(char* data, Cursor& c, std::size_t inputEnd, std::string_view bytes)
{
    switch (bytes.size()) {
    case 1: return dropBytes<1>(data, c, inputEnd, bytes);
    case 2: return dropBytes<2>(data, c, inputEnd, bytes);
    case 3: return dropBytes<3>(data, c, inputEnd, bytes);
    default: return dropBytes<4>(data, c, inputEnd, bytes.substr(0, 4));
    }
}

// Moves the input [c.read, inputEnd) down to c.write without the occurrences of `needle`, found left to right
// without overlap. Until the input is `complete`, the last bytes that could start an occurrence ending in input
// still to come wait in place.
void dropText(char* data, Cursor& c, std::size_t inputEnd, bool complete, std::string_view needle)
{
    const std::string_view input(data, inputEnd);
    const auto moveTo = [&](std::size_t stop) {
        std::memmove(data + c.write, data + c.read, stop - c.read);
        c.write += stop - c.read;
        c.read = stop;
    };
    const std::size_t limit = complete ? inputEnd : inputEnd - std::min(inputEnd, needle.size() - 1);
    while (c.searchFrom < limit) {
        const std::size_t found = findText(input, needle, c.searchFrom);
        if (found == std::string_view::npos || found >= limit)
            break;
        moveTo(found);
        c.read = found + needle.size();
        // The search goes on from the next character: a needle that ends with a lone lead byte may end inside one.
        c.searchFrom = isCharacterBoundary(input, c.read, found) ? c.read : c.read + 1;
    }
    if (complete) {
        moveTo(inputEnd);
        return;
    }
    // What lies before the last possible start moves on, up to a character boundary.
    std::size_t stop = limit;
    if (stop > c.searchFrom && !isCharacterBoundary(input, stop, c.searchFrom))
        --stop;
    if (stop > c.searchFrom) {
        moveTo(stop);
        c.searchFrom = stop;
    }
}

} // namespace

Text eraseInTurn(Text text, std::span<const Erasure> erasures, std::size_t begin, std::size_t end, std::size_t chunk,
                 Text* copy)
{
    end = std::min(end, text.size());
    begin = std::min(begin, end);
    chunk = std::max<std::size_t>(chunk, 1);
    if (copy) {
        copy->clear();
        copy->reserve(end - begin);
    }
    std::vector<Cursor> cursors(erasures.size());
    if (!cursors.empty())
        cursors[0].read = cursors[0].searchFrom = begin;
    char* data = text.data();
    // All erasures work through one stretch before the next is read, so that it is still in the cache.
    std::size_t read = begin;
    std::size_t copied = 0;
    for (bool complete = false; !complete;) {
        read = end - read > chunk ? read + chunk : end;
        complete = read == end;
        std::size_t inputEnd = read;
        for (std::size_t k = 0; k < erasures.size(); ++k) {
            const Erasure& erasure = erasures[k];
            assert(erasure.kind != Erasure::EachByte ||
                   (erasure.text.size() <= 4 && std::all_of(erasure.text.begin(), erasure.text.end(), [](char byte) {
                        return static_cast<unsigned char>(byte) < 0x40;
                    })));
            if (erasure.text.empty())
                dropBytes<0>(data, cursors[k], inputEnd, {});
            else if (erasure.kind == Erasure::EachByte)
                dropEachByte(data, cursors[k], inputEnd, erasure.text);
            else
                dropText(data, cursors[k], inputEnd, complete, erasure.text);
            inputEnd = cursors[k].write;
        }
        // What the last erasure has written is final.
        if (copy && !erasures.empty()) {
            copy->append(data + copied, inputEnd - copied);
            copied = inputEnd;
        }
    }
    if (erasures.empty()) {
        text.erase(end);
        text.erase(0, begin);
        if (copy)
            *copy = text;
        return text;
    }
    text.resize(cursors.back().write);
    return text;
}

Text eraseAll(Text text, std::string_view needle)
{
    const Erasure erasure{Erasure::Occurrences, needle};
    return eraseInTurn(std::move(text), {&erasure, 1});
}

Text eraseBytes(Text text, std::string_view bytes, std::size_t begin, std::size_t end)
{
    const Erasure erasure{Erasure::EachByte, bytes};
    return eraseInTurn(std::move(text), {&erasure, 1}, begin, end);
}

} // namespace matching
