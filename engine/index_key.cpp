#include "engine/index_key.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace qm::engine {

static_assert(std::endian::native == std::endian::little,
              "date keys are stored as little-endian doubles");

namespace {

constexpr int kExponentBias = 52;

// A numeric key's value as 0.d1d2...dn times 10^exponent, with d1 and dn
// not zero; count 0 is the value 0.
struct Decimal {
  bool negative = false;
  int exponent = 0;
  int count = 0;
  char digits[kNumericKeyDigits] = {};
};

void StripZeros(Decimal& d) {
  int leading = 0;
  while (leading < d.count && d.digits[leading] == 0) ++leading;
  if (leading > 0) {
    std::memmove(d.digits, d.digits + leading, static_cast<std::size_t>(d.count - leading));
    d.count -= leading;
    d.exponent -= leading;
  }
  while (d.count > 0 && d.digits[d.count - 1] == 0) --d.count;
  if (d.count == 0) {
    d.negative = false;
    d.exponent = 0;
  }
}

Decimal ReadDecimal(const unsigned char* key) {
  Decimal d;
  d.exponent = static_cast<int>(key[0]) - kExponentBias;
  d.negative = (key[1] & 0x80) != 0;
  for (int i = 0; i < kNumericKeyDigits; ++i) {
    unsigned char byte = key[2 + i / 2];
    int digit = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0F);
    d.digits[i] = static_cast<char>(digit <= 9 ? digit : 0);
  }
  d.count = kNumericKeyDigits;
  StripZeros(d);
  return d;
}

void WriteDecimal(const Decimal& d, std::span<char, kNumericKeyLength> out) {
  std::memset(out.data(), 0, out.size());
  int biased = kExponentBias + d.exponent;
  if (d.count == 0 || biased < 0) {  // zero, or too small to hold
    out[0] = static_cast<char>(kExponentBias);
    out[1] = 0x01;
    return;
  }
  biased = std::min(biased, 255);
  out[0] = static_cast<char>(biased);
  out[1] = static_cast<char>((d.negative ? 0x80 : 0x00) | (d.count << 2) | 0x01);
  for (int i = 0; i < d.count; ++i) {
    auto& byte = reinterpret_cast<unsigned char&>(out[2 + i / 2]);
    byte |= static_cast<unsigned char>(i % 2 == 0 ? d.digits[i] << 4 : d.digits[i]);
  }
}

// Keys are compared at the precision a double holds: writers that store
// the binary value's 16th or 17th digit (78.72 as 78.71999999999999) must
// still find, order and check equal to a key that holds the decimal value.
// A key of more than 17 digits cannot have come from a double; it was made
// from decimal text and every digit counts. Comparing the images of one
// fixed mapping keeps the order total, which the B-tree relies on.
constexpr int kComparedDigits = 15;
constexpr int kDoubleDigits = 17;

void RoundToComparedDigits(Decimal& d) {
  if (d.count <= kComparedDigits || d.count > kDoubleDigits) return;
  const bool up = d.digits[kComparedDigits] >= 5;
  d.count = kComparedDigits;
  if (up) {
    int i = kComparedDigits - 1;
    for (; i >= 0 && d.digits[i] == 9; --i) d.digits[i] = 0;
    if (i >= 0) {
      ++d.digits[i];
    } else {  // 0.999... became 1.000...: one more digit before the point
      d.digits[0] = 1;
      ++d.exponent;
    }
  }
  StripZeros(d);
}

int Sign(const Decimal& d) { return d.count == 0 ? 0 : (d.negative ? -1 : 1); }

int CompareDecimals(const Decimal& a, const Decimal& b) {
  int sa = Sign(a);
  int sb = Sign(b);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (sa == 0) return 0;
  int magnitude = 0;
  if (a.exponent != b.exponent) {
    magnitude = a.exponent < b.exponent ? -1 : 1;
  } else {
    int n = std::min(a.count, b.count);
    for (int i = 0; i < n && magnitude == 0; ++i) {
      if (a.digits[i] != b.digits[i]) magnitude = a.digits[i] < b.digits[i] ? -1 : 1;
    }
    if (magnitude == 0 && a.count != b.count) magnitude = a.count < b.count ? -1 : 1;
  }
  return sa * magnitude;
}

int CompareBytes(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

std::optional<KeyType> KeyTypeFromLetter(char letter) {
  switch (letter) {
    case 'C': return KeyType::kCharacter;
    case 'N': return KeyType::kNumeric;
    case 'D': return KeyType::kDate;
    default: return std::nullopt;
  }
}

std::size_t FixedKeyLength(KeyType type) {
  switch (type) {
    case KeyType::kNumeric: return kNumericKeyLength;
    case KeyType::kDate: return kDateKeyLength;
    case KeyType::kCharacter: break;
  }
  return 0;
}

void EncodeCharacterKey(std::string_view text, std::span<char> out) {
  std::size_t n = std::min(text.size(), out.size());
  if (n > 0) std::memcpy(out.data(), text.data(), n);
  if (out.size() > n) std::memset(out.data() + n, ' ', out.size() - n);
}

void EncodeNumericKey(double value, std::span<char, kNumericKeyLength> out) {
  Decimal d;
  if (std::isfinite(value) && value != 0.0) {
    char text[40];
    auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(value),
                                   std::chars_format::scientific, 14);
    if (ec == std::errc()) {
      // "d.dddddddddddddde+XX"
      const char* p = text;
      for (; p < end && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9' && d.count < kNumericKeyDigits) {
          d.digits[d.count++] = static_cast<char>(*p - '0');
        }
      }
      int exp10 = 0;
      if (p < end) {
        ++p;
        if (*p == '+') ++p;
        std::from_chars(p, end, exp10);
      }
      d.exponent = exp10 + 1;
      d.negative = value < 0;
      StripZeros(d);
    }
  }
  WriteDecimal(d, out);
}

bool EncodeNumericKeyFromText(std::string_view text,
                              std::span<char, kNumericKeyLength> out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  Decimal d;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    d.negative = text[i] == '-';
    ++i;
  }
  bool seen_point = false;
  bool seen_digit = false;
  int whole_digits = 0;     // digits before the point, leading zeros included
  int skipped_leading = 0;  // zeros before the first significant digit
  int significant = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.') {
      if (seen_point) return false;
      seen_point = true;
      continue;
    }
    if (c < '0' || c > '9') return false;
    seen_digit = true;
    if (!seen_point) ++whole_digits;
    if (significant == 0 && c == '0') {
      ++skipped_leading;
      continue;
    }
    if (significant >= kNumericKeyDigits) {
      if (c != '0') return false;  // more digits than a key holds
      continue;
    }
    d.digits[significant++] = static_cast<char>(c - '0');
  }
  if (!seen_digit) return false;
  d.count = significant;
  d.exponent = whole_digits - skipped_leading;
  StripZeros(d);
  WriteDecimal(d, out);
  return true;
}

double DecodeNumericKey(std::span<const char, kNumericKeyLength> key) {
  Decimal d = ReadDecimal(reinterpret_cast<const unsigned char*>(key.data()));
  double value = 0;
  for (int i = 0; i < d.count; ++i) value = value * 10 + d.digits[i];
  value *= std::pow(10.0, d.exponent - d.count);
  return d.negative ? -value : value;
}

void EncodeDateKey(double julian_day, std::span<char, kDateKeyLength> out) {
  std::memcpy(out.data(), &julian_day, kDateKeyLength);
}

double DecodeDateKey(std::span<const char, kDateKeyLength> key) {
  double value;
  std::memcpy(&value, key.data(), kDateKeyLength);
  return value;
}

int CompareKeys(KeyType type, std::string_view a, std::string_view b) {
  switch (type) {
    case KeyType::kCharacter:
      return CompareBytes(a, b);
    case KeyType::kNumeric: {
      if (a.size() < kNumericKeyLength || b.size() < kNumericKeyLength) return CompareBytes(a, b);
      if (std::memcmp(a.data(), b.data(), kNumericKeyLength) == 0) return 0;
      Decimal da = ReadDecimal(reinterpret_cast<const unsigned char*>(a.data()));
      Decimal db = ReadDecimal(reinterpret_cast<const unsigned char*>(b.data()));
      RoundToComparedDigits(da);
      RoundToComparedDigits(db);
      return CompareDecimals(da, db);
    }
    case KeyType::kDate: {
      if (a.size() < kDateKeyLength || b.size() < kDateKeyLength) return CompareBytes(a, b);
      double x, y;
      std::memcpy(&x, a.data(), kDateKeyLength);
      std::memcpy(&y, b.data(), kDateKeyLength);
      if (x < y) return -1;
      if (y < x) return 1;
      return 0;
    }
  }
  return 0;
}

int CompareSearchKey(KeyType type, std::string_view search, std::string_view stored) {
  if (type != KeyType::kCharacter) return CompareKeys(type, search, stored);
  std::size_t n = std::min(search.size(), stored.size());
  int c = n == 0 ? 0 : std::memcmp(search.data(), stored.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  // A search text longer than the key matches only when the rest is blank.
  for (std::size_t i = n; i < search.size(); ++i) {
    if (search[i] != ' ') return 1;
  }
  return 0;
}

}  // namespace qm::engine
