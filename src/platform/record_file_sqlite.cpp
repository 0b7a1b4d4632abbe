// Record files over SQLite. SQLite keeps the file consistent under crashes and concurrent use, and tells damage to
// its own structure; a CRC-32 per record tells damage to what the records hold, which SQLite does not check.
#include "platform/record_file.h"

#include "platform/file_system_detail.h"
#include "platform/threads.h"

#include <sqlite3.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>

namespace platform {
namespace {

// Marks the file as this program's record file ("VhRc"); the version names the layout below.
constexpr int ApplicationId = 0x56685263;
constexpr int LayoutVersion = 1;
constexpr int BusyMilliseconds = 2000;

// Large pages keep an article's record in one page; freed pages go back to the file system at each commit, so that
// the file stays the size of what it keeps.
std::string schema()
{
    return "PRAGMA page_size = 65536;"
           "PRAGMA auto_vacuum = FULL;"
           "PRAGMA application_id = " + std::to_string(ApplicationId) + ";"
           "PRAGMA user_version = " + std::to_string(LayoutVersion) + ";"
           "CREATE TABLE records (key BLOB NOT NULL UNIQUE, identity INTEGER NOT NULL, size INTEGER NOT NULL,"
           " modified INTEGER NOT NULL, changed INTEGER NOT NULL, content BLOB NOT NULL, checksum INTEGER NOT NULL);";
}

class Database {
public:
    Database(const Path& path, int flags)
    {
        if (sqlite3_open_v2(path.c_str(), &handle, flags | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK) {
            failure = handle ? sqlite3_errmsg(handle) : "out of memory";
            sqlite3_close(handle);
            handle = nullptr;
            return;
        }
        sqlite3_busy_timeout(handle, BusyMilliseconds);
        sqlite3_extended_result_codes(handle, 1);
    }
    ~Database() { sqlite3_close(handle); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    explicit operator bool() const { return handle != nullptr; }
    sqlite3* get() const { return handle; }
    std::string error() const { return handle ? sqlite3_errmsg(handle) : failure; }

    bool execute(const std::string& sql)
    {
        return sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // The single integer a pragma or a query gives; nothing on failure.
    std::optional<std::int64_t> integer(const char* sql) const
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle, sql, -1, &statement, nullptr) != SQLITE_OK)
            return std::nullopt;
        std::optional<std::int64_t> value;
        if (sqlite3_step(statement) == SQLITE_ROW)
            value = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return value;
    }

private:
    sqlite3* handle = nullptr;
    std::string failure;
};

class Statement {
public:
    Statement(const Database& database, const char* sql)
    {
        if (sqlite3_prepare_v2(database.get(), sql, -1, &handle, nullptr) != SQLITE_OK)
            handle = nullptr;
    }
    ~Statement() { sqlite3_finalize(handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return handle != nullptr; }
    sqlite3_stmt* get() const { return handle; }

private:
    sqlite3_stmt* handle = nullptr;
};

// The checksum of one record: its key, the four numbers of its stamp and its content, each with its length, so that
// no byte can move from one part to the next unseen.
std::uint32_t checksum(std::string_view key, const FileStamp& stamp, std::string_view content)
{
    uLong crc = crc32_z(0, nullptr, 0);
    const auto add = [&](const void* bytes, std::size_t size) {
        crc = crc32_z(crc, static_cast<const Bytef*>(bytes), size);
    };
    const auto addText = [&](std::string_view text) {
        const std::uint64_t size = text.size();
        add(&size, sizeof size);
        add(text.data(), text.size());
    };
    addText(key);
    for (const std::uint64_t number : {stamp.identity, stamp.size, static_cast<std::uint64_t>(stamp.modified),
                                       static_cast<std::uint64_t>(stamp.changed)})
        add(&number, sizeof number);
    addText(content);
    return static_cast<std::uint32_t>(crc);
}

std::string_view blobOf(sqlite3_stmt* statement, int column)
{
    const void* bytes = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return bytes ? std::string_view(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                 : std::string_view();
}

// Bytes to bind as a blob: an empty view may have no data, which SQLite would take for NULL.
const char* blobData(std::string_view bytes)
{
    return bytes.data() ? bytes.data() : "";
}

// One row of the records table as a record, viewing the row's bytes.
StoredRecord recordOf(sqlite3_stmt* row)
{
    return {blobOf(row, 0),
            {static_cast<std::uint64_t>(sqlite3_column_int64(row, 1)),
             static_cast<std::uint64_t>(sqlite3_column_int64(row, 2)), sqlite3_column_int64(row, 3),
             sqlite3_column_int64(row, 4)},
            blobOf(row, 5),
            static_cast<std::uint32_t>(sqlite3_column_int64(row, 6))};
}

// The smallest key above every key that starts with `prefix`; nothing when there is none (a prefix of 0xFF bytes).
std::optional<std::string> prefixEnd(std::string_view prefix)
{
    std::string end(prefix);
    while (!end.empty() && static_cast<unsigned char>(end.back()) == 0xFF)
        end.pop_back();
    if (end.empty())
        return std::nullopt;
    end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
    return end;
}

// Removes the record file and whatever journal SQLite may have left beside it.
void removeRecordFile(const Path& path)
{
    std::error_code ignored;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        if (const Path file = path + suffix; fileKind(file) == FileKind::Regular)
            std::filesystem::remove(detail::nativePath(file), ignored);
}

LoadedRecords discarded(const Path& path, std::string reason)
{
    removeRecordFile(path);
    LoadedRecords loaded;
    loaded.state = LoadedRecords::State::Discarded;
    loaded.reason = std::move(reason);
    return loaded;
}

// Whether `database` carries this program's mark and layout.
bool isOurs(const Database& database)
{
    return database.integer("PRAGMA application_id") == ApplicationId &&
           database.integer("PRAGMA user_version") == LayoutVersion;
}

} // namespace

namespace {

// Reads the records from `prefix` up to the next prefix into `loaded`; says why the file cannot be trusted, if so.
// The file is closed on return, so that it can be removed (Windows removes no file that is open).
std::optional<std::string> readRecords(const Path& path, std::uint64_t size, std::string_view prefix,
                                       LoadedRecords& loaded)
{
    // Read-write: a journal left by a writer that crashed is rolled back on opening.
    Database database(path, SQLITE_OPEN_READWRITE);
    if (!database)
        return database.error();
    if (!isOurs(database))
        return "not a record file of this program";
    // The keys from `prefix` up to the next prefix, found through the keys' index.
    Statement rows(database, "SELECT key, identity, size, modified, changed, content, checksum FROM records "
                             "WHERE key >= ?1 AND (?2 IS NULL OR key < ?2)");
    if (!rows)
        return database.error();
    const std::optional<std::string> end = prefixEnd(prefix);
    sqlite3_bind_blob64(rows.get(), 1, blobData(prefix), prefix.size(), SQLITE_STATIC);
    if (end)
        sqlite3_bind_blob64(rows.get(), 2, end->data(), end->size(), SQLITE_STATIC);
    // Keys and contents are copied into one block the size of the file, which holds them all.
    loaded.bytes = std::make_unique_for_overwrite<char[]>(size);
    std::size_t used = 0;
    const auto keep = [&](std::string_view bytes) -> std::optional<std::string_view> {
        if (bytes.size() > size - used)
            return std::nullopt;
        char* at = loaded.bytes.get() + used;
        std::copy(bytes.begin(), bytes.end(), at);
        used += bytes.size();
        return std::string_view(at, bytes.size());
    };
    // Read in one statement: a writer waits until the whole file is read.
    int step;
    while ((step = sqlite3_step(rows.get())) == SQLITE_ROW) {
        const StoredRecord record = recordOf(rows.get());
        const auto key = keep(record.key);
        const auto content = keep(record.content);
        if (!key || !content)
            return "records larger than the file";
        loaded.records.push_back({*key, record.stamp, *content, record.checksum});
    }
    if (step != SQLITE_DONE)
        return database.error();
    // A key twice: the file's index and its table disagree.
    std::unordered_set<std::string_view> keys;
    for (const StoredRecord& record : loaded.records)
        if (!keys.insert(record.key).second)
            return "a key is held twice";
    return std::nullopt;
}

} // namespace

LoadedRecords loadRecords(const Path& path, const std::function<bool(std::uint64_t bytes)>& acceptSize,
                          std::string_view prefix)
{
    LoadedRecords loaded;
    switch (fileKind(path)) {
    case FileKind::Missing: return loaded;
    case FileKind::Other: loaded.state = LoadedRecords::State::NotAFile; return loaded;
    case FileKind::Regular: break;
    }
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(detail::nativePath(path), error);
    if (error)
        return loaded;
    if (acceptSize && !acceptSize(size))
        return discarded(path, "larger than what it keeps");
    if (std::optional<std::string> untrusted = readRecords(path, size, prefix, loaded))
        return discarded(path, std::move(*untrusted));
    loaded.state = LoadedRecords::State::Loaded;
    return loaded;
}

Status scanRecords(const Path& path, std::string_view skippedPrefix,
                   const std::function<void(const StoredRecord&)>& visit)
{
    // One connection per scan; each reads its share of the rows, split by row number.
    std::optional<std::int64_t> first, last;
    {
        const Database database(path, SQLITE_OPEN_READONLY);
        if (!database)
            return Failure{database.error()};
        first = database.integer("SELECT min(rowid) FROM records");
        last = database.integer("SELECT max(rowid) FROM records");
    }
    if (!first || !last)
        return Failure{"the records cannot be read"};
    constexpr int Parts = 2;
    std::mutex failureLock;
    Status outcome;
    const std::int64_t share = (*last - *first) / Parts + 1;
    runInParallel(Parts, [&](std::size_t part) {
        const std::int64_t from = *first + share * static_cast<std::int64_t>(part);
        const Database database(path, SQLITE_OPEN_READONLY);
        Statement rows(database, "SELECT key, identity, size, modified, changed, content, checksum FROM records "
                                 "WHERE rowid >= ? AND rowid < ?");
        int step = SQLITE_ERROR;
        if (database && rows) {
            sqlite3_bind_int64(rows.get(), 1, from);
            sqlite3_bind_int64(rows.get(), 2, from + share);
            while ((step = sqlite3_step(rows.get())) == SQLITE_ROW)
                if (const StoredRecord record = recordOf(rows.get()); !record.key.starts_with(skippedPrefix))
                    visit(record);
        }
        if (step != SQLITE_DONE) {
            const std::lock_guard guard(failureLock);
            outcome = Failure{database ? database.error() : "the records cannot be read"};
        }
    });
    return outcome;
}

bool recordIntact(const StoredRecord& record)
{
    return record.checksum == checksum(record.key, record.stamp, record.content);
}

Status updateRecords(const Path& path, const std::vector<std::string_view>& removed,
                     const std::vector<RecordView>& written, bool anew)
{
    if (fileKind(path) == FileKind::Other)
        return Failure{"not a regular file"};
    if (anew)
        removeRecordFile(path);
    Database database(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!database)
        return Failure{database.error()};
    // A file made just now has no mark yet: it gets the layout. Any other file without the mark is not touched.
    if (database.integer("PRAGMA application_id") == 0 &&
        database.integer("SELECT count(*) FROM sqlite_schema") == 0 && !database.execute(schema()))
        return Failure{database.error()};
    if (!isOurs(database))
        return Failure{"not a record file of this program"};
    // A cache may lose its last update on a power failure, never its consistency: the journal still guards it.
    database.execute("PRAGMA synchronous = NORMAL");
    if (!database.execute("BEGIN IMMEDIATE"))
        return Failure{database.error()};
    Statement remove(database, "DELETE FROM records WHERE key = ?");
    Statement insert(database, "INSERT OR REPLACE INTO records "
                               "(key, identity, size, modified, changed, content, checksum) VALUES (?, ?, ?, ?, ?, ?, ?)");
    bool ok = remove && insert;
    for (std::size_t i = 0; ok && i < removed.size(); ++i) {
        sqlite3_bind_blob64(remove.get(), 1, blobData(removed[i]), removed[i].size(), SQLITE_STATIC);
        ok = sqlite3_step(remove.get()) == SQLITE_DONE && sqlite3_reset(remove.get()) == SQLITE_OK;
    }
    for (std::size_t i = 0; ok && i < written.size(); ++i) {
        const RecordView& record = written[i];
        sqlite3_stmt* row = insert.get();
        sqlite3_bind_blob64(row, 1, blobData(record.key), record.key.size(), SQLITE_STATIC);
        sqlite3_bind_int64(row, 2, static_cast<sqlite3_int64>(record.stamp.identity));
        sqlite3_bind_int64(row, 3, static_cast<sqlite3_int64>(record.stamp.size));
        sqlite3_bind_int64(row, 4, record.stamp.modified);
        sqlite3_bind_int64(row, 5, record.stamp.changed);
        sqlite3_bind_blob64(row, 6, blobData(record.content), record.content.size(), SQLITE_STATIC);
        sqlite3_bind_int64(row, 7, checksum(record.key, record.stamp, record.content));
        ok = sqlite3_step(row) == SQLITE_DONE && sqlite3_reset(row) == SQLITE_OK;
    }
    if (ok && database.execute("COMMIT"))
        return {};
    const Failure failure{database.error()};
    database.execute("ROLLBACK");
    return failure;
}

} // namespace platform
