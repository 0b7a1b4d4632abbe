// A small recursive-descent reader of the pattern syntax that decides whether a pattern is safe on GBK bytes.
#include "matching/byte_pattern.h"

#include "matching/gbk_text.h"

#include <algorithm>
#include <cctype>
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

Kind kindOf(unsigned char highest)
{
    return highest < LowLimit ? Kind::Low : Kind::Narrow;
}

// The highest byte that the escape `\e` matches, in a class or outside one; nothing for an escape not accepted.
std::optional<unsigned char> escapeHighest(unsigned char e)
{
    switch (e) {
    case 'd': return '9';
    case 's': return ' ';
    case 'w': return 'z';
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case 'f': return '\f';
    default:
        if (e == 0 || e >= 0x80 || std::isalnum(e))
            return std::nullopt;
        return e;
    }
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
            constexpr std::string_view Digits = "0123456789";
            const std::size_t first = position + 1;
            const std::size_t comma = std::min(pattern.find_first_not_of(Digits, first), pattern.size());
            std::size_t close = comma;
            if (peek(comma - position) == ',')
                close = std::min(pattern.find_first_not_of(Digits, comma + 1), pattern.size());
            if (comma == first || peek(close - position) != '}')
                return std::nullopt;
            quantifier = {true, pattern.find_first_not_of('0', first) >= comma, false};
            position = close + 1;
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
            position += 2;
            if (e == 'D' || e == 'S')
                return Kind::Wide;
            const std::optional<unsigned char> highest = escapeHighest(e);
            return highest ? std::optional(kindOf(*highest)) : std::nullopt;
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
        return kindOf(c);
    }

    // One member of a class: its highest byte; `isClassEscape`: \d, \s or \w, which cannot bound a range.
    std::optional<unsigned char> classMember(bool& isClassEscape)
    {
        const unsigned char c = peek();
        const unsigned char e = peek(1);
        isClassEscape = c == '\\' && (e == 'd' || e == 's' || e == 'w');
        if (c == '\\') {
            position += 2;
            return escapeHighest(e);
        }
        if (c >= 0x80 || (c == '[' && e == ':'))
            return std::nullopt;
        ++position;
        return c;
    }

    std::optional<Kind> characterClass()
    {
        ++position;
        const bool negated = peek() == '^';
        if (negated)
            ++position;
        unsigned char highest = 0;
        for (bool first = true; !atEnd() && (peek() != ']' || first); first = false) {
            bool isClassEscape = false;
            std::optional<unsigned char> member = classMember(isClassEscape);
            if (member && !isClassEscape && peek() == '-' && peek(1) != ']' && peek(1) != 0) {
                ++position;
                const unsigned char low = *member;
                member = classMember(isClassEscape);
                if (isClassEscape || (member && *member < low))
                    return std::nullopt;
            }
            if (!member)
                return std::nullopt;
            highest = std::max(highest, *member);
        }
        if (atEnd())
            return std::nullopt;
        ++position;
        if (negated)
            return highest < LowLimit ? std::optional(Kind::Wide) : std::nullopt;
        return kindOf(highest);
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
