// The program's configuration file: plain `key=value` lines.
#pragma once

#include <string>

namespace platform {

/// The value of `key` in the configuration file (see configFilePath; a link to a regular file is followed), or the
/// empty text when the file or the key is missing. Lines are `key=value`, white space around both trimmed; blank lines, lines starting with '#' or ';'
/// and section headers such as "[General]" are passed over; the last line of a key wins.
std::string configValue(const std::string& key);

} // namespace platform
