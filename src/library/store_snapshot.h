// StoreSnapshot: what a search last made of each file of the store, kept in one file beside them.
#pragma once

#include "platform/file_system.h"
#include "platform/record_file.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace library {

/// A search reads thousands of small files, and opening each costs more than searching it. The snapshot keeps, per
/// file, its stamp and what was made of it (the article's bytes; a listing page's titles), so that a later run only
/// looks at each file's stamp and reads again just the files that changed. It is a copy and nothing more: kept in a
/// record file (see platform/record_file.h), and one that is damaged, foreign, larger than the store it copies or
/// not a regular file is never trusted; one that cannot be saved is not reported.
class StoreSnapshot {
public:
    /// Loads the snapshot kept in `file`, if there is a usable one. `now` is when the run starts: a file changed
    /// within seconds before it may change again without a new stamp, so it is not kept. `folders` are the folders
    /// whose files it keeps: a snapshot much larger than their files together is discarded unread.
    explicit StoreSnapshot(platform::Path file,
                           std::chrono::system_clock::time_point now = std::chrono::system_clock::now(),
                           std::vector<platform::Path> folders = {});
    StoreSnapshot(const StoreSnapshot&) = delete;
    StoreSnapshot& operator=(const StoreSnapshot&) = delete;

    /// Makes the content of a file: from its bytes, what the snapshot keeps for it.
    using Derive = std::function<std::string(const ByteSet& bytes)>;

    /// What `derive` makes of the regular file `name` in `folder`, kept under `key`: the kept copy when the file's
    /// stamp is unchanged, else made from the file now. Nothing when the file is not a regular file or cannot be
    /// read. Callable from several threads at once; the text lives as long as the snapshot. For the few files whose
    /// texts are needed at once (the listing pages).
    std::optional<std::string_view> read(const platform::FolderLookup& folder, const std::string& name,
                                         const std::string& key, std::size_t limit, const Derive& derive);

    /// Calls `visit` with what `derive` makes of each of the regular files `names` in `folder`, each once, on every
    /// core at once, in no set order: the kept copy when the file's stamp is unchanged, read in place from the
    /// snapshot, else made from the file now. The text is valid during the call only. For the thousands of article
    /// files of a search, kept under their own names.
    using Visit = std::function<void(const std::string& name, std::string_view content)>;
    void scanFiles(const platform::FolderLookup& folder, const std::vector<std::string>& names, std::size_t limit,
                   const Derive& derive, const Visit& visit);

    /// The names of the regular files in `folder` that `wanted` accepts, kept under `key`: the kept list when no name
    /// in the folder was added, removed or renamed since the snapshot was saved, else listed now.
    std::vector<std::string> filesIn(const platform::Path& folder, const std::string& key,
                                     const std::function<bool(const std::string&)>& wanted);

    /// Writes the snapshot anew, atomically, holding the files asked for in this run, when that differs from what
    /// was loaded. A failure to write is not reported: the next run reads the files instead.
    void save();

private:
    /// The kept entry `key`, marked as used, when `stamp()` (asked only when there is one) is its stamp.
    std::optional<std::string_view> keptIfUnchanged(const std::string& key,
                                                    const std::function<std::optional<platform::FileStamp>()>& stamp);
    std::string_view remember(const std::string& key, const platform::FileStamp& stamp, std::string content);

    struct Kept {
        const platform::StoredRecord* record = nullptr;
        std::atomic<bool> used{false}; // asked for in this run, with its stamp unchanged and intact
    };
    struct Made {
        platform::FileStamp stamp;
        std::string content;
    };

    platform::Path file;
    bool usable = true; // false when something other than a regular file stands at `file`
    platform::LoadedRecords loaded;
    std::atomic<bool> damaged{false}; // a record failed its checksum: the file is made anew
    std::unordered_map<std::string_view, Kept> kept; // read-only after loading, but for the flags
    std::chrono::system_clock::time_point started;
    std::mutex lock;
    std::unordered_map<std::string, Made> made; // read from the files in this run
    std::vector<std::string> dropped;           // kept files found changed or gone by `scanFiles`
};

} // namespace library
