// Zip files: an e-book is one.
#pragma once

#include "platform/file_system.h"
#include "platform/text.h"

#include <string>
#include <vector>

namespace platform {

struct ZipEntry {
    std::string name;     ///< the path inside the archive
    ByteSet bytes;
    bool compressed = true; ///< false: stored as is (an EPUB's "mimetype" must be)
};

/// Writes a zip file of `entries`, in their order, replacing `path` atomically: the archive is made under a temporary
/// name in the same folder and renamed into place, so an interrupted write leaves no half archive. Says whether it
/// is in place, or why not.
Status writeZipFile(const Path& path, const std::vector<ZipEntry>& entries);

/// Every entry of the zip file at `path`, in the archive's order, with its bytes; the tests read books back with it.
Result<std::vector<ZipEntry>> readZipFile(const Path& path);

} // namespace platform
