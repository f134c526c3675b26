// The conversions that expressions make between the text stored in a record
// and the values they compute with: numbers, Julian days, STR() and DTOS()
// text, upper case. None of them allocates.
#pragma once

#include <cstdint>
#include <string_view>

namespace qm::engine::expression_internal {

// The number at the start of `text` after leading blanks: an optional sign,
// digits, an optional point and more digits. Whatever follows is ignored;
// blanks, and text that is no number (a numeric field's overflow asterisks),
// read as 0.
double ParseNumberText(std::string_view text);

// Julian day number of a Gregorian date (2024-01-01 is 2460311).
std::int64_t JulianDayFromDate(int year, int month, int day);
// The date of a Julian day between 0001-01-01 and 9999-12-31; false
// outside.
bool DateFromJulianDay(std::int64_t julian_day, int& year, int& month, int& day);

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

// Upper case of one Windows-1252 byte.
char UpperCp1252(char c);

}  // namespace qm::engine::expression_internal
