#pragma once
// Side-by-side composition of two recipes per dish: line k of one beside
// line k of the other, max(n, m) rows per dish, numbered from 1.

#include <string>
#include <vector>

#include "host/CompactPacket.h"
#include "host/Data.h"
#include "host/DataPacket.h"
#include "host/Variant.h"

namespace pla013 {

struct RecipeSide {
    std::string dishField;   // the line's dish code field, e.g. CDPRATOP
    std::string ownerField;  // the line's dish owner field, e.g. CDFILAUXPRATP
    // Fields copied from the line into the same-named fields of the composition.
    std::vector<std::string> columns;
    // What stands between the owner field and the quoted owner in the
    // side's filter text: " = " for the standard lines, " =" for the others.
    std::string ownerEquals = " = ";
};

// The three sides as the server sends them (cdsPratoPadr, cdsPratoLoca,
// cdsPratoServ) and as the compositions name their columns.
RecipeSide StandardRecipeSide();
RecipeSide LocalRecipeSide();
RecipeSide ServiceRecipeSide();

// Composes the rows of the dishes (fields CDPRATO, NMPRATO, CDFILAUXPRAT)
// with their standard and other lines. Lines are grouped by dish in one pass
// and belong to a dish only when code and owner are equal byte for byte;
// each side keeps the order in which its lines arrived. A dish listed again
// adds its standard lines once more, standard side only (the other side's
// lines already stand beside the first rows of that dish). The result has
// the given fields; whatever a row does not set is null.
host::CompactPacket ComposeRecipes(const host::CompactPacket& dishes, const host::CompactPacket& standardLines,
                                   const host::CompactPacket& otherLines, const RecipeSide& standard,
                                   const RecipeSide& other, const std::vector<host::FieldDef>& compositionFields);
// The same over packets of variants (their values converted to their fields' kinds first).
host::DataPacket ComposeRecipes(const host::DataPacket& dishes, const host::DataPacket& standardLines,
                                const host::DataPacket& otherLines, const RecipeSide& standard, const RecipeSide& other,
                                const std::vector<host::FieldDef>& compositionFields);

// The value of a quoted data set filter literal, with quotes inside doubled.
std::string QuotedFilterValue(const std::string& value);

// The filter text that restricts a side's line data set to one dish:
// "CDPRATOP = 'code'AND CDFILAUXPRATP = 'owner'" (values quoted).
std::string DishFilter(const RecipeSide& side, const std::string& dish, const std::string& owner);

// The data sets of one comparison report.
struct RecipeDataSets {
    host::TClientDataSet* dishes;         // cdsPratosRel / cdsPratosRelPS
    host::TClientDataSet* standardLines;  // cdsPratoPadr
    host::TClientDataSet* otherLines;     // cdsPratoLoca / cdsPratoServ
    host::TClientDataSet* composition;    // cdsReceitaPadLoc / cdsReceitaPadSer
};

// What a comparison does with the server's answer: loads elements 0, 1 and 2
// of result into the dishes, standard lines and other lines, in this order
// (an element that is not a data packet ends the run there, EVariantError);
// then, unless there is no dish, replaces the composition's content (its
// active index stays) and leaves on both line data sets the filter of the
// last dish, as a pass over the dishes one by one would leave them. The
// packets move into the data sets when result is their only holder (kept
// compactly, as the transport decodes them).
void LoadRecipeComparison(host::Variant result, const RecipeDataSets& sets, const RecipeSide& standard,
                          const RecipeSide& other);

}  // namespace pla013
