// The folders the system gives a program for its user's data and settings, and the rule for where a store may lie.
#pragma once

#include "platform/file_system.h"

namespace platform {

/// The user's data folder for this program: $XDG_DATA_HOME/Varnholt (~/.local/share/Varnholt when the variable is
/// not set or not absolute); %LOCALAPPDATA%\Varnholt on Windows.
Path userDataDirectory();

/// The program's configuration file: $XDG_CONFIG_HOME/varnholt/varnholt.conf (~/.config/... when the variable is
/// not set or not absolute); %APPDATA%\varnholt\varnholt.conf on Windows.
Path configFilePath();

/// Whether `path` is a folder of installed programs (under /usr or /opt), where no program keeps its data even when it
/// could write there.
bool isInstalledProgramFolder(const Path& path);

} // namespace platform
