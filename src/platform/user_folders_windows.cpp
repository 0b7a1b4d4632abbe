// The user's folders as Windows names them: local application data for the store, roaming data for settings.
#include "platform/user_folders.h"

#include "platform/file_system_detail.h"

#include <windows.h>

namespace platform {
namespace {

Path knownFolder(const wchar_t* variable)
{
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(variable, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return runningDirectory();
    return detail::fromNative(std::filesystem::path(std::wstring(buffer, length)));
}

} // namespace

Path userDataDirectory()
{
    return joinPath(knownFolder(L"LOCALAPPDATA"), "Varnholt");
}

Path configFilePath()
{
    return joinPath(joinPath(knownFolder(L"APPDATA"), "varnholt"), "varnholt.conf");
}

bool isInstalledProgramFolder(const Path&)
{
    return false;
}

} // namespace platform
