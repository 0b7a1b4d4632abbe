// File-system tasks that read the same on every system, over std::filesystem; the system's own halves are in
// file_system_posix.cpp and file_system_windows.cpp.
#include "platform/file_system.h"

#include "platform/file_system_detail.h"

#include <atomic>
#include <cerrno>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <random>

namespace platform {

namespace fs = std::filesystem;

namespace detail {

fs::path nativePath(const Path& path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

Path fromNative(const fs::path& path)
{
    const std::u8string text = path.generic_u8string();
    return Path(text.begin(), text.end());
}

std::string temporaryName()
{
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937_64 random{std::random_device{}() ^
                                        static_cast<unsigned long long>(
                                            std::chrono::steady_clock::now().time_since_epoch().count())};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%016llx%04x", static_cast<unsigned long long>(random()),
                  counter.fetch_add(1) & 0xffffu);
    return std::string(TemporaryPrefix) + buffer + std::string(TemporarySuffix);
}

std::string describeError(const std::error_code& error)
{
    std::string text = error.message();
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

} // namespace detail

using detail::nativePath;

void ensureDirectory(const Path& path)
{
    std::error_code error;
    if (!fs::exists(nativePath(path), error))
        fs::create_directory(nativePath(path), error);
}

Status ensureDirectories(const Path& path)
{
    std::error_code code;
    fs::create_directories(nativePath(path), code);
    if (code)
        return Failure{detail::describeError(code)};
    return {};
}

Status writeWholeFile(const Path& path, const ByteSet& bytes)
{
    const fs::path target = nativePath(path);
    const fs::path temporary = target.parent_path() / nativePath(detail::temporaryName());
    return detail::writeAndReplace(temporary, target, bytes);
}

Result<ByteSet> readWholeFile(const Path& path)
{
    // One open, one size query, one read: stream-based reads cost several times more for small files.
    std::FILE* file = detail::openForReading(path);
    if (!file)
        return Failure{detail::describeError(std::error_code(errno, std::generic_category()))};
    ByteSet bytes;
    std::error_code error;
    const auto size = fs::file_size(nativePath(path), error);
    if (!error && size > 0)
        bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = std::fread(bytes.data(), 1, bytes.size(), file);
    bytes.resize(done);
    // The file may have grown since the size query: read on until its end.
    char chunk[65536];
    while (!std::ferror(file) && !std::feof(file)) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        if (n == 0)
            break;
        bytes.append(chunk, n);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return Failure{"read error"};
    return bytes;
}

Status canWriteIn(const Path& folder)
{
    if (Status made = ensureDirectories(folder); !made)
        return made;
    // A few kilobytes: on a full disk an empty file could still be made.
    const Path probe = joinPath(folder, detail::temporaryName());
    const ByteSet bytes(4096, '\0');
    if (Status written = writeWholeFile(probe, bytes); !written)
        return written;
    std::error_code ignored;
    fs::remove(nativePath(probe), ignored);
    return {};
}

std::uint64_t regularFileBytes(const Path& folder)
{
    std::uint64_t total = 0;
    std::error_code error;
    for (fs::directory_iterator it(nativePath(folder), error), end; !error && it != end; it.increment(error)) {
        std::error_code failed;
        if (it->symlink_status(failed).type() != fs::file_type::regular)
            continue;
        const std::uintmax_t size = it->file_size(failed);
        if (!failed)
            total += size;
    }
    return total;
}

void removeRegularFile(const Path& path)
{
    std::error_code ignored;
    if (fileKind(path) == FileKind::Regular)
        fs::remove(nativePath(path), ignored);
}

void removeStaleTemporaryFiles(const Path& folder)
{
    std::error_code error;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(nativePath(folder), error), end; !error && it != end; it.increment(error)) {
        const std::string name = detail::fromNative(it->path().filename());
        if (!name.starts_with(detail::TemporaryPrefix) || !name.ends_with(detail::TemporarySuffix))
            continue;
        // A temporary file younger than a minute may belong to a write in progress in another process.
        std::error_code timeError;
        const auto written = it->last_write_time(timeError);
        if (!timeError && now - written > std::chrono::minutes(1))
            fs::remove(it->path(), timeError);
    }
}

Path joinPath(const Path& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/' || folder.back() == '\\')
        return folder + name;
    return folder + "/" + name;
}

std::optional<long long> modificationTime(const Path& path)
{
    std::error_code error;
    const auto written = fs::last_write_time(nativePath(path), error);
    if (error)
        return std::nullopt;
    const auto system = std::chrono::file_clock::to_sys(written);
    return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

} // namespace platform
