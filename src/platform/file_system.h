// File-system tasks: running directory, existence, folders, whole-file reads and atomic writes.
#pragma once

#include "platform/outcome.h"
#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// A file-system path in UTF-8, with '/' as separator on every system.
using Path = std::string;

/// The folder that holds the program file, without a trailing separator.
Path runningDirectory();

/// Whether a file or folder exists at `path`. Never throws.
bool exists(const Path& path);

/// What stands at a path, looked at without following a symbolic link.
enum class FileKind {
    Missing,
    Regular, ///< a regular file
    Other,   ///< a folder, a link, a FIFO, a device...
};
FileKind fileKind(const Path& path);

/// The whole content of the regular file at `path`, opened without following a link and without waiting on a FIFO;
/// a failure when it is missing, not a regular file, unreadable or larger than `limit` bytes.
Result<ByteSet> readRegularFile(const Path& path, std::size_t limit);
/// As readRegularFile, but a symbolic link is followed (to a regular file only): for a file the user may keep
/// elsewhere, such as the configuration file.
Result<ByteSet> readRegularFileThroughLinks(const Path& path, std::size_t limit);

/// One version of a file's content as the file system tells it: equal stamps mean an unchanged file, unless it was
/// written twice within one step of the file system's clock (so a stamp younger than a few seconds proves nothing).
struct FileStamp {
    std::uint64_t identity = 0; ///< the file's number in its file system; 0 where there is none
    std::uint64_t size = 0;
    std::int64_t modified = 0;  ///< last write, nanoseconds since 1970
    std::int64_t changed = 0;   ///< last change of content or status, which no program can set back; as `modified`
                                ///< where the system keeps no such time
    bool operator==(const FileStamp&) const = default;
};

/// A folder held open for many existence tests of names in it, so that each test looks up one name instead of a
/// whole path. Where the folder cannot be opened, the tests look up whole paths. Callable from several threads.
class FolderLookup {
public:
    explicit FolderLookup(Path folder);
    ~FolderLookup();
    FolderLookup(const FolderLookup&) = delete;
    FolderLookup& operator=(const FolderLookup&) = delete;

    /// Whether a file or folder named `name` exists in the folder. Never throws.
    bool contains(const std::string& name) const;
    /// What stands at `name` in the folder, without following a link.
    FileKind kindOf(const std::string& name) const;
    /// The regular file `name` in the folder, as readRegularFile reads it; `stamp`, when given, receives the stamp
    /// of the content read.
    Result<ByteSet> readRegular(const std::string& name, std::size_t limit, FileStamp* stamp = nullptr) const;
    /// The first `count` bytes (fewer when the file is shorter) of the regular file `name` in the folder, opened as
    /// readRegular opens it.
    Result<ByteSet> readStart(const std::string& name, std::size_t count) const;
    /// The stamp of the regular file `name` in the folder (reached without a link); nothing for anything else.
    std::optional<FileStamp> stampOf(const std::string& name) const;

private:
    Path folder;
    int descriptor = -1;
};

/// The stamp of the folder at `path` (a link to a folder is followed); nothing when there is no folder. A folder's
/// stamp changes whenever a name in it is added, removed or renamed.
std::optional<FileStamp> folderStamp(const Path& path);

/// A file's whole content, mapped into memory read-only (read into memory where mapping is not available); empty
/// when the file cannot be read. The file must not be written in place while mapped: files are replaced by rename.
class MappedFile {
public:
    explicit MappedFile(const Path& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view bytes() const { return content; }

private:
    std::string_view content;
    ByteSet copy;
};

/// Creates the folder when it is missing. An existing folder is not a failure; the outcome is not reported.
void ensureDirectory(const Path& path);

/// Creates the folder and any missing parents: success when the folder exists now.
Status ensureDirectories(const Path& path);

/// Whether a file can be created in the folder `path` (which must exist).
bool isWritableDirectory(const Path& path);

/// The whole content of the file; a failure when it does not exist or cannot be read.
Result<ByteSet> readWholeFile(const Path& path);

/// Replaces the whole file atomically: the bytes go to a temporary file with a short name of its own in the same
/// folder, are flushed to disk and renamed over `path`, so no reader and no crash ever sees a partial file.
/// Success when the new content is in place; a failure says why ("no space left on device"). Callable from any
/// thread.
Status writeWholeFile(const Path& path, const ByteSet& bytes);

/// Whether files can be written in `folder`: creates it where missing, then writes and removes a small file there.
Status canWriteIn(const Path& folder);

/// Removes temporary files that an interrupted `writeWholeFile` left in `folder`. Never touches other files.
void removeStaleTemporaryFiles(const Path& folder);

/// Whether the system reserves `name` (UTF-8, without folder) for a device, so that no file of that name can be
/// made: CON, PRN, AUX, NUL, COM1-9, LPT1-9, also with an extension, on Windows; no name elsewhere.
bool isReservedFileName(const std::string& name);

/// When the file was last written, in seconds since 1970 (UTC); nothing when it does not exist.
std::optional<long long> modificationTime(const Path& path);

/// The names of the regular files directly in `folder` (links and folders left out), unsorted; empty when the
/// folder cannot be read.
std::vector<std::string> regularFilesIn(const Path& folder);

/// The sizes of the regular files directly in `folder` added up (links and folders left out); 0 when the folder
/// cannot be read.
std::uint64_t regularFileBytes(const Path& folder);

/// Removes the regular file at `path`, if one is there; anything else there is left alone.
void removeRegularFile(const Path& path);

/// Joins two path pieces with one separator.
Path joinPath(const Path& folder, const std::string& name);

} // namespace platform
