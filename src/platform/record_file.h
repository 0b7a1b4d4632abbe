// Record files: keyed records, each with a file stamp and a content, kept in an SQLite database that detects its own
// damage. What a cache of the store needs: a file that updates atomically, is safe under concurrent readers and
// writers, and is never trusted once any part of it is wrong.
#pragma once

#include "platform/file_system.h"
#include "platform/outcome.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// One record as loaded: views into the LoadedRecords that hold it.
struct StoredRecord {
    std::string_view key;
    FileStamp stamp;
    std::string_view content;
    std::uint32_t checksum = 0; ///< as stored; see `recordIntact`
};

/// Whether `record` is as it was written: its checksum matches. Checked by the reader of each record, when it is
/// used: a search uses every record, on every core.
bool recordIntact(const StoredRecord& record);

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
    std::unique_ptr<char[]> bytes; ///< what the records' views point into
};

/// The records of the record file at `path` whose keys start with `prefix`. The file is checked against the
/// database's own structure, the program's mark and the layout's version, and a single failure discards it; each
/// record is to be checked with `recordIntact` before it is used, and a record that fails marks the whole file as
/// damaged (see `updateRecords`). `acceptSize`, asked with the file's size before anything is read, can refuse a
/// file too large to be a copy of what it keeps.
LoadedRecords loadRecords(const Path& path, const std::function<bool(std::uint64_t bytes)>& acceptSize,
                          std::string_view prefix);

/// Calls `visit` with every record of the file at `path` whose key does not start with `skippedPrefix`, read in
/// place, on every core at once: for files of thousands of records that are used once each, where copying them all
/// in first would cost more than using them. The views are valid during the call only. A failure (damage to the
/// file's structure) ends the reading early and is returned; the records visited until then were as stored in the
/// file, but must still pass `recordIntact`. Call only after `loadRecords` found the file this program's.
Status scanRecords(const Path& path, std::string_view skippedPrefix,
                   const std::function<void(const StoredRecord&)>& visit);

/// In one transaction, removes the records whose keys are `removed` and adds or replaces `written`; makes the file
/// where there is none. With `anew`, the file (damaged) is removed first and holds only `written` afterwards. Waits
/// a moment for another writer; a failure changes nothing.
Status updateRecords(const Path& path, const std::vector<std::string_view>& removed,
                     const std::vector<RecordView>& written, bool anew = false);

} // namespace platform
