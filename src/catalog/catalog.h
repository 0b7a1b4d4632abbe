// CatalogEntry and Catalog: the articles of the listing page chosen last, shared by the window and the workers.
#pragma once

#include "platform/text.h"

#include <mutex>
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
    /// the copy see the same contents.
    bool copyEntry(int number, CatalogEntry& entry) const;
    /// Replaces entry `number` when it exists; returns whether it did.
    bool replace(int number, CatalogEntry entry);
    /// Replaces the whole contents at once. The new entries are built outside the lock.
    void replaceAll(std::vector<CatalogEntry> entries);
    /// Removes every entry.
    void clear();
    /// Adds an entry at the end.
    void append(CatalogEntry entry);
    /// A copy of all entries, in order.
    std::vector<CatalogEntry> entries() const;

private:
    mutable std::mutex mutex;
    std::vector<CatalogEntry> items; // zero-based; converted here and nowhere else
};
