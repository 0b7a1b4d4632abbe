#include "library/store_snapshot.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace library {
namespace {

// The first line names the format; the number after it tells this machine's byte order. Then the size of the index,
// the index (a record head and the key of each file) and the contents. The index comes first and in one piece, so
// that loading it touches a few pages, not one per file. A change in the layout, or in what is kept for a file,
// takes a new version.
constexpr std::string_view Header = "varnholt store snapshot 3\n";
constexpr std::uint32_t ByteOrder = 0x01020304;

// A file changed this close to the start of the run may change again within the same step of the file system's
// clock without a new stamp: it is read again next time rather than kept.
constexpr auto Settling = std::chrono::seconds(3);

struct RecordHead {
    std::uint64_t keyLength;
    std::uint64_t contentOffset; // from the start of the contents
    std::uint64_t contentLength;
    platform::FileStamp stamp;
};

template <typename Value>
bool take(std::string_view& bytes, Value& value)
{
    if (bytes.size() < sizeof value)
        return false;
    std::memcpy(&value, bytes.data(), sizeof value);
    bytes.remove_prefix(sizeof value);
    return true;
}

template <typename Value>
void put(std::string& bytes, const Value& value)
{
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

} // namespace

StoreSnapshot::StoreSnapshot(platform::Path path, std::chrono::system_clock::time_point now)
    : file(std::move(path)), loaded(file), started(now)
{
    std::string_view bytes = loaded.bytes();
    std::uint32_t order = 0;
    if (!bytes.starts_with(Header))
        return;
    bytes.remove_prefix(Header.size());
    if (!take(bytes, order) || order != ByteOrder)
        return;
    std::uint64_t indexSize = 0;
    if (!take(bytes, indexSize) || indexSize > bytes.size())
        return;
    std::string_view index = bytes.substr(0, indexSize);
    const std::string_view contents = bytes.substr(indexSize);
    std::unordered_map<std::string_view, Kept> entries;
    while (!index.empty()) {
        RecordHead head{};
        if (!take(index, head) || head.keyLength > index.size() || head.contentOffset > contents.size() ||
            head.contentLength > contents.size() - head.contentOffset)
            return; // cut short or damaged: none of it is used
        Kept& entry = entries[index.substr(0, head.keyLength)];
        entry.stamp = head.stamp;
        entry.content = contents.substr(head.contentOffset, head.contentLength);
        index.remove_prefix(head.keyLength);
    }
    kept.swap(entries);
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
    if (made.empty() && std::all_of(kept.begin(), kept.end(), used))
        return;
    const auto settled =
        std::chrono::duration_cast<std::chrono::nanoseconds>((started - Settling).time_since_epoch()).count();
    struct Record {
        std::string_view key;
        const platform::FileStamp* stamp;
        std::string_view content;
    };
    std::vector<Record> records;
    records.reserve(kept.size() + made.size());
    // The change time, not the write time: a program can set the write time to any date, even one to come.
    const auto keep = [&](std::string_view key, const platform::FileStamp& stamp, std::string_view content) {
        if (stamp.changed < settled)
            records.push_back({key, &stamp, content});
    };
    for (const auto& entry : kept)
        if (used(entry))
            keep(entry.first, entry.second.stamp, entry.second.content);
    for (const auto& [key, entry] : made)
        keep(key, entry.stamp, entry.content);
    // In the order of the keys, as the names of a folder are listed: the next run looks them up in that order, from
    // one end of the index to the other.
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.key < b.key; });
    std::string index;
    std::uint64_t contentSize = 0;
    for (const Record& record : records) {
        put(index, RecordHead{record.key.size(), contentSize, record.content.size(), *record.stamp});
        index += record.key;
        contentSize += record.content.size();
    }
    std::string bytes;
    bytes.reserve(Header.size() + sizeof ByteOrder + sizeof contentSize + index.size() + contentSize);
    bytes += Header;
    put(bytes, ByteOrder);
    put(bytes, static_cast<std::uint64_t>(index.size()));
    bytes += index;
    for (const Record& record : records)
        bytes += record.content;
    platform::writeWholeFile(file, bytes);
}

} // namespace library
