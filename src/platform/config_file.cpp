// Small key=value files: the configuration file, and what the window keeps between runs.
#include "platform/config_file.h"

#include "platform/file_system.h"
#include "platform/file_system_detail.h"
#include "platform/user_folders.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {
namespace {

// A configuration file is a few lines: anything larger is not one.
constexpr std::size_t MaxConfigBytes = 64 * 1024;

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view Blank = " \t\r\n";
    const std::size_t first = text.find_first_not_of(Blank);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(Blank) - first + 1);
}

// Writes `text` to `path` atomically, making its folder first where it is missing.
Status writeInFolder(const Path& path, const std::string& text)
{
    const std::size_t slash = path.rfind('/');
    if (slash != Path::npos && slash > 0)
        if (Status made = ensureDirectories(path.substr(0, slash)); !made)
            return made;
    return writeWholeFile(path, text);
}

} // namespace

std::vector<ConfigLine> readConfigLines(const Path& path)
{
    std::vector<ConfigLine> lines;
    const Result<ByteSet> file = readRegularFileThroughLinks(path, MaxConfigBytes);
    if (!file)
        return lines;
    std::string_view rest = *file;
    for (int number = 1; !rest.empty(); ++number) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';' || line.front() == '[')
            continue;
        if (const std::size_t equals = line.find('='); equals != std::string_view::npos)
            lines.push_back({number, std::string(trimmed(line.substr(0, equals))),
                             std::string(trimmed(line.substr(equals + 1))), true});
        else
            lines.push_back({number, std::string(line), {}, false});
    }
    return lines;
}

std::map<std::string, std::string> readKeyValues(const Path& path)
{
    std::map<std::string, std::string> values;
    for (const ConfigLine& line : readConfigLines(path))
        if (line.isKeyValue)
            values[line.key] = line.value;
    return values;
}

Status writeKeyValues(const Path& path, const std::map<std::string, std::string>& values)
{
    std::string text;
    for (const auto& [key, value] : values)
        if (key.find_first_of("\r\n=") == std::string::npos && value.find_first_of("\r\n") == std::string::npos)
            text += key + "=" + value + "\n";
    return writeInFolder(path, text);
}

Status setConfigValue(const std::string& key, const std::string& value)
{
    if (key.find_first_of("\r\n=") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
        return Failure{"a line break in a configuration value"};
    const Path path = configFilePath();
    const Result<ByteSet> file = readRegularFileThroughLinks(path, MaxConfigBytes);
    std::vector<std::string> lines;
    std::optional<std::size_t> last;
    for (std::string_view rest = file ? std::string_view(*file) : std::string_view(); !rest.empty();) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::string_view bare = trimmed(line);
        if (const std::size_t equals = bare.find('=');
            equals != std::string_view::npos && !bare.starts_with('#') && !bare.starts_with(';') &&
            trimmed(bare.substr(0, equals)) == key)
            last = lines.size();
        lines.emplace_back(line);
    }
    const std::string set = key + "=" + value;
    if (last)
        lines[*last] = set;
    else
        lines.push_back(set);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    // A configuration file kept elsewhere behind a link is written there: the link stays.
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(detail::nativePath(path), error);
    const Path target = error ? path : detail::fromNative(real);
    return writeInFolder(target, text);
}

std::string configValue(const std::string& key)
{
    const std::map<std::string, std::string> values = readKeyValues(configFilePath());
    const auto found = values.find(key);
    return found == values.end() ? std::string() : found->second;
}

} // namespace platform
