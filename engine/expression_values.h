// The conversions that expressions make between the text stored in a record
// and the values they compute with: numbers, Julian days, STR() and DTOS()
// text, upper case. Field text is read exactly as the data file reads it
// (engine/field_value.h). None of them allocates.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qm::engine::expression_internal {

// The number a numeric field's text (or VAL's argument) denotes, as the
// data file reads it; anything that is no finite number reads as 0, so that
// a damaged field cannot put NaN into a key.
double ParseNumberText(std::string_view text);

// The Julian day of "CCYYMMDD" text; 0 for blanks and for anything that is
// not a real date (a 31st of February is no date).
double JulianDayFromDateText(std::string_view text);

// "CCYYMMDD" into out[0..8); eight blanks for 0 and days outside the years
// 1 to 9999.
void WriteDateText(double julian_day, char* out);
// "MM/DD/YY" into out[0..8); "  /  /  " for an empty date.
void WriteDateMdy(double julian_day, char* out);

// STR(value, width, decimals) into out[0..width): right-aligned, rounded
// half away from zero on the decimal digits the number shows. Fewer decimals
// when the requested ones do not fit; width asterisks when the whole part
// does not fit (or the value is not finite).
void WriteStr(double value, int width, int decimals, char* out);

// Upper case of the Windows-1252 bytes, by byte value: fetch once, then
// index per character.
const std::array<char, 256>& UpperCaseTable();
inline char UpperCp1252(char c) { return UpperCaseTable()[static_cast<unsigned char>(c)]; }

}  // namespace qm::engine::expression_internal
