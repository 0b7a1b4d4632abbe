// File-system tasks over POSIX calls: names looked up relative to held folders, no link followed where a stored file
// is read, and atomic replacement by rename.
#include "platform/file_system.h"

#include "platform/file_system_detail.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

Failure lastError()
{
    return Failure{detail::describeError(std::error_code(errno, std::generic_category()))};
}

bool writeAll(int descriptor, const ByteSet& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Whether `path`, relative to the open folder `folder`, names anything. Tested as the effective user (as the real
// user, the kernel would swap credentials for each test) and without filling a stat record.
bool presentAt(int folder, const char* path)
{
    return ::faccessat(folder, path, F_OK, AT_EACCESS) == 0;
}

// What stands at `path` relative to the open folder `folder`, without following a link.
FileKind kindAt(int folder, const char* path)
{
    struct stat status {};
    if (::fstatat(folder, path, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileKind::Missing : FileKind::Other;
    return S_ISREG(status.st_mode) ? FileKind::Regular : FileKind::Other;
}

FileStamp stampFrom(const struct stat& status)
{
    const auto nanoseconds = [](const timespec& time) {
        return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
    };
    return {static_cast<std::uint64_t>(status.st_ino), static_cast<std::uint64_t>(status.st_size),
            nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
}

// The stamp of the regular file `path` relative to the open folder `folder`, without following a link.
std::optional<FileStamp> regularStampAt(int folder, const char* path)
{
    struct stat status {};
    if (::fstatat(folder, path, &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return stampFrom(status);
}

// Reads the regular file `path` relative to the open folder `folder`, as readRegularFile does; with `cut`, a larger
// file gives its first `limit` bytes instead of a failure.
Result<ByteSet> readRegularAt(int folder, const char* path, std::size_t limit, FileStamp* stamp = nullptr,
                              bool followLinks = false, bool cut = false)
{
    // O_NOFOLLOW: no link is followed; O_NONBLOCK: nor does a FIFO make the open wait. fstat then rules out anything
    // but a regular file.
    const int descriptor = ::openat(folder, path, O_RDONLY | (followLinks ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return errno == ELOOP ? Failure{"not a regular file"} : lastError();
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        const Failure failure = lastError();
        ::close(descriptor);
        return failure;
    }
    if (!S_ISREG(status.st_mode) || (!cut && static_cast<std::size_t>(status.st_size) > limit)) {
        ::close(descriptor);
        return Failure{S_ISREG(status.st_mode) ? "larger than " + std::to_string(limit) + " bytes"
                                               : "not a regular file"};
    }
    ByteSet bytes(std::min(static_cast<std::size_t>(status.st_size), limit), '\0');
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::read(descriptor, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n >= 0;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    const Failure failure = ok ? Failure{} : lastError();
    ::close(descriptor);
    if (!ok)
        return failure;
    if (stamp)
        *stamp = stampFrom(status);
    return bytes;
}

} // namespace

namespace detail {

std::FILE* openForReading(const Path& path)
{
    return std::fopen(path.c_str(), "rbe");
}

Status writeAndReplace(const fs::path& temporary, const fs::path& target, const ByteSet& bytes)
{
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0)
        return lastError();
    // Flushed before the rename, so that the name never points at content still in the page cache only.
    Status outcome;
    if (!writeAll(descriptor, bytes) || ::fsync(descriptor) != 0)
        outcome = lastError();
    if (::close(descriptor) != 0 && outcome)
        outcome = lastError();
    if (outcome && ::rename(temporary.c_str(), target.c_str()) == 0)
        return outcome;
    if (outcome)
        outcome = lastError();
    ::unlink(temporary.c_str());
    return outcome;
}

} // namespace detail

Path runningDirectory()
{
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error || program.empty())
        return detail::fromNative(fs::current_path(error));
    return detail::fromNative(program.parent_path());
}

bool exists(const Path& path)
{
    // One system call, without building a std::filesystem::path: a stored page tests twenty names in a row.
    return presentAt(AT_FDCWD, path.c_str());
}

FileKind fileKind(const Path& path)
{
    return kindAt(AT_FDCWD, path.c_str());
}

Result<ByteSet> readRegularFile(const Path& path, std::size_t limit)
{
    return readRegularAt(AT_FDCWD, path.c_str(), limit);
}

Result<ByteSet> readRegularFileThroughLinks(const Path& path, std::size_t limit)
{
    return readRegularAt(AT_FDCWD, path.c_str(), limit, nullptr, true);
}

FolderLookup::FolderLookup(Path path) : folder(std::move(path))
{
    descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

FolderLookup::~FolderLookup()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

// Each test below looks up one name in the held folder, or the whole path where the folder could not be opened.
FileKind FolderLookup::kindOf(const std::string& name) const
{
    return descriptor >= 0 ? kindAt(descriptor, name.c_str()) : fileKind(joinPath(folder, name));
}

bool FolderLookup::contains(const std::string& name) const
{
    return descriptor >= 0 ? presentAt(descriptor, name.c_str()) : exists(joinPath(folder, name));
}

Result<ByteSet> FolderLookup::readRegular(const std::string& name, std::size_t limit, FileStamp* stamp) const
{
    if (descriptor >= 0)
        return readRegularAt(descriptor, name.c_str(), limit, stamp);
    return readRegularAt(AT_FDCWD, joinPath(folder, name).c_str(), limit, stamp);
}

Result<ByteSet> FolderLookup::readStart(const std::string& name, std::size_t count) const
{
    if (descriptor >= 0)
        return readRegularAt(descriptor, name.c_str(), count, nullptr, false, true);
    return readRegularAt(AT_FDCWD, joinPath(folder, name).c_str(), count, nullptr, false, true);
}

std::optional<FileStamp> FolderLookup::stampOf(const std::string& name) const
{
    if (descriptor >= 0)
        return regularStampAt(descriptor, name.c_str());
    return regularStampAt(AT_FDCWD, joinPath(folder, name).c_str());
}

std::optional<FileStamp> folderStamp(const Path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    return stampFrom(status);
}

bool isWritableDirectory(const Path& path)
{
    const Path probe = joinPath(path, detail::temporaryName());
    const int descriptor = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    ::close(descriptor);
    ::unlink(probe.c_str());
    return true;
}

MappedFile::MappedFile(const Path& path)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return;
    struct stat status {};
    if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        const auto size = static_cast<std::size_t>(status.st_size);
        // The pages are in the page cache already when the file was read lately: map them all in one go.
        void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, descriptor, 0);
        if (address != MAP_FAILED)
            content = std::string_view(static_cast<const char*>(address), size);
    }
    ::close(descriptor);
}

MappedFile::~MappedFile()
{
    if (!content.empty())
        ::munmap(const_cast<char*>(content.data()), content.size());
}

bool isReservedFileName(const std::string&)
{
    return false;
}

std::vector<std::string> regularFilesIn(const Path& folder)
{
    std::vector<std::string> names;
    // The entries' own types, read with the names: a store of thousands of articles is listed without a look-up
    // per file.
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return names;
    while (const dirent* entry = ::readdir(directory)) {
        const bool regular = entry->d_type == DT_UNKNOWN
                                 ? kindAt(::dirfd(directory), entry->d_name) == FileKind::Regular
                                 : entry->d_type == DT_REG;
        if (regular)
            names.emplace_back(entry->d_name);
    }
    ::closedir(directory);
    return names;
}

} // namespace platform
