// Reading the configuration file.
#include "platform/config_file.h"

#include "platform/file_system.h"
#include "platform/user_folders.h"

#include <string_view>

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

} // namespace

std::string configValue(const std::string& key)
{
    const Result<ByteSet> file = readRegularFileThroughLinks(configFilePath(), MaxConfigBytes);
    if (!file)
        return {};
    std::string value;
    std::string_view rest = *file;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = trimmed(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';' || line.front() == '[')
            continue;
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && trimmed(line.substr(0, equals)) == key)
            value = trimmed(line.substr(equals + 1));
    }
    return value;
}

} // namespace platform
