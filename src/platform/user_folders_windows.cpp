// The user's folders as Windows names them: local application data for the store, roaming data for settings.
#include "platform/user_folders.h"

#include "platform/file_system_detail.h"

#include <windows.h>

#include <initializer_list>

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

// The installer leaves its uninstaller beside the program, and installs under Program Files: such a folder is the
// system's, and the store goes to the user's local application data. A copy elsewhere is portable, and keeps its
// store beside itself.
bool isInstalledProgramFolder(const Path& folder)
{
    if (exists(joinPath(folder, "uninstall.exe")))
        return true;
    for (const wchar_t* variable : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
        wchar_t buffer[32768];
        const DWORD length = GetEnvironmentVariableW(variable, buffer, static_cast<DWORD>(std::size(buffer)));
        if (length == 0 || length >= std::size(buffer))
            continue;
        const Path programs = detail::fromNative(std::filesystem::path(std::wstring(buffer, length)));
        const auto lower = [](std::string text) {
            for (char& c : text)
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            return text;
        };
        if (lower(folder + "/").starts_with(lower(programs + "/")))
            return true;
    }
    return false;
}

} // namespace platform
