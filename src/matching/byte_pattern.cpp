// A small recursive-descent reader of the pattern syntax that decides whether a pattern is safe on GBK bytes.
#include "matching/byte_pattern.h"

#include "matching/gbk_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace matching {
namespace {

// What one element can match, seen from a character boundary.
enum class Kind {
    Low,    // one byte below 0x40: never a trail byte, so the position before it is always a boundary
    Narrow, // one ASCII byte, or one whole double-byte literal
    Wide,   // any byte but some below 0x40: may stop between the bytes of a character unless a Low byte follows
    Group,
};

constexpr unsigned char LowLimit = 0x40;

bool isAsciiAlphanumeric(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

class Reader {
public:
    Reader(std::string_view pattern, bool caseless) : pattern(pattern), caseless(caseless) {}

    std::optional<std::string> read()
    {
        const std::optional<bool> open = alternatives(false);
        // The whole pattern must end on a boundary, and every parenthesis must have been matched.
        if (!open || *open || position != pattern.size())
            return std::nullopt;
        // The pattern as it is, but each double-byte literal one group, so that a quantifier repeats the character.
        std::string out;
        std::size_t copied = 0;
        for (const std::size_t at : doubleByteLiterals) {
            char hex[24];
            std::snprintf(hex, sizeof hex, "(?:\\x{%02x}\\x{%02x})", static_cast<unsigned char>(pattern[at]),
                          static_cast<unsigned char>(pattern[at + 1]));
            out.append(pattern.substr(copied, at - copied)).append(hex);
            copied = at + 2;
        }
        return out.append(pattern.substr(copied));
    }

private:
    bool atEnd() const { return position >= pattern.size(); }
    unsigned char peek(std::size_t ahead = 0) const
    {
        return position + ahead < pattern.size() ? static_cast<unsigned char>(pattern[position + ahead]) : 0;
    }

    // Alternatives separated by '|'. `open` says whether the search may stand inside a character here ("open"
    // until a Low byte closes it). Returns whether it may stand inside one at the end, or nothing when unsafe.
    std::optional<bool> alternatives(bool open)
    {
        bool endsOpen = false;
        for (;;) {
            const std::optional<bool> end = sequence(open);
            if (!end)
                return std::nullopt;
            endsOpen = endsOpen || *end;
            if (atEnd() || peek() != '|')
                return endsOpen;
            ++position;
        }
    }

    std::optional<bool> sequence(bool open)
    {
        while (!atEnd() && peek() != '|' && peek() != ')') {
            bool groupEndsOpen = false;
            std::optional<Kind> kind;
            if (peek() == '(') {
                if (open)
                    return std::nullopt;
                kind = Kind::Group;
                ++position;
                if (peek() == '?' && peek(1) != ':')
                    return std::nullopt;
                if (peek() == '?')
                    position += 2;
                // As deep as the engine allows groups to nest, and no deeper than the stack does.
                if (++depth > MaxDepth)
                    return std::nullopt;
                const std::optional<bool> inner = alternatives(false);
                --depth;
                if (!inner || atEnd() || peek() != ')')
                    return std::nullopt;
                ++position;
                groupEndsOpen = *inner;
            } else {
                kind = atom();
            }
            if (!kind)
                return std::nullopt;

            const std::optional<Quantifier> quantifier = readQuantifier();
            if (!quantifier)
                return std::nullopt;
            switch (*kind) {
            case Kind::Low:
                // Where it may match nothing, the position may still stand inside a character.
                open = open && quantifier->mayBeEmpty;
                break;
            case Kind::Narrow:
                if (open)
                    return std::nullopt;
                break;
            case Kind::Wide:
                // Counted repeats would count bytes instead of characters.
                if (open || !quantifier->isStarOrPlus)
                    return std::nullopt;
                open = true;
                break;
            case Kind::Group:
                // A repeated group must come back to a boundary before it starts again.
                if (groupEndsOpen && quantifier->present)
                    return std::nullopt;
                open = groupEndsOpen;
                break;
            }
        }
        return open;
    }

    struct Quantifier {
        bool present = false;
        bool mayBeEmpty = false;
        bool isStarOrPlus = false;
    };

    std::optional<Quantifier> readQuantifier()
    {
        Quantifier quantifier;
        const unsigned char c = peek();
        if (c == '*' || c == '+' || c == '?') {
            quantifier = {true, c != '+', c != '?'};
            ++position;
        } else if (c == '{') {
            // Only the forms {n}, {n,} and {n,m}: anything else is a literal brace to some engine versions and a
            // quantifier to others.
            ++position;
            std::size_t minimum = 0;
            std::size_t digits = 0;
            for (; !atEnd() && peek() >= '0' && peek() <= '9'; ++position, ++digits)
                minimum = std::min<std::size_t>(minimum * 10 + (peek() - '0'), 100000);
            if (digits == 0)
                return std::nullopt;
            if (peek() == ',') {
                ++position;
                while (!atEnd() && peek() >= '0' && peek() <= '9')
                    ++position;
            }
            if (peek() != '}')
                return std::nullopt;
            ++position;
            quantifier = {true, minimum == 0, false};
        } else {
            return quantifier;
        }
        if (peek() == '?' || peek() == '+')
            ++position;
        return quantifier;
    }

    // One element outside a class.
    std::optional<Kind> atom()
    {
        const unsigned char c = peek();
        if (c == '.') {
            ++position;
            return Kind::Wide;
        }
        if (c == '[')
            return characterClass();
        if (c == '\\') {
            const unsigned char e = peek(1);
            if (e == 0 || e >= 0x80)
                return std::nullopt;
            position += 2;
            switch (e) {
            case 'd': case 's': case 'n': case 'r': case 't': case 'f':
                return Kind::Low;
            case 'w':
                return Kind::Narrow;
            case 'D': case 'S':
                return Kind::Wide;
            default:
                if (isAsciiAlphanumeric(e))
                    return std::nullopt;
                return e < LowLimit ? Kind::Low : Kind::Narrow;
            }
        }
        if (c >= 0x80) {
            // Caseless, a trail byte could match a letter of the other case.
            if (caseless || characterLength(pattern, position) != 2)
                return std::nullopt;
            doubleByteLiterals.push_back(position);
            position += 2;
            return Kind::Narrow;
        }
        if (c == '^' || c == '$' || c == '*' || c == '+' || c == '?' || c == '{')
            return std::nullopt;
        ++position;
        return c < LowLimit ? Kind::Low : Kind::Narrow;
    }

    // One member of a class: a literal byte (its value in `byte`), or a class escape (its highest byte in `high`).
    bool classMember(unsigned char& byte, unsigned char& high, bool& isEscape)
    {
        const unsigned char c = peek();
        isEscape = false;
        if (c >= 0x80 || (c == '[' && peek(1) == ':'))
            return false;
        if (c != '\\') {
            ++position;
            byte = high = c;
            return true;
        }
        const unsigned char e = peek(1);
        position += 2;
        switch (e) {
        case 'd': isEscape = true; high = '9'; return true;
        case 's': isEscape = true; high = ' '; return true;
        case 'w': isEscape = true; high = 'z'; return true;
        case 'n': byte = high = '\n'; return true;
        case 'r': byte = high = '\r'; return true;
        case 't': byte = high = '\t'; return true;
        case 'f': byte = high = '\f'; return true;
        default:
            if (e == 0 || e >= 0x80 || isAsciiAlphanumeric(e))
                return false;
            byte = high = e;
            return true;
        }
    }

    std::optional<Kind> characterClass()
    {
        ++position;
        const bool negated = peek() == '^';
        if (negated)
            ++position;
        unsigned char highest = 0;
        bool first = true;
        while (!atEnd() && (peek() != ']' || first)) {
            first = false;
            unsigned char byte = 0;
            unsigned char high = 0;
            bool isEscape = false;
            if (!classMember(byte, high, isEscape))
                return std::nullopt;
            if (!isEscape && peek() == '-' && peek(1) != ']' && peek(1) != 0) {
                ++position;
                unsigned char last = 0;
                if (!classMember(last, high, isEscape) || isEscape || last < byte)
                    return std::nullopt;
            }
            highest = std::max(highest, high);
        }
        if (atEnd())
            return std::nullopt;
        ++position;
        if (negated)
            return highest < LowLimit ? std::optional(Kind::Wide) : std::nullopt;
        return highest < LowLimit ? Kind::Low : Kind::Narrow;
    }

    static constexpr int MaxDepth = 250;

    std::string_view pattern;
    bool caseless;
    std::size_t position = 0;
    int depth = 0;
    std::vector<std::size_t> doubleByteLiterals;
};

} // namespace

std::optional<std::string> bytePattern(std::string_view pattern, bool caseless)
{
    if (pattern.empty())
        return std::nullopt;
    return Reader(pattern, caseless).read();
}

} // namespace matching
