#pragma once
// Side-by-side composition of two recipes per dish: line k of one beside
// line k of the other, max(n, m) rows per dish, numbered from 1.

#include <string>
#include <vector>

#include "host/DataPacket.h"

namespace pla013 {

struct RecipeSide {
    std::string dishField;   // the line's dish code field, e.g. CDPRATOP
    std::string ownerField;  // the line's dish owner field, e.g. CDFILAUXPRATP
    // Fields copied from the line into the same-named fields of the composition.
    std::vector<std::string> columns;
};

// Composes the rows of the dishes (fields CDPRATO, NMPRATO, CDFILAUXPRAT)
// with their standard and other lines. Lines are grouped by dish in one pass
// and belong to a dish only when code and owner are equal byte for byte;
// each side keeps the order in which its lines arrived. The result has the
// given fields; whatever a row does not set is null.
host::DataPacket ComposeRecipes(const host::DataPacket& dishes, const host::DataPacket& standardLines,
                                const host::DataPacket& otherLines, const RecipeSide& standard,
                                const RecipeSide& other, const std::vector<host::FieldDef>& compositionFields);

// "FIELD = 'value'" pieces of a data set filter, with quotes inside the value doubled.
std::string QuotedFilterValue(const std::string& value);

}  // namespace pla013
