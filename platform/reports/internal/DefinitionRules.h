#pragma once
// Lexical rules of the definition format (docs/report-format.md): names,
// formats and ISO dates. Names of fields and parameters compare upper-cased.

#include <string>

#include "platform/reports/ReportDefinition.h"

namespace pla013::reports::internal {

std::string upperCase(std::string text);

// A letter or '_', then letters, digits or '_'.
bool isIdentifier(const std::string& text);

// "" and "text", date patterns (with dd, yyyy or hh), or a number pattern
// "0", "#,##0", "0.00", "#,##0.000"...
bool isValidFormat(const std::string& format);

// "YYYY-MM-DD".
bool isIsoDate(const std::string& text);
// "YYYY-MM-DD", or "YYYY-MM-DD HH:MM:SS" (a 'T' may stand for the blank).
bool isIsoDateTime(const std::string& text);

// Whether a gutter separates two neighbouring columns: they are under
// different spanning headings.
bool gutterBetween(const ColumnDef& left, const ColumnDef& right);
// Blanks between two neighbouring columns: three around a gutter; two after
// a right-aligned column before one that is not, so that a number does not
// read as part of the code or text after it; else one.
int columnGap(const ColumnDef& left, const ColumnDef& right);

}  // namespace pla013::reports::internal
