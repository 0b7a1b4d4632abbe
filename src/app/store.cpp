// Choosing the store's folder and the site, and what the window keeps between runs.
#include "app/store.h"

#include "app/commands/output.h"

#include "platform/config_file.h"
#include "platform/file_system.h"
#include "platform/user_folders.h"
#include "site/address.h"
#include "site/site_texts.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <map>

platform::Path chooseStoreRoot(const std::string& requested)
{
    if (!requested.empty()) {
        (void)platform::ensureDirectories(requested); // an explicit store that cannot be made is reported at its first use
        return requested;
    }
    const platform::Path running = platform::runningDirectory();
    if (!platform::isInstalledProgramFolder(running) && platform::isWritableDirectory(running))
        return running;
    // An installed program's folder is read-only, or no place for data even where it is not (as for root): store
    // where the user's own data goes.
    const platform::Path data = platform::userDataDirectory();
    (void)platform::ensureDirectories(data);
    return data;
}

std::string describeDefaultStore()
{
    // The manual is made from the help text of a program in its build folder: it says where any installation keeps
    // the store.
    if (const char* manual = std::getenv("VARNHOLT_MANUAL"); manual && *manual)
        return "Marrowfen/ beside the program; under the user's data folder ($XDG_DATA_HOME/Varnholt, by default "
               "~/.local/share/Varnholt) when the program is installed or its folder takes no files; --store DIR to "
               "change";
    const platform::Path running = platform::runningDirectory();
    if (!platform::isInstalledProgramFolder(running) && platform::isWritableDirectory(running))
        return platform::joinPath(running, "Marrowfen") + " (beside the program; --store DIR to change)";
    return platform::joinPath(platform::userDataDirectory(), "Marrowfen") +
           " (the user's data folder, since the program's folder takes no data; --store DIR to change)";
}

bool storeIsWritable(const SiteAccessor& site, std::FILE* err)
{
    for (const platform::Path& folder : {site.categoryFolder(), site.listingFolder()}) {
        if (const platform::Status writable = platform::canWriteIn(folder); !writable) {
            std::fprintf(err, "varnholt: cannot write the store: %s: %s\n", folder.c_str(), writable.error().c_str());
            return false;
        }
    }
    return true;
}

std::string chooseSiteAddress(const std::string& option)
{
    if (!option.empty())
        return site::siteAddressOf(option);
    if (const char* variable = std::getenv("VARNHOLT_SITE"); variable && *variable)
        return site::siteAddressOf(variable);
    if (const std::string configured = site::siteAddressOf(platform::configValue("site"));
        site::isHttpAddress(configured))
        return configured;
    return std::string(site::DefaultSiteAddress);
}

namespace {

// What a configuration line's value must be; the empty text when it is fine.
std::string configurationProblem(const platform::ConfigLine& line)
{
    if (!line.isKeyValue)
        return "not a key=value line";
    if (line.key == "site")
        return site::isHttpAddress(site::siteAddressOf(line.value))
            ? std::string()
            : "site takes one http:// or https:// address, not \"" + line.value + "\"";
    if (line.key == "offline")
        return line.value == "true" || line.value == "false"
            ? std::string()
            : "offline takes true or false, not \"" + line.value + "\"";
    return "unknown key \"" + line.key + "\" (the keys are site and offline)";
}

} // namespace

int reportConfigurationProblems(std::FILE* err)
{
    const platform::Path path = platform::configFilePath();
    int named = 0;
    for (const platform::ConfigLine& line : platform::readConfigLines(path))
        if (const std::string problem = configurationProblem(line); !problem.empty()) {
            std::fprintf(err, "varnholt: %s:%d: %s; the line is not used\n",
                         commands::printable(path, false).c_str(), line.number,
                         commands::printable(problem, false).c_str());
            ++named;
        }
    return named;
}

bool isPlaceholderSite(const std::string& address)
{
    return address == site::DefaultSiteAddress;
}

std::string howToSetTheSite()
{
    return "no site is set: name it with --site ADDRESS, the environment variable VARNHOLT_SITE, or a line "
           "site=ADDRESS in " + platform::configFilePath();
}

namespace {

platform::Path windowMemoryPath(const SiteAccessor& site)
{
    return platform::joinPath(site.rootFolder(), ".varnholt-window");
}

// A whole number of at most six digits, or nothing.
std::optional<int> smallNumber(const std::map<std::string, std::string>& values, const std::string& key)
{
    const auto found = values.find(key);
    int value = 0;
    if (found == values.end() || found->second.empty() || found->second.size() > 7)
        return std::nullopt;
    const char* end = found->second.data() + found->second.size();
    const auto [stop, error] = std::from_chars(found->second.data(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

} // namespace

WindowMemory recallWindow(const SiteAccessor& site)
{
    const std::map<std::string, std::string> values = platform::readKeyValues(windowMemoryPath(site));
    WindowMemory memory;
    memory.left = smallNumber(values, "left");
    memory.top = smallNumber(values, "top");
    memory.width = smallNumber(values, "width");
    memory.height = smallNumber(values, "height");
    memory.textSize = smallNumber(values, "text_size");
    memory.page = std::max(0, smallNumber(values, "page").value_or(0));
    memory.article = std::max(0, smallNumber(values, "article").value_or(0));
    return memory;
}

void rememberWindow(const SiteAccessor& site, const WindowMemory& memory)
{
    std::map<std::string, std::string> values;
    const auto keep = [&](const char* key, std::optional<int> value) {
        if (value)
            values[key] = std::to_string(*value);
    };
    keep("left", memory.left);
    keep("top", memory.top);
    keep("width", memory.width);
    keep("height", memory.height);
    keep("text_size", memory.textSize);
    keep("page", memory.page);
    keep("article", memory.article);
    platform::writeKeyValues(windowMemoryPath(site), values);
}
