// Index keys: the bytes that an index tag stores for one record, and the
// order in which a tag keeps them.
//
// Three kinds of key exist, named by the letter that index files store:
//
//   C  character: the key expression's text, padded with blanks to the key
//      length, ordered as unsigned bytes.
//   N  numeric: 12 bytes of packed decimal. Byte 0 is 52 plus the number of
//      digits before the decimal point (so 0x34 for 0.x, 0x35 for 1 to 9);
//      byte 1 carries the sign (0x80 when negative) and, in its other bits,
//      a digit count that every writer fills in its own way; bytes 2 to 11
//      hold up to 20 significant digits, two per byte, high nibble first.
//      The value is 0.d1d2d3... times 10 to the power (byte 0 - 52).
//      Because writers differ in the count bits and in whether they keep a
//      leading zero digit, numeric keys are compared by value, never byte
//      for byte.
//   D  date: the Julian day number as a little-endian IEEE double
//      (2024-01-01 is 2460311.0; an empty date is 0).
//
// Encoding never allocates; the functions write into a caller's buffer.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace qm::engine {

enum class KeyType : char {
  kCharacter = 'C',
  kNumeric = 'N',
  kDate = 'D',
};

inline constexpr std::size_t kNumericKeyLength = 12;
inline constexpr std::size_t kDateKeyLength = 8;
inline constexpr std::size_t kMaxCharacterKeyLength = 100;
// Significant digits that a numeric key can hold.
inline constexpr int kNumericKeyDigits = 20;

// The key type for the letter stored in an index file; nullopt for others.
std::optional<KeyType> KeyTypeFromLetter(char letter);

// The fixed key length of N and D keys; 0 for C (its length is the tag's).
std::size_t FixedKeyLength(KeyType type);

// Copies `text` into `out`, cut or padded with blanks to out.size().
void EncodeCharacterKey(std::string_view text, std::span<char> out);

// Writes the 12-byte key of `value`, rounded to 15 significant digits (as
// many as a double holds reliably), so that 0.1 + 0.2 and 0.3 give one key.
// Not-a-number and infinities are stored as 0.
void EncodeNumericKey(double value, std::span<char, kNumericKeyLength> out);

// Writes the key of a number given as decimal text ("  -12.50", "1e3" is
// not accepted), keeping every digit. False, with `out` untouched, when the
// text is not a plain decimal number or has more than 20 significant digits.
bool EncodeNumericKeyFromText(std::string_view text,
                              std::span<char, kNumericKeyLength> out);

// The value of a numeric key written by any program. Digits that are not
// decimal (a damaged key) count as 0.
double DecodeNumericKey(std::span<const char, kNumericKeyLength> key);

void EncodeDateKey(double julian_day, std::span<char, kDateKeyLength> out);
double DecodeDateKey(std::span<const char, kDateKeyLength> key);

// Orders two keys of one type and length: negative when `a` sorts before
// `b`, 0 when equal, positive after. Both views must hold the full key
// (12 bytes for N, 8 for D). Numeric keys of up to 17 significant digits
// (all that a double gives) compare by value rounded to 15 digits, so a key
// that another writer made from the binary double (78.72 as
// 78.71999999999999) equals the key of the decimal value; longer keys came
// from decimal text and compare in full. Seeks, tag order and index checks
// all go through here.
int CompareKeys(KeyType type, std::string_view a, std::string_view b);

// Orders a search key against a stored key. For character keys only the
// search key's length counts, so that "SMI" finds "SMITH     "; the other
// types compare whole keys.
int CompareSearchKey(KeyType type, std::string_view search, std::string_view stored);

}  // namespace qm::engine
