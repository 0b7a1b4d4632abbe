// File-system tasks over std::filesystem and the Windows API: wide-character paths, atomic replacement by
// MoveFileEx, file stamps from the file system's own records.
#include "platform/file_system.h"

#include "platform/file_system_detail.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iterator>

#include <windows.h>

namespace platform {
namespace {

namespace fs = std::filesystem;
using detail::nativePath;

Failure lastError()
{
    return Failure{detail::describeError(std::error_code(static_cast<int>(GetLastError()), std::system_category()))};
}

// A time in 100-nanosecond steps since 1601, as Windows keeps them, in nanoseconds since 1970.
std::int64_t unixNanoseconds(std::int64_t windowsTime)
{
    constexpr std::int64_t From1601To1970 = 116444736000000000LL;
    return (windowsTime - From1601To1970) * 100;
}

// The stamp of the regular file (or, with `folder`, the folder) at `path`, from the file system itself: the file's
// number, and its write and change times to the 100 ns (std::filesystem here gives whole seconds, within which a
// change would go unseen). A link is not followed to a file.
std::optional<FileStamp> stampAt(const Path& path, bool folder)
{
    const DWORD flags = folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle = CreateFileW(nativePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, flags,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information;
    FILE_BASIC_INFO times;
    const bool known = GetFileInformationByHandle(handle, &information) &&
        GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times);
    CloseHandle(handle);
    if (!known)
        return std::nullopt;
    const bool isFolder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (isFolder != folder || (!folder && isLink))
        return std::nullopt;
    FileStamp stamp;
    stamp.identity = static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
    stamp.size = folder ? 0 : static_cast<std::uint64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
    stamp.modified = unixNanoseconds(times.LastWriteTime.QuadPart);
    stamp.changed = unixNanoseconds(times.ChangeTime.QuadPart);
    return stamp;
}

} // namespace

namespace detail {

std::FILE* openForReading(const Path& path)
{
    return _wfopen(nativePath(path).c_str(), L"rbN");
}

Status writeAndReplace(const fs::path& temporary, const fs::path& target, const ByteSet& bytes)
{
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lastError();
    DWORD written = 0;
    const bool wrote = bytes.empty() ||
        (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
    const bool flushed = wrote && FlushFileBuffers(file);
    CloseHandle(file);
    if (flushed && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    const Failure failure = lastError();
    DeleteFileW(temporary.c_str());
    return failure;
}

} // namespace detail

Path runningDirectory()
{
    std::error_code error;
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    const fs::path program = length > 0 ? fs::path(std::wstring(buffer, length)) : fs::current_path(error);
    if (error || program.empty())
        return detail::fromNative(fs::current_path(error));
    return detail::fromNative(program.parent_path());
}

bool exists(const Path& path)
{
    std::error_code error;
    return fs::exists(nativePath(path), error);
}

FileKind fileKind(const Path& path)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(nativePath(path), error);
    if (error || status.type() == fs::file_type::not_found)
        return FileKind::Missing;
    return status.type() == fs::file_type::regular ? FileKind::Regular : FileKind::Other;
}

Result<ByteSet> readRegularFile(const Path& path, std::size_t limit)
{
    if (fileKind(path) != FileKind::Regular)
        return Failure{"not a regular file"};
    std::error_code error;
    const auto size = fs::file_size(nativePath(path), error);
    if (error)
        return Failure{detail::describeError(error)};
    if (size > limit)
        return Failure{"larger than " + std::to_string(limit) + " bytes"};
    Result<ByteSet> bytes = readWholeFile(path);
    if (bytes && bytes->size() > limit)
        return Failure{"larger than " + std::to_string(limit) + " bytes"};
    return bytes;
}

Result<ByteSet> readRegularFileThroughLinks(const Path& path, std::size_t limit)
{
    std::error_code error;
    const fs::path target = fs::canonical(nativePath(path), error);
    if (error)
        return Failure{detail::describeError(error)};
    return readRegularFile(detail::fromNative(target), limit);
}

// Windows keeps no handle of a folder to look names up in: every test looks up the whole path.
FolderLookup::FolderLookup(Path path) : folder(std::move(path)) {}

FolderLookup::~FolderLookup() = default;

FileKind FolderLookup::kindOf(const std::string& name) const
{
    return fileKind(joinPath(folder, name));
}

bool FolderLookup::contains(const std::string& name) const
{
    return exists(joinPath(folder, name));
}

Result<ByteSet> FolderLookup::readRegular(const std::string& name, std::size_t limit, FileStamp* stamp) const
{
    if (stamp) {
        const auto found = stampAt(joinPath(folder, name), false);
        if (!found)
            return Failure{"not a regular file"};
        *stamp = *found;
    }
    return readRegularFile(joinPath(folder, name), limit);
}

Result<ByteSet> FolderLookup::readStart(const std::string& name, std::size_t count) const
{
    const Path path = joinPath(folder, name);
    if (fileKind(path) != FileKind::Regular)
        return Failure{"not a regular file"};
    std::FILE* file = detail::openForReading(path);
    if (!file)
        return Failure{detail::describeError(std::error_code(errno, std::generic_category()))};
    ByteSet bytes(count, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return Failure{"read error"};
    return bytes;
}

std::optional<FileStamp> FolderLookup::stampOf(const std::string& name) const
{
    return stampAt(joinPath(folder, name), false);
}

std::optional<FileStamp> folderStamp(const Path& path)
{
    return stampAt(path, true);
}

bool isWritableDirectory(const Path& path)
{
    const fs::path probe = nativePath(joinPath(path, detail::temporaryName()));
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// Read into memory: a mapped file could not be replaced by rename while mapped.
MappedFile::MappedFile(const Path& path)
{
    if (auto bytes = readRegularFile(path, static_cast<std::size_t>(-1) / 2)) {
        copy = std::move(*bytes);
        content = copy;
    }
}

MappedFile::~MappedFile() = default;

bool isReservedFileName(const std::string& name)
{
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' && stem[3] <= '9';
}

std::vector<std::string> regularFilesIn(const Path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(nativePath(folder), error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && !it->is_symlink(typeError))
            names.push_back(detail::fromNative(it->path().filename()));
    }
    return names;
}

} // namespace platform
