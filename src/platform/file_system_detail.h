// What the two halves of the file-system layer share: the temporary names of atomic writes, error texts, paths.
#pragma once

#include "platform/file_system.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace platform::detail {

constexpr std::string_view TemporaryPrefix = ".vh-";
constexpr std::string_view TemporarySuffix = ".part";

/// A short, unique name for a temporary file: the target's name may already use the whole 255-byte limit.
std::string temporaryName();

/// An error's message as the commands print it: "no space left on device".
std::string describeError(const std::error_code& error);

std::filesystem::path nativePath(const Path& path);
Path fromNative(const std::filesystem::path& path);

/// Opens the file for reading in binary mode, not inherited by child processes; null when it cannot be opened.
std::FILE* openForReading(const Path& path);

/// Writes `bytes` to the new file `temporary`, flushes it to disk and renames it over `target`; removes the
/// temporary file on failure. The system's half of writeWholeFile.
Status writeAndReplace(const std::filesystem::path& temporary, const std::filesystem::path& target,
                       const ByteSet& bytes);

} // namespace platform::detail
