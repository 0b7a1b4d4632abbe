// The user's folders as the XDG base-directory rules name them.
#include "platform/user_folders.h"

#include <cstdlib>
#include <string>

namespace platform {
namespace {

// $variable when it names an absolute folder (the rules say a relative one is ignored), else $HOME/fallback.
Path baseFolder(const char* variable, const char* fallback)
{
    if (const char* value = std::getenv(variable); value && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    return joinPath(home && *home ? home : "/", fallback);
}

} // namespace

Path userDataDirectory()
{
    return joinPath(baseFolder("XDG_DATA_HOME", ".local/share"), "Varnholt");
}

Path configFilePath()
{
    return joinPath(joinPath(baseFolder("XDG_CONFIG_HOME", ".config"), "varnholt"), "varnholt.conf");
}

bool isInstalledProgramFolder(const Path& path)
{
    return path == "/usr" || path.starts_with("/usr/") || path.starts_with("/opt/");
}

} // namespace platform
