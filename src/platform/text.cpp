// The byte-level text helpers.
#include "platform/text.h"

#include <algorithm>

namespace text {

std::vector<std::string> wrapped(std::string_view text, std::size_t width)
{
    std::vector<std::string> lines(1);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width)
            lines.emplace_back();
        if (!lines.back().empty())
            lines.back() += ' ';
        lines.back() += word;
        at = end + 1;
    }
    return lines;
}

std::string withLineFeeds(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            result += text[i];
    return result;
}

} // namespace text
