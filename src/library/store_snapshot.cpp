#include "library/store_snapshot.h"

#include "platform/threads.h"

#include <algorithm>
#include <cstdint>

namespace library {
namespace {

// A file changed this close to the start of the run may change again within the same step of the file system's
// clock without a new stamp: it is read again next time rather than kept.
constexpr auto Settling = std::chrono::seconds(3);

// A snapshot keeps about the bytes of the files it copies (some 3 KB an article). One of up to this size (some 80,000
// articles) is read without asking each file of the store for its size; a larger one only when it is at most twice
// the store's files and this much more.
constexpr std::uint64_t UncheckedBytes = 256ull << 20;

// Keys of what `read` and `filesIn` keep start with this, and are loaded at once; the keys of `scanFiles` are file
// names, which never hold it, and are read in place when they are used.
constexpr std::string_view Loaded = "/";

std::string loadedKey(const std::string& key)
{
    return std::string(Loaded) + key;
}

std::uint64_t bytesIn(const std::vector<platform::Path>& folders)
{
    std::uint64_t total = 0;
    for (const platform::Path& folder : folders)
        total += platform::regularFileBytes(folder);
    return total;
}

} // namespace

StoreSnapshot::StoreSnapshot(platform::Path path, std::chrono::system_clock::time_point now,
                             std::vector<platform::Path> folders)
    : file(std::move(path)), started(now)
{
    loaded = platform::loadRecords(
        file, [&](std::uint64_t bytes) { return bytes <= UncheckedBytes || bytes <= 2 * bytesIn(folders) + UncheckedBytes; },
        Loaded);
    usable = loaded.state != platform::LoadedRecords::State::NotAFile;
    kept.reserve(loaded.records.size());
    for (const platform::StoredRecord& record : loaded.records)
        kept[record.key].record = &record;
}

std::optional<std::string_view>
StoreSnapshot::keptIfUnchanged(const std::string& key,
                               const std::function<std::optional<platform::FileStamp>()>& stamp)
{
    const auto found = kept.find(loadedKey(key));
    if (found == kept.end())
        return std::nullopt;
    const platform::StoredRecord& record = *found->second.record;
    const std::optional<platform::FileStamp> now = stamp();
    if (!now || *now != record.stamp)
        return std::nullopt;
    // Checked here, by the thread that uses it: damage anywhere means the whole snapshot is made anew.
    if (!platform::recordIntact(record)) {
        damaged.store(true, std::memory_order_relaxed);
        return std::nullopt;
    }
    found->second.used.store(true, std::memory_order_relaxed);
    return record.content;
}

std::string_view StoreSnapshot::remember(const std::string& key, const platform::FileStamp& stamp,
                                         std::string content)
{
    const std::lock_guard guard(lock);
    // A key asked for twice keeps its first content: the text given out before stays valid.
    return made.try_emplace(key, Made{stamp, std::move(content)}).first->second.content;
}

void StoreSnapshot::scanFiles(const platform::FolderLookup& folder, const std::vector<std::string>& names,
                              std::size_t limit, const Derive& derive, const Visit& visit)
{
    std::vector<std::optional<platform::FileStamp>> stamps(names.size());
    platform::runInParallel(names.size(), [&](std::size_t i) { stamps[i] = folder.stampOf(names[i]); });
    std::unordered_map<std::string_view, std::size_t> index;
    index.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        index.emplace(names[i], i);
    std::vector<std::atomic<bool>> served(names.size());
    if (loaded.state == platform::LoadedRecords::State::Loaded) {
        const platform::Status scanned = platform::scanRecords(file, Loaded, [&](const platform::StoredRecord& record) {
            const auto found = index.find(record.key);
            if (found != index.end() && stamps[found->second] == record.stamp) {
                // Checked by the thread that uses it: damage anywhere means the whole snapshot is made anew.
                if (!platform::recordIntact(record))
                    damaged.store(true, std::memory_order_relaxed);
                else if (!served[found->second].exchange(true))
                    return visit(names[found->second], record.content);
            }
            const std::lock_guard guard(lock);
            dropped.emplace_back(record.key);
        });
        if (!scanned)
            damaged.store(true, std::memory_order_relaxed);
    }
    // What the snapshot did not serve comes from the files.
    platform::runInParallel(names.size(), [&](std::size_t i) {
        if (served[i] || !stamps[i])
            return;
        platform::FileStamp stamp;
        if (const platform::Result<ByteSet> bytes = folder.readRegular(names[i], limit, &stamp))
            visit(names[i], remember(names[i], stamp, derive(*bytes)));
    });
}

std::optional<std::string_view> StoreSnapshot::read(const platform::FolderLookup& folder, const std::string& name,
                                                    const std::string& key, std::size_t limit, const Derive& derive)
{
    if (const auto content = keptIfUnchanged(key, [&] { return folder.stampOf(name); }))
        return content;
    platform::FileStamp stamp;
    const platform::Result<ByteSet> bytes = folder.readRegular(name, limit, &stamp);
    if (!bytes)
        return std::nullopt;
    return remember(loadedKey(key), stamp, derive(*bytes));
}

std::vector<std::string> StoreSnapshot::filesIn(const platform::Path& folder, const std::string& key,
                                                const std::function<bool(const std::string&)>& wanted)
{
    const std::optional<platform::FileStamp> stamp = platform::folderStamp(folder);
    std::vector<std::string> names;
    if (const auto content = keptIfUnchanged(key, [&] { return stamp; })) {
        // Only plain names in the folder: the snapshot is a file like any other, and no name it gives leads out.
        for (std::size_t at = 0, end; (end = content->find('\n', at)) != std::string_view::npos; at = end + 1)
            if (std::string name(content->substr(at, end - at));
                wanted(name) && name.find_first_of("/\\") == std::string::npos)
                names.push_back(std::move(name));
        return names;
    }
    // The stamp is taken before the listing: a name added meanwhile changes the folder's stamp after it.
    names = platform::regularFilesIn(folder);
    std::erase_if(names, [&](const std::string& name) { return !wanted(name); });
    std::sort(names.begin(), names.end());
    // Names are kept a line each, so a name with a line break in it is not kept.
    const auto oneLine = [](const std::string& name) { return name.find('\n') == std::string::npos; };
    if (stamp && std::all_of(names.begin(), names.end(), oneLine)) {
        std::string content;
        for (const std::string& name : names)
            content += name + "\n";
        remember(loadedKey(key), *stamp, std::move(content));
    }
    return names;
}

void StoreSnapshot::save()
{
    const std::lock_guard guard(lock);
    const auto used = [](const auto& entry) { return entry.second.used.load(std::memory_order_relaxed); };
    const bool anew = damaged.load();
    if (!usable || (!anew && made.empty() && dropped.empty() && std::all_of(kept.begin(), kept.end(), used)))
        return;
    // What this run did not ask for, or found changed, goes; what it read anew comes in. The rest stays as it is,
    // unless the file was damaged: then it is written anew with what this run read and found good (what it read in
    // place is read from the files again next time).
    std::vector<std::string_view> removed(dropped.begin(), dropped.end());
    std::vector<platform::RecordView> written;
    for (const auto& entry : kept) {
        if (!used(entry))
            removed.push_back(entry.first);
        else if (anew)
            written.push_back({entry.first, entry.second.record->stamp, entry.second.record->content});
    }
    const auto settled =
        std::chrono::duration_cast<std::chrono::nanoseconds>((started - Settling).time_since_epoch()).count();
    // The change time, not the write time: a program can set the write time to any date, even one to come.
    for (const auto& [key, entry] : made)
        if (entry.stamp.changed < settled)
            written.push_back({key, entry.stamp, entry.content});
    platform::updateRecords(file, anew ? std::vector<std::string_view>() : removed, written, anew);
}

} // namespace library
