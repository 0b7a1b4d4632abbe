// MatchTable: one-based cells over flat storage.
#include "matching/match_table.h"

#include <cassert>

namespace matching {

MatchTable::MatchTable(int rows, int columns, std::vector<Text> cells)
    : rowCount(rows), columnCount(columns), cells(std::move(cells))
{
    assert(rows >= 0 && columns >= 0 && this->cells.size() == static_cast<std::size_t>(rows) * columns &&
           "MatchTable cells do not fill the table");
}

const Text& MatchTable::at(int row, int column) const
{
    assert(row >= 1 && row <= rowCount && "MatchTable row out of range");
    assert(column >= 1 && column <= columnCount && "MatchTable column out of range");
    return cells[static_cast<std::size_t>(row - 1) * columnCount + static_cast<std::size_t>(column - 1)];
}

} // namespace matching
