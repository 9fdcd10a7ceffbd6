#pragma once
// Rows of a report read one at a time, for data too large to hold: the report
// engine reads them once to count the pages and once more to write them, and
// keeps no more than a few rows.

#include <vector>

#include "host/DataPacket.h"

namespace pla013::reports {

class RowSource {
public:
    virtual ~RowSource() = default;
    // The fields every row has, in order.
    virtual const std::vector<host::FieldDef>& fields() const = 0;
    // Starts again at the first row; the same rows come in the same order.
    virtual void rewind() = 0;
    // Puts the next row's values in row (one per field); false after the last.
    virtual bool next(std::vector<host::Variant>& row) = 0;
};

}  // namespace pla013::reports
