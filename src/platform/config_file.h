// The program's configuration file: plain `key=value` lines.
#pragma once

#include "platform/file_system.h"
#include "platform/outcome.h"

#include <map>
#include <string>
#include <vector>

namespace platform {

/// A line of a `key=value` file that is not blank, a comment or a section header, with its number (from 1). A line
/// without '=' has `isKeyValue` false, and the whole line trimmed as its key.
struct ConfigLine {
    int number = 0;
    std::string key;
    std::string value;
    bool isKeyValue = true;
};

/// The lines of the small file at `path`, read as readKeyValues reads them, in their order.
std::vector<ConfigLine> readConfigLines(const Path& path);

/// The `key=value` lines of the small file at `path` (a link to a regular file is followed; at most 64 KiB), white
/// space around both trimmed; blank lines, lines starting with '#' or ';' and section headers such as "[General]" are
/// passed over; the last line of a key wins. Empty when the file is missing or unreadable.
std::map<std::string, std::string> readKeyValues(const Path& path);

/// Writes `values` as `key=value` lines to the file at `path`, whole and atomically, creating its folder. A key or a
/// value holding a line break is left out.
Status writeKeyValues(const Path& path, const std::map<std::string, std::string>& values);

/// Sets `key` to `value` in the configuration file, keeping its other lines (comments included): the key's last line
/// is replaced, or a line is added. Written whole and atomically; the file and its folder are made where missing.
Status setConfigValue(const std::string& key, const std::string& value);

/// The value of `key` in the configuration file (see configFilePath), read as readKeyValues reads; the empty text
/// when the file or the key is missing.
std::string configValue(const std::string& key);

} // namespace platform
