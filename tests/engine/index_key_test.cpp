#include "engine/index_key.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace qm::engine {
namespace {

using NumericKey = std::array<char, kNumericKeyLength>;

NumericKey Bytes(std::initializer_list<int> prefix) {
  NumericKey key{};
  std::size_t i = 0;
  for (int b : prefix) key[i++] = static_cast<char>(b);
  return key;
}

NumericKey Encode(double value) {
  NumericKey key{};
  EncodeNumericKey(value, key);
  return key;
}

std::string_view View(const NumericKey& key) { return std::string_view(key.data(), key.size()); }

std::string Hex(const NumericKey& key) {
  std::string out;
  char buf[4];
  for (char c : key) {
    std::snprintf(buf, sizeof buf, "%02X ", static_cast<unsigned char>(c));
    out += buf;
  }
  return out;
}

TEST(NumericKeyTest, EncodesAsOtherWritersDo) {
  struct Case {
    double value;
    NumericKey expected;
  };
  const std::vector<Case> cases = {
      {1, Bytes({0x35, 0x05, 0x10})},
      {2, Bytes({0x35, 0x05, 0x20})},
      {0, Bytes({0x34, 0x01})},
      {-1, Bytes({0x35, 0x85, 0x10})},
      {12.5, Bytes({0x36, 0x0D, 0x12, 0x50})},
      {100, Bytes({0x37, 0x05, 0x10})},
      {0.5, Bytes({0x34, 0x05, 0x50})},
      {-123.45, Bytes({0x37, 0x95, 0x12, 0x34, 0x50})},
      {0.1 + 0.2, Bytes({0x34, 0x05, 0x30})},  // rounded to 15 digits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(Encode(c.value)), Hex(c.expected)) << c.value;
  }
}

TEST(NumericKeyTest, DecodesEveryWritersDigitCountConvention) {
  struct Case {
    NumericKey key;
    double value;
  };
  const std::vector<Case> cases = {
      {Bytes({0x35, 0x05, 0x10}), 1},
      {Bytes({0x35, 0x09, 0x10}), 1},              // 8 * ceil(digits / 2) + 1
      {Bytes({0x35, 0x51, 0x10}), 1},              // a constant count
      {Bytes({0x34, 0x01}), 0},
      {Bytes({0x34, 0x09, 0x05}), 0.05},           // a leading zero kept
      {Bytes({0x33, 0x05, 0x50}), 0.05},           // normalised
      {Bytes({0x36, 0x8D, 0x12, 0x50}), -12.5},
      {Bytes({0x48, 0x05, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x34, 0x56, 0x78, 0x90}),
       12345678901234567890.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(DecodeNumericKey(c.key), c.value) << Hex(c.key);
  }
}

TEST(NumericKeyTest, ComparesByValueNotBytes) {
  // Ascending values, some written in another writer's convention.
  const std::vector<NumericKey> ascending = {
      Encode(-100), Encode(-10), Encode(-1.5), Encode(-1), Encode(-0.25),
      Bytes({0x34, 0x01}),               // 0
      Bytes({0x34, 0x09, 0x05}),         // 0.05 with a leading zero digit
      Encode(0.5),  Bytes({0x35, 0x09, 0x10}),  // 1, other count bits
      Encode(1.5),  Encode(2), Encode(9.99), Encode(10), Encode(12345678)};
  for (std::size_t i = 0; i < ascending.size(); ++i) {
    for (std::size_t j = 0; j < ascending.size(); ++j) {
      int c = CompareKeys(KeyType::kNumeric, View(ascending[i]), View(ascending[j]));
      int expected = i < j ? -1 : (i > j ? 1 : 0);
      EXPECT_EQ((c > 0) - (c < 0), expected) << i << " vs " << j;
    }
  }
  EXPECT_EQ(CompareKeys(KeyType::kNumeric, View(Encode(1)), View(Bytes({0x35, 0x09, 0x10}))), 0);
  EXPECT_EQ(CompareKeys(KeyType::kNumeric, View(Encode(0.05)), View(Bytes({0x34, 0x09, 0x05}))),
            0);
}

TEST(NumericKeyTest, TextKeepsEveryDigit) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  };
  const std::vector<Case> cases = {
      {"  12.50", true, 12.5},    {"-0.05", true, -0.05},      {"007", true, 7},
      {"0", true, 0},             {"   ", false, 0},           {"1.2.3", false, 0},
      {"12a", false, 0},          {"1e3", false, 0},           {"-", false, 0},
      {"123456789012345678901", false, 0},  // 21 significant digits
      {"12345678901234567890", true, 12345678901234567890.0},
  };
  for (const Case& c : cases) {
    NumericKey key{};
    EXPECT_EQ(EncodeNumericKeyFromText(c.text, key), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(DecodeNumericKey(key), c.value) << c.text;
    }
  }
  NumericKey from_text{};
  ASSERT_TRUE(EncodeNumericKeyFromText(" 12.50", from_text));
  EXPECT_EQ(Hex(from_text), Hex(Encode(12.5)));
  // Beyond what a double holds, text keys still order correctly.
  NumericKey a{}, b{};
  ASSERT_TRUE(EncodeNumericKeyFromText("12345678901234567890", a));
  ASSERT_TRUE(EncodeNumericKeyFromText("12345678901234567891", b));
  EXPECT_LT(CompareKeys(KeyType::kNumeric, View(a), View(b)), 0);
}

// Other writers print the binary double with 16 or 17 digits; such a key
// must equal ours for the decimal value and still order against its
// neighbours, or checks report wrong keys and seeks miss.
TEST(NumericKeyTest, DigitsBeyondADoublesPrecisionDoNotCount) {
  struct Case {
    const char* stored;  // as another writer stores it
    double ours;
    int expected;        // sign of stored compared with ours
  };
  const std::vector<Case> cases = {
      {"78.71999999999999", 78.72, 0},
      {"78.72000000000001", 78.72, 0},
      {"-78.71999999999999", -78.72, 0},
      {"0.30000000000000004", 0.3, 0},
      {"9.9999999999999999", 10, 0},      // rounding carries into a new digit
      {"-9.9999999999999999", -10, 0},
      {"78.7199999999999", 78.72, -1},    // 15 digits: a real difference
      {"78.7200000000001", 78.72, 1},
      {"78.71999999999999", 78.73, -1},
      {"78.71999999999999", 78.71, 1},
  };
  for (const Case& c : cases) {
    NumericKey stored{};
    ASSERT_TRUE(EncodeNumericKeyFromText(c.stored, stored)) << c.stored;
    const NumericKey ours = Encode(c.ours);
    const int forward = CompareKeys(KeyType::kNumeric, View(stored), View(ours));
    const int backward = CompareKeys(KeyType::kNumeric, View(ours), View(stored));
    EXPECT_EQ((forward > 0) - (forward < 0), c.expected) << c.stored;
    EXPECT_EQ((backward > 0) - (backward < 0), -c.expected) << c.stored;
    EXPECT_EQ(CompareSearchKey(KeyType::kNumeric, View(ours), View(stored)) == 0,
              c.expected == 0)
        << c.stored;
  }
}

TEST(NumericKeyTest, NonFiniteValuesBecomeZero) {
  EXPECT_EQ(Hex(Encode(std::numeric_limits<double>::quiet_NaN())), Hex(Bytes({0x34, 0x01})));
  EXPECT_EQ(Hex(Encode(std::numeric_limits<double>::infinity())), Hex(Bytes({0x34, 0x01})));
}

TEST(DateKeyTest, JulianDayAsLittleEndianDouble) {
  std::array<char, kDateKeyLength> key{};
  EncodeDateKey(2460311.0, key);  // 2024-01-01
  const unsigned char expected[8] = {0x00, 0x00, 0x00, 0x80, 0x4B, 0xC5, 0x42, 0x41};
  EXPECT_EQ(std::memcmp(key.data(), expected, 8), 0);
  EXPECT_EQ(DecodeDateKey(key), 2460311.0);

  std::array<char, kDateKeyLength> empty{}, later{};
  EncodeDateKey(0, empty);
  EncodeDateKey(2460312.0, later);
  std::string_view k(key.data(), 8), e(empty.data(), 8), l(later.data(), 8);
  EXPECT_LT(CompareKeys(KeyType::kDate, e, k), 0);
  EXPECT_LT(CompareKeys(KeyType::kDate, k, l), 0);
  EXPECT_EQ(CompareKeys(KeyType::kDate, k, k), 0);
}

TEST(CharacterKeyTest, PaddedAndComparedAsUnsignedBytes) {
  char out[6];
  EncodeCharacterKey("AB", out);
  EXPECT_EQ(std::string(out, 6), "AB    ");
  EncodeCharacterKey("ABCDEFGH", out);
  EXPECT_EQ(std::string(out, 6), "ABCDEF");

  EXPECT_GT(CompareKeys(KeyType::kCharacter, "\xE4pfel", "zebra"), 0);  // ä after z
  EXPECT_LT(CompareKeys(KeyType::kCharacter, "AB   ", "ABC  "), 0);
  EXPECT_EQ(CompareKeys(KeyType::kCharacter, "ABC  ", "ABC  "), 0);
}

TEST(CharacterKeyTest, SearchKeyMatchesItsLengthOnly) {
  EXPECT_EQ(CompareSearchKey(KeyType::kCharacter, "SMI", "SMITH     "), 0);
  EXPECT_LT(CompareSearchKey(KeyType::kCharacter, "SMA", "SMITH     "), 0);
  EXPECT_GT(CompareSearchKey(KeyType::kCharacter, "SMJ", "SMITH     "), 0);
  EXPECT_EQ(CompareSearchKey(KeyType::kCharacter, "AB    ", "AB  "), 0);  // blanks beyond
  EXPECT_GT(CompareSearchKey(KeyType::kCharacter, "AB  X", "AB  "), 0);
  EXPECT_EQ(CompareSearchKey(KeyType::kCharacter, "", "ANY"), 0);
}

TEST(KeyTypeTest, Letters) {
  EXPECT_EQ(KeyTypeFromLetter('C'), KeyType::kCharacter);
  EXPECT_EQ(KeyTypeFromLetter('N'), KeyType::kNumeric);
  EXPECT_EQ(KeyTypeFromLetter('D'), KeyType::kDate);
  EXPECT_EQ(KeyTypeFromLetter('L'), std::nullopt);
  EXPECT_EQ(FixedKeyLength(KeyType::kNumeric), 12u);
  EXPECT_EQ(FixedKeyLength(KeyType::kDate), 8u);
  EXPECT_EQ(FixedKeyLength(KeyType::kCharacter), 0u);
}

}  // namespace
}  // namespace qm::engine
