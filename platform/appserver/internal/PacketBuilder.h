#pragma once
// Builds result packets with exactly the fields the client's data sets
// declare, from database rows whose column types depend on the engine.

#include <string>
#include <vector>

#include "host/DataPacket.h"

namespace pla013::appserver::internal {

// Column positions of a query result, looked up by name once.
class ResultColumns {
public:
    // EHostError naming query and column when a column is missing.
    ResultColumns(const host::DataPacket& result, const std::vector<std::string>& names, const std::string& query);
    int operator[](std::size_t i) const { return m_index[i]; }

private:
    std::vector<int> m_index;
};

// Conversions of a database value to a packet field's kind; null stays null.
// Numbers that arrive as text (an engine that did not type an expression)
// are parsed; a value that does not convert is an EHostError naming what.
host::Variant asText(const host::Variant& value);
host::Variant asInteger(const host::Variant& value, const std::string& what);
host::Variant asFloat(const host::Variant& value, const std::string& what);

}  // namespace pla013::appserver::internal
