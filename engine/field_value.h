// FieldValue: how the values of a record's fields are written as text.
//
// Every field of a data file holds text of its fixed width: character
// fields padded with blanks on the right, numbers right-aligned with a fixed
// number of decimals, dates as "CCYYMMDD" (eight blanks when empty), logical
// values as one letter, memo fields as the ten-character block number of the
// memo. These functions convert between that text and values.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qm::engine {

// True for "T", "t", "Y" and "y"; every other letter, and a blank, is false.
bool LogicalIsTrue(char stored);

// The number in a numeric field's text; blanks, and text that is no number,
// read as 0.
double ParseNumber(std::string_view text);

// Writes `value` with `decimals` decimals right-aligned into `out` (the
// field's width). False, with `out` untouched, when it does not fit.
bool FormatNumber(double value, int decimals, std::span<char> out);

// Julian day number of a Gregorian date (2024-01-01 is 2460311).
std::int32_t JulianDayFromDate(int year, int month, int day);
void DateFromJulianDay(std::int32_t julian_day, int& year, int& month, int& day);

// The Julian day of "CCYYMMDD" text; 0 for blanks or text that is no date.
std::int32_t JulianDayFromDateText(std::string_view text);
// Writes "CCYYMMDD" into `out` (8 bytes), eight blanks for a day <= 0.
// False when the day lies beyond the year 9999.
bool DateTextFromJulianDay(std::int32_t julian_day, std::span<char, 8> out);

// A memo field's block number; 0 (no memo) for blanks or text that is no number.
std::uint32_t ParseBlockNumber(std::string_view text);
// Writes the block number right-aligned in `out`, blanks for 0.
void FormatBlockNumber(std::uint32_t block, std::span<char> out);

}  // namespace qm::engine
