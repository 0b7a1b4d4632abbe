// Zip files over libzip.
#include "platform/zip_file.h"

#include <zip.h>

#include <filesystem>
#include <system_error>

namespace platform {
namespace {

// libzip takes file names as UTF-8 on every system; the narrow string of a path is the ANSI code page on Windows.
std::string nameForLibzip(const std::filesystem::path& path)
{
    const std::u8string name = path.u8string();
    return {name.begin(), name.end()};
}

std::string causeOf(int code)
{
    zip_error_t failure;
    zip_error_init_with_code(&failure, code);
    std::string cause = zip_error_strerror(&failure);
    zip_error_fini(&failure);
    return cause;
}

} // namespace

Status writeZipFile(const Path& path, const std::vector<ZipEntry>& entries)
{
    const auto fail = [](const std::string& cause) { return Status(Failure{cause}); };
    const std::filesystem::path target = std::filesystem::u8path(path);
    const std::filesystem::path temporary =
        target.parent_path() / (u8".vh-zip-" + target.filename().u8string() + u8".part");
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    int code = 0;
    zip_t* archive = zip_open(nameForLibzip(temporary).c_str(), ZIP_CREATE | ZIP_EXCL, &code);
    if (!archive)
        return fail(causeOf(code));
    for (const ZipEntry& entry : entries) {
        // The bytes stay owned by `entries` until zip_close has written them.
        zip_source_t* source = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        const zip_int64_t index = source ? zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (source)
                zip_source_free(source);
            const std::string cause = zip_strerror(archive);
            zip_discard(archive);
            return fail(cause);
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                 entry.compressed ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0) {
        const std::string cause = zip_strerror(archive);
        zip_discard(archive);
        std::filesystem::remove(temporary, ignored);
        return fail(cause);
    }
    std::error_code renamed;
    std::filesystem::rename(temporary, target, renamed);
    if (renamed) {
        std::filesystem::remove(temporary, ignored);
        return fail(renamed.message());
    }
    return {};
}

Result<std::vector<ZipEntry>> readZipFile(const Path& path)
{
    int code = 0;
    zip_t* archive = zip_open(nameForLibzip(std::filesystem::u8path(path)).c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!archive)
        return Failure{causeOf(code)};
    std::vector<ZipEntry> entries;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        const auto at = static_cast<zip_uint64_t>(index);
        zip_stat_t stat;
        zip_file_t* file = zip_stat_index(archive, at, 0, &stat) == 0 ? zip_fopen_index(archive, at, 0) : nullptr;
        if (!file) {
            const std::string cause = zip_strerror(archive);
            zip_discard(archive);
            return Failure{cause};
        }
        ZipEntry entry{stat.name, ByteSet(static_cast<std::size_t>(stat.size), '\0'), stat.comp_method != ZIP_CM_STORE};
        const zip_int64_t read = zip_fread(file, entry.bytes.data(), entry.bytes.size());
        zip_fclose(file);
        if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size) {
            zip_discard(archive);
            return Failure{"a damaged entry: " + entry.name};
        }
        entries.push_back(std::move(entry));
    }
    zip_discard(archive);
    return entries;
}

} // namespace platform
