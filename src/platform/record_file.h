// Record files: keyed records, each with a file stamp and a content, kept in an SQLite database that detects its own
// damage. What a cache of the store needs: a file that updates atomically, is safe under concurrent readers and
// writers, and is never trusted once any part of it is wrong.
#pragma once

#include "platform/file_system.h"
#include "platform/outcome.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct StoredRecord {
    std::string key;
    FileStamp stamp;
    std::string content;
};

/// A record to write: views that must outlive the call.
struct RecordView {
    std::string_view key;
    FileStamp stamp;
    std::string_view content;
};

struct LoadedRecords {
    enum class State {
        Loaded,    ///< `records` holds every record of the file
        Missing,   ///< there is no file yet
        NotAFile,  ///< something other than a regular file stands at the path: neither read nor to be written
        Discarded, ///< the file was not one of this program's record files, was damaged, or too large: it has been
                   ///< removed, and the next update makes it anew (`reason` says what was wrong)
    };
    State state = State::Missing;
    std::vector<StoredRecord> records;
    std::string reason;
};

/// Every record of the record file at `path`. Each record is checked against its own checksum, and the file against
/// the database's own structure, the program's mark and the layout's version: a single failure discards the whole
/// file. `acceptSize`, asked with the file's size before anything is read, can refuse a file too large to be a copy
/// of what it keeps.
LoadedRecords loadRecords(const Path& path, const std::function<bool(std::uint64_t bytes)>& acceptSize);

/// In one transaction, removes the records whose keys are `removed` and adds or replaces `written`; makes the file
/// where there is none. Waits a moment for another writer; a failure changes nothing.
Status updateRecords(const Path& path, const std::vector<std::string_view>& removed,
                     const std::vector<RecordView>& written);

} // namespace platform
