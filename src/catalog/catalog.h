// CatalogEntry and Catalog: the articles of the listing page chosen last, shared by the window and the workers.
#pragma once

#include "platform/text.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

/// One article of a listing page: seven GBK texts, all owned by the record.
struct CatalogEntry {
    Text title;
    Text author;
    Text date;
    Text body;
    Text disclaimer;
    Text href;
    Text fileText;

    bool operator==(const CatalogEntry&) const = default;
};

/// The program-wide catalog, one-based at its interface. Every operation takes one lock and hands out copies, never
/// references, so a worker reading an entry while the window's thread rebuilds the catalog sees either the old
/// entry or none, never a torn one. Callable from any thread.
class Catalog {
public:
    /// A catalog with one entry whose seven fields are empty.
    Catalog();

    int count() const;
    /// A deep copy of entry `number`; an entry with empty fields when 1 <= number <= count() does not hold.
    CatalogEntry entryCopy(int number) const;
    /// Copies entry `number` into `entry` when it exists; returns whether it did. One step, so the range test and
    /// the copy see the same contents; `generation`, when given, receives the generation they belong to.
    bool copyEntry(int number, CatalogEntry& entry, std::uint64_t* generation = nullptr) const;
    /// Replaces entry `number` when it exists and, with `generation`, only while the catalog still holds the entries
    /// of that generation; returns whether it did. A worker of an earlier page so never writes into a later one.
    bool replace(int number, CatalogEntry entry, std::optional<std::uint64_t> generation = {});
    /// A number that changes whenever the whole contents are replaced or grow.
    std::uint64_t generation() const;
    /// Replaces the whole contents at once; returns the new contents' generation. The new entries are built outside
    /// the lock.
    std::uint64_t replaceAll(std::vector<CatalogEntry> entries);
    /// Removes every entry.
    void clear();
    /// Adds an entry at the end.
    void append(CatalogEntry entry);
    /// A copy of all entries, in order.
    std::vector<CatalogEntry> entries() const;

private:
    mutable std::mutex mutex;
    std::vector<CatalogEntry> items; // zero-based; converted here and nowhere else
    std::uint64_t contentsGeneration = 0;
};
