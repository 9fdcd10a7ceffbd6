#pragma once
// Rows of a report read one at a time, for data too large to hold: the report
// engine reads them once, as the report is prepared, and keeps them outside
// the heap (internal::RowSpool) for its passes.

#include <vector>

#include "host/Ports.h"

namespace pla013::reports {

using RowSource = host::IRowCursor;

}  // namespace pla013::reports
