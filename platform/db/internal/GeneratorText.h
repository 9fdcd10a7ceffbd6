#pragma once
// Texts of the generated rows: codes padded with zeros, decimal amounts,
// names cut to their columns, ISO dates.

#include <string>

namespace pla013::db::internal {

std::string padded(long long value, int width);
int digits(long long value);
// An amount held in units of 1/scale as decimal text: 650 / 10000 -> "0.065".
std::string decimal(long long units, int scale);
// The first max characters (not bytes) of a UTF-8 text, without trailing blanks.
std::string fit(const std::string& text, std::size_t max);
std::string isoDate(int year, int month, int day);
// The first day of the month `offset` months after January 2024.
std::string monthStart(int offset);

}  // namespace pla013::db::internal
