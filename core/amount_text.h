// Numbers and money amounts as text, with the user's separators and
// currency symbol (IntlSettings).
//
// Money text is what the program shows and stores for an amount:
// 1,234,567.89 with the thousands and decimal separators, the currency
// symbol in front of or behind it on request. The hourly rate of a record
// is held in this form. Readers accept what the writers produce, and a
// user's typing such as "1234.5" or "$12".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm::core {

using Cents = std::int64_t;

// Replaces every occurrence of `find` in `text` and returns how many there
// were. An empty `find` changes nothing.
int ReplaceAll(std::string& text, std::string_view find, std::string_view replacement);

// Whether `text` (its first 255 characters) is a number as a person may
// type one: currency symbols and thousands separators are ignored, the
// decimal separator may appear once, a minus only in front, and the value
// must lie within +-21,474,836. The caller shows its own message when not.
bool IsNumberText(std::string_view text);
// Whether every non-empty "+"-separated part of the first 50 characters is
// a number (the expense box).
bool IsNumberSum(std::string_view text);

// The number that `text` (its first 50 characters) denotes with the user's
// separators; text that is no number converts as the C library's strtod
// converts it (the leading number, usually 0).
double TextToNumber(std::string_view text);
// The same after removing the currency symbol. Hourly rates are read so.
double AmountTextToNumber(std::string_view text);

// Reads an amount into whole cents (truncated after adding 0.0001, away
// from zero). Returns 0, or 168 with 0 stored when the text is no number.
int ParseAmountCents(std::string_view text, Cents& cents);
// Several amounts joined by "+" ("12.50+3"), added in cents. The first
// invalid part makes the result its error, with 0 stored.
int ParseAmountSum(std::string_view text, Cents& cents);

// Money text of `amount`, cut to `max_length` characters. With
// `with_symbol` the currency symbol stands where "iCurrency" puts it.
std::string FormatAmount(double amount, std::size_t max_length, bool with_symbol);
// Cents as "12.50" with the decimal separator, no grouping, no symbol.
std::string FormatCents(Cents cents);
// x in whole cents, halves away from zero.
Cents RoundToCents(double x);

// The text of an amount box after the person leaves it: read as an amount
// (0 when it is none) and written back as money text without the symbol.
std::string ReformatAmountBox(std::string_view box);

}  // namespace qm::core
