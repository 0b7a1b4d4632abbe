// File-system tasks over std::filesystem and the system's own atomic-rename primitives.
#include "platform/file_system.h"

#include <QSettings>
#include <QStandardPaths>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view TemporaryPrefix = ".vh-";
constexpr std::string_view TemporarySuffix = ".part";

fs::path nativePath(const Path& path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

Path fromNative(const fs::path& path)
{
    const std::u8string text = path.generic_u8string();
    return Path(text.begin(), text.end());
}

// A short, unique name: the target name may already use the whole 255-byte limit.
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

// An error's message as the commands print it: "no space left on device".
std::string describeError(const std::error_code& error)
{
    std::string text = error.message();
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

#ifdef _WIN32
bool writeAndReplace(const fs::path& temporary, const fs::path& target, const ByteSet& bytes, std::string* error)
{
    const auto fail = [&] {
        if (error)
            *error = describeError(std::error_code(static_cast<int>(GetLastError()), std::system_category()));
        return false;
    };
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fail();
    DWORD written = 0;
    const bool wrote = bytes.empty() ||
        (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size());
    const bool flushed = wrote && FlushFileBuffers(file);
    CloseHandle(file);
    if (flushed && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    fail();
    DeleteFileW(temporary.c_str());
    return false;
}
#else
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

bool writeAndReplace(const fs::path& temporary, const fs::path& target, const ByteSet& bytes, std::string* error)
{
    const auto fail = [&] {
        if (error)
            *error = describeError(std::error_code(errno, std::generic_category()));
        return false;
    };
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0)
        return fail();
    // Flushed before the rename, so that the name never points at content still in the page cache only.
    const bool written = writeAll(descriptor, bytes) && ::fsync(descriptor) == 0;
    if (!written)
        fail();
    const bool closed = ::close(descriptor) == 0;
    if (written && !closed)
        fail();
    if (written && closed && ::rename(temporary.c_str(), target.c_str()) == 0)
        return true;
    if (written && closed)
        fail();
    ::unlink(temporary.c_str());
    return false;
}

// What stands at `path` relative to the open folder `folder`, without following a link.
FileKind kindAt(int folder, const char* path)
{
    struct stat status {};
    if (::fstatat(folder, path, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileKind::Missing : FileKind::Other;
    return S_ISREG(status.st_mode) ? FileKind::Regular : FileKind::Other;
}
#endif

} // namespace

Path runningDirectory()
{
    std::error_code error;
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    const fs::path program = length > 0 ? fs::path(std::wstring(buffer, length)) : fs::current_path(error);
#else
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
#endif
    if (error || program.empty())
        return fromNative(fs::current_path(error));
    return fromNative(program.parent_path());
}

bool exists(const Path& path)
{
#ifdef _WIN32
    std::error_code error;
    return fs::exists(nativePath(path), error);
#else
    // One system call, without building a std::filesystem::path: a stored page tests twenty names in a row.
    return presentAt(AT_FDCWD, path.c_str());
#endif
}

FolderLookup::FolderLookup(Path path) : folder(std::move(path))
{
#ifndef _WIN32
    descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
}

FolderLookup::~FolderLookup()
{
#ifndef _WIN32
    if (descriptor >= 0)
        ::close(descriptor);
#endif
}

FileKind FolderLookup::kindOf(const std::string& name) const
{
#ifndef _WIN32
    if (descriptor >= 0)
        return kindAt(descriptor, name.c_str());
#endif
    return fileKind(joinPath(folder, name));
}

bool FolderLookup::contains(const std::string& name) const
{
#ifndef _WIN32
    if (descriptor >= 0)
        return presentAt(descriptor, name.c_str());
#endif
    return exists(joinPath(folder, name));
}

void ensureDirectory(const Path& path)
{
    std::error_code error;
    if (!fs::exists(nativePath(path), error))
        fs::create_directory(nativePath(path), error);
}

bool ensureDirectories(const Path& path, std::string* error)
{
    std::error_code code;
    fs::create_directories(nativePath(path), code);
    if (code && error)
        *error = describeError(code);
    return !code;
}

bool isWritableDirectory(const Path& path)
{
    const fs::path probe = nativePath(joinPath(path, temporaryName()));
    std::error_code error;
#ifdef _WIN32
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
#else
    const int descriptor = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return false;
    ::close(descriptor);
    fs::remove(probe, error);
    return true;
#endif
}

std::optional<ByteSet> readWholeFile(const Path& path)
{
    // One open, one size query, one read: stream-based reads cost several times more for small files.
    std::FILE* file = nullptr;
#ifdef _WIN32
    file = _wfopen(nativePath(path).c_str(), L"rb");
#else
    file = std::fopen(nativePath(path).c_str(), "rbe");
#endif
    if (!file)
        return std::nullopt;
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
        return std::nullopt;
    return bytes;
}

bool writeWholeFile(const Path& path, const ByteSet& bytes, std::string* error)
{
    const fs::path target = nativePath(path);
    const fs::path temporary = target.parent_path() / nativePath(temporaryName());
    return writeAndReplace(temporary, target, bytes, error);
}

bool canWriteIn(const Path& folder, std::string* error)
{
    if (!ensureDirectories(folder, error))
        return false;
    // A few kilobytes: on a full disk an empty file could still be made.
    const Path probe = joinPath(folder, temporaryName());
    const ByteSet bytes(4096, '\0');
    if (!writeWholeFile(probe, bytes, error))
        return false;
    std::error_code ignored;
    fs::remove(nativePath(probe), ignored);
    return true;
}

FileKind fileKind(const Path& path)
{
#ifdef _WIN32
    std::error_code error;
    const fs::file_status status = fs::symlink_status(nativePath(path), error);
    if (error || status.type() == fs::file_type::not_found)
        return FileKind::Missing;
    return status.type() == fs::file_type::regular ? FileKind::Regular : FileKind::Other;
#else
    return kindAt(AT_FDCWD, path.c_str());
#endif
}

namespace {

#ifndef _WIN32
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

// Reads the regular file `path` relative to the open folder `folder`, as readRegularFile does.
std::optional<ByteSet> readRegularAt(int folder, const char* path, std::size_t limit, FileStamp* stamp = nullptr)
{
    // O_NOFOLLOW: no link is followed; O_NONBLOCK: nor does a FIFO make the open wait. fstat then rules out anything
    // but a regular file.
    const int descriptor = ::openat(folder, path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt;
    struct stat status {};
    ByteSet bytes;
    bool ok = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
              static_cast<std::size_t>(status.st_size) <= limit;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(status.st_size));
        std::size_t done = 0;
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
    }
    ::close(descriptor);
    if (!ok)
        return std::nullopt;
    if (stamp)
        *stamp = stampFrom(status);
    return bytes;
}
#else
// The stamp of the regular file (or, with `folder`, the folder) at `path`. std::filesystem shows no file number and
// no change time here, so the write time stands for both times.
std::optional<FileStamp> stampAt(const Path& path, bool folder)
{
    std::error_code error;
    const fs::path native = nativePath(path);
    const fs::file_status status = folder ? fs::status(native, error) : fs::symlink_status(native, error);
    if (error || status.type() != (folder ? fs::file_type::directory : fs::file_type::regular))
        return std::nullopt;
    const std::uintmax_t size = folder ? 0 : fs::file_size(native, error);
    if (error)
        return std::nullopt;
    const auto written = fs::last_write_time(native, error);
    if (error)
        return std::nullopt;
    const auto modified = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::file_clock::to_sys(written).time_since_epoch())
                              .count();
    return FileStamp{0, static_cast<std::uint64_t>(size), modified, modified};
}
#endif

} // namespace

std::optional<ByteSet> readRegularFile(const Path& path, std::size_t limit)
{
#ifdef _WIN32
    if (fileKind(path) != FileKind::Regular)
        return std::nullopt;
    std::error_code error;
    const auto size = fs::file_size(nativePath(path), error);
    if (error || size > limit)
        return std::nullopt;
    std::optional<ByteSet> bytes = readWholeFile(path);
    if (bytes && bytes->size() > limit)
        return std::nullopt;
    return bytes;
#else
    return readRegularAt(AT_FDCWD, path.c_str(), limit);
#endif
}

std::optional<ByteSet> FolderLookup::readRegular(const std::string& name, std::size_t limit, FileStamp* stamp) const
{
#ifndef _WIN32
    if (descriptor >= 0)
        return readRegularAt(descriptor, name.c_str(), limit, stamp);
    return readRegularAt(AT_FDCWD, joinPath(folder, name).c_str(), limit, stamp);
#else
    if (stamp) {
        const auto found = stampAt(joinPath(folder, name), false);
        if (!found)
            return std::nullopt;
        *stamp = *found;
    }
    return readRegularFile(joinPath(folder, name), limit);
#endif
}

std::optional<FileStamp> FolderLookup::stampOf(const std::string& name) const
{
#ifndef _WIN32
    if (descriptor >= 0)
        return regularStampAt(descriptor, name.c_str());
    return regularStampAt(AT_FDCWD, joinPath(folder, name).c_str());
#else
    return stampAt(joinPath(folder, name), false);
#endif
}

std::optional<FileStamp> folderStamp(const Path& path)
{
#ifndef _WIN32
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    return stampFrom(status);
#else
    return stampAt(path, true);
#endif
}

MappedFile::MappedFile(const Path& path)
{
#ifndef _WIN32
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
#else
    if (auto bytes = readRegularFile(path, static_cast<std::size_t>(-1) / 2)) {
        copy = std::move(*bytes);
        content = copy;
    }
#endif
}

MappedFile::~MappedFile()
{
#ifndef _WIN32
    if (!content.empty())
        ::munmap(const_cast<char*>(content.data()), content.size());
#endif
}

void removeStaleTemporaryFiles(const Path& folder)
{
    std::error_code error;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(nativePath(folder), error), end; !error && it != end; it.increment(error)) {
        const std::string name = fromNative(it->path().filename());
        if (!name.starts_with(TemporaryPrefix) || !name.ends_with(TemporarySuffix))
            continue;
        // A temporary file younger than a minute may belong to a write in progress in another process.
        std::error_code timeError;
        const auto written = it->last_write_time(timeError);
        if (!timeError && now - written > std::chrono::minutes(1))
            fs::remove(it->path(), timeError);
    }
}

bool isReservedFileName(const std::string& name)
{
#ifdef _WIN32
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
        return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' && stem[3] <= '9';
#else
    (void)name;
    return false;
#endif
}

Path joinPath(const Path& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/' || folder.back() == '\\')
        return folder + name;
    return folder + "/" + name;
}

Path userDataDirectory()
{
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QByteArray utf8 = location.toUtf8();
    return Path(utf8.constData(), static_cast<std::size_t>(utf8.size()));
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

namespace {

std::string timeText(long long secondsSinceEpoch, bool utc, const char* format)
{
    const auto time = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm parts{};
#ifdef _WIN32
    utc ? gmtime_s(&parts, &time) : localtime_s(&parts, &time);
#else
    utc ? gmtime_r(&time, &parts) : localtime_r(&time, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

} // namespace

std::string localTimeText(long long secondsSinceEpoch)
{
    return timeText(secondsSinceEpoch, false, "%Y-%m-%d %H:%M");
}

std::string utcTimeText(long long secondsSinceEpoch)
{
    return timeText(secondsSinceEpoch, true, "%Y-%m-%dT%H:%M:%SZ");
}


std::vector<std::string> regularFilesIn(const Path& folder)
{
    std::vector<std::string> names;
#ifdef _WIN32
    std::error_code error;
    for (fs::directory_iterator it(nativePath(folder), error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && !it->is_symlink(typeError))
            names.push_back(fromNative(it->path().filename()));
    }
#else
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
#endif
    return names;
}

Path configFilePath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return joinPath(joinPath(folder.toStdString(), "varnholt"), "varnholt.conf");
}

std::string configValue(const std::string& key)
{
    const Path path = configFilePath();
    if (fileKind(path) != FileKind::Regular)
        return {};
    const QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    return settings.value(QString::fromStdString(key)).toString().toStdString();
}


bool isInstalledProgramFolder(const Path& path)
{
#ifdef _WIN32
    (void)path;
    return false;
#else
    return path == "/usr" || path.starts_with("/usr/") || path.starts_with("/opt/");
#endif
}

} // namespace platform
