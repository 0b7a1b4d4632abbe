// Catalog: one lock around each operation, copies out.
#include "catalog/catalog.h"

Catalog::Catalog() : items(1) {}

int Catalog::count() const
{
    std::lock_guard lock(mutex);
    return static_cast<int>(items.size());
}

CatalogEntry Catalog::entryCopy(int number) const
{
    CatalogEntry entry;
    copyEntry(number, entry);
    return entry;
}

bool Catalog::copyEntry(int number, CatalogEntry& entry, std::uint64_t* generation) const
{
    std::lock_guard lock(mutex);
    if (generation)
        *generation = contentsGeneration;
    if (number < 1 || number > static_cast<int>(items.size()))
        return false;
    entry = items[static_cast<std::size_t>(number - 1)];
    return true;
}

bool Catalog::replace(int number, CatalogEntry entry, std::optional<std::uint64_t> generation)
{
    std::lock_guard lock(mutex);
    if (number < 1 || number > static_cast<int>(items.size()))
        return false;
    if (generation && *generation != contentsGeneration)
        return false;
    items[static_cast<std::size_t>(number - 1)] = std::move(entry);
    return true;
}

std::uint64_t Catalog::generation() const
{
    std::lock_guard lock(mutex);
    return contentsGeneration;
}

std::uint64_t Catalog::replaceAll(std::vector<CatalogEntry> entries)
{
    std::vector<CatalogEntry> old;
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex);
        old.swap(items);
        items = std::move(entries);
        generation = ++contentsGeneration;
    }
    // The old entries are released outside the lock.
    return generation;
}

void Catalog::clear()
{
    replaceAll({});
}

void Catalog::append(CatalogEntry entry)
{
    std::lock_guard lock(mutex);
    items.push_back(std::move(entry));
    ++contentsGeneration;
}

std::vector<CatalogEntry> Catalog::entries() const
{
    std::lock_guard lock(mutex);
    return items;
}
