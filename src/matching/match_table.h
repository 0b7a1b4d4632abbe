// MatchTable: the two-dimensional table of matches that PatternMatcher::findAll fills.
#pragma once

#include "platform/text.h"

#include <vector>

namespace matching {

/// Row r is match r; column 1 is the whole match and column k + 1 capturing group k. One-based at the interface.
class MatchTable {
public:
    MatchTable() = default;
    /// `cells` holds rows * columns texts, row after row.
    MatchTable(int rows, int columns, std::vector<Text> cells);

    /// The table always has two dimensions; their sizes are `rows()` and `columns()`.
    static constexpr int dimensions() { return 2; }
    int rows() const { return rowCount; }
    int columns() const { return columnCount; }
    bool isEmpty() const { return rowCount == 0; }
    /// The cell [row][column]; the caller has checked 1 <= row <= rows() and 1 <= column <= columns().
    const Text& at(int row, int column) const;

private:
    int rowCount = 0;
    int columnCount = 0;
    std::vector<Text> cells;
};

} // namespace matching
