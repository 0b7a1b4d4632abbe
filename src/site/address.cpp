// Link resolution after RFC 3986, reduced to what listing pages hold.
#include "site/address.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace site {
namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// A scheme is letters, digits, '+', '-' and '.' before the first ':', starting with a letter.
bool hasScheme(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

// Removes "." and ".." segments of an absolute path.
std::string removeDotSegments(std::string_view path)
{
    std::vector<std::string_view> segments;
    std::size_t begin = 1;
    while (begin <= path.size()) {
        std::size_t end = path.find('/', begin);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view segment = path.substr(begin, end - begin);
        const bool last = end == path.size();
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
            if (last)
                segments.emplace_back();
        } else if (segment == ".") {
            if (last)
                segments.emplace_back();
        } else {
            segments.push_back(segment);
        }
        begin = end + 1;
    }
    std::string result;
    for (const std::string_view segment : segments) {
        result += '/';
        result += segment;
    }
    return result.empty() ? "/" : result;
}

} // namespace

bool isHttpAddress(const Text& address)
{
    return startsWithNoCase(address, "http://") || startsWithNoCase(address, "https://");
}

Text resolveAddress(const Text& href, const Text& base)
{
    if (href.empty() || isHttpAddress(href) || hasScheme(href) || !isHttpAddress(base))
        return href;
    const std::size_t schemeEnd = base.find("://") + 3;
    const std::size_t pathStart = std::min(base.find_first_of("/?#", schemeEnd), base.size());
    const std::string_view origin(base.data(), pathStart);
    if (href.starts_with("//"))
        return base.substr(0, schemeEnd - 2) + href;
    if (href.starts_with("/"))
        return Text(origin) + removeDotSegments(href.substr(0, href.find_first_of("?#"))) +
               href.substr(std::min(href.find_first_of("?#"), href.size()));
    // Relative to the base's folder.
    std::string_view basePath(base.data() + pathStart, base.size() - pathStart);
    basePath = basePath.substr(0, basePath.find_first_of("?#"));
    const std::size_t lastSlash = basePath.rfind('/');
    const std::string folder = lastSlash == std::string_view::npos ? "/" : std::string(basePath.substr(0, lastSlash + 1));
    const std::size_t queryStart = std::min(href.find_first_of("?#"), href.size());
    return Text(origin) + removeDotSegments(folder + href.substr(0, queryStart)) + href.substr(queryStart);
}

std::string siteAddressOf(const std::string& address)
{
    // What a shell or an editor adds around a pasted address: spaces, TABs, a line break.
    constexpr std::string_view Blank = " \t\r\n";
    const std::size_t first = address.find_first_not_of(Blank);
    std::string site = first == std::string::npos ? std::string()
                                                   : address.substr(first, address.find_last_not_of(Blank) - first + 1);
    if (const std::size_t scheme = site.find("://"); scheme != std::string::npos) {
        const std::size_t path = site.find_first_of("/?#", scheme + 3);
        if (path != std::string::npos)
            site.erase(path);
    }
    while (site.ends_with('/'))
        site.pop_back();
    return site;
}

} // namespace site
