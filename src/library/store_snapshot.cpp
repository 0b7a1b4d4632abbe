#include "library/store_snapshot.h"

#include <algorithm>
#include <cstdint>

namespace library {
namespace {

// A file changed this close to the start of the run may change again within the same step of the file system's
// clock without a new stamp: it is read again next time rather than kept.
constexpr auto Settling = std::chrono::seconds(3);

// A snapshot keeps about the bytes of the files it copies. One of up to this size is read without asking the store's
// size; a larger one only when it is at most twice the store's files and this much more.
constexpr std::uint64_t UncheckedBytes = 64ull << 20;

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
    platform::LoadedRecords records = platform::loadRecords(file, [&](std::uint64_t bytes) {
        return bytes <= UncheckedBytes || bytes <= 2 * bytesIn(folders) + UncheckedBytes;
    });
    usable = records.state != platform::LoadedRecords::State::NotAFile;
    loaded = std::move(records.records);
    for (const platform::StoredRecord& record : loaded) {
        Kept& entry = kept[record.key];
        entry.stamp = record.stamp;
        entry.content = record.content;
    }
}

std::optional<std::string_view>
StoreSnapshot::keptIfUnchanged(const std::string& key,
                               const std::function<std::optional<platform::FileStamp>()>& stamp)
{
    const auto found = kept.find(key);
    if (found == kept.end())
        return std::nullopt;
    const std::optional<platform::FileStamp> now = stamp();
    if (!now || *now != found->second.stamp)
        return std::nullopt;
    found->second.used.store(true, std::memory_order_relaxed);
    return found->second.content;
}

std::string_view StoreSnapshot::remember(const std::string& key, const platform::FileStamp& stamp,
                                         std::string content)
{
    const std::lock_guard guard(lock);
    // A key asked for twice keeps its first content: the text given out before stays valid.
    return made.try_emplace(key, Made{stamp, std::move(content)}).first->second.content;
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
    return remember(key, stamp, derive(*bytes));
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
        remember(key, *stamp, std::move(content));
    }
    return names;
}

void StoreSnapshot::save()
{
    const std::lock_guard guard(lock);
    const auto used = [](const auto& entry) { return entry.second.used.load(std::memory_order_relaxed); };
    if (!usable || (made.empty() && std::all_of(kept.begin(), kept.end(), used)))
        return;
    // What this run did not ask for, or found changed, goes; what it read anew comes in. The rest stays as it is.
    std::vector<std::string_view> removed;
    for (const auto& entry : kept)
        if (!used(entry))
            removed.push_back(entry.first);
    const auto settled =
        std::chrono::duration_cast<std::chrono::nanoseconds>((started - Settling).time_since_epoch()).count();
    std::vector<platform::RecordView> written;
    // The change time, not the write time: a program can set the write time to any date, even one to come.
    for (const auto& [key, entry] : made)
        if (entry.stamp.changed < settled)
            written.push_back({key, entry.stamp, entry.content});
    platform::updateRecords(file, removed, written);
}

} // namespace library
