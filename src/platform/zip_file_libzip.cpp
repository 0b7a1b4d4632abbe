// Zip files over libzip.
#include "platform/zip_file.h"

#include <zip.h>

#include <filesystem>
#include <system_error>

namespace platform {

Status writeZipFile(const Path& path, const std::vector<ZipEntry>& entries)
{
    const auto fail = [](const std::string& cause) { return Status(Failure{cause}); };
    const std::filesystem::path target = std::filesystem::u8path(path);
    const std::filesystem::path temporary = target.parent_path() / (".vh-zip-" + target.filename().string() + ".part");
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    int code = 0;
    zip_t* archive = zip_open(temporary.string().c_str(), ZIP_CREATE | ZIP_EXCL, &code);
    if (!archive) {
        zip_error_t failure;
        zip_error_init_with_code(&failure, code);
        const std::string cause = zip_error_strerror(&failure);
        zip_error_fini(&failure);
        return fail(cause);
    }
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

} // namespace platform
