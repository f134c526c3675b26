#include "platform/codepage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qm::platform {
namespace {

using ::testing::HasSubstr;

TEST(CodepageTest, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Cp1252ToUtf8(all);
  std::string back;
  ASSERT_TRUE(Utf8ToCp1252(utf8, back).ok());
  EXPECT_EQ(back, all);
}

struct MappingCase {
  unsigned char byte;
  const char* utf8;
};

class CodepageMappingTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(CodepageMappingTest, MapsBothWays) {
  const MappingCase& c = GetParam();
  EXPECT_EQ(Cp1252ToUtf8(std::string(1, static_cast<char>(c.byte))), c.utf8);
  std::string back;
  ASSERT_TRUE(Utf8ToCp1252(c.utf8, back).ok());
  EXPECT_EQ(back, std::string(1, static_cast<char>(c.byte)));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodepageMappingTest,
    ::testing::Values(MappingCase{'A', "A"}, MappingCase{0x80, "\u20AC"},
                      MappingCase{0x81, "\u0081"}, MappingCase{0x8A, "\u0160"},
                      MappingCase{0x8D, "\u008D"}, MappingCase{0x8F, "\u008F"},
                      MappingCase{0x90, "\u0090"}, MappingCase{0x91, "\u2018"},
                      MappingCase{0x96, "\u2013"}, MappingCase{0x99, "\u2122"},
                      MappingCase{0x9D, "\u009D"}, MappingCase{0x9F, "\u0178"},
                      MappingCase{0xA0, "\u00A0"}, MappingCase{0xE9, "\u00E9"},
                      MappingCase{0xFF, "\u00FF"}));

TEST(CodepageTest, RefusesCharactersWindows1252CannotHold) {
  std::string out;
  const Status status = Utf8ToCp1252("ab\u0142c", out);  // Polish l with stroke
  ASSERT_FALSE(status.ok());
  EXPECT_THAT(status.message(), HasSubstr("U+0142"));
  EXPECT_THAT(status.message(), HasSubstr("position 3"));
  EXPECT_THAT(status.message(), HasSubstr("\u0142"));

  // A C1 control that Windows-1252 gives a printable character is not the
  // same as that character.
  EXPECT_FALSE(Utf8ToCp1252("\u0080", out).ok());
  EXPECT_FALSE(Utf8ToCp1252("\U0001F600", out).ok());
}

TEST(CodepageTest, RefusesMalformedUtf8) {
  std::string out;
  for (const std::string& bad : {
           std::string("a\xE9z"),          // a Latin-1 byte, not UTF-8
           std::string("\xC3"),            // cut short
           std::string("\xC0\xAF"),        // overlong
           std::string("\xED\xA0\x80"),    // a surrogate
           std::string("\xF4\x90\x80\x80"),  // beyond U+10FFFF
           std::string("\x80"),            // a continuation byte alone
       }) {
    const Status status = Utf8ToCp1252(bad, out);
    EXPECT_FALSE(status.ok()) << bad;
    EXPECT_THAT(status.message(), HasSubstr("not valid UTF-8"));
  }
  const Status status = Utf8ToCp1252("ab\xFF", out);
  EXPECT_THAT(status.message(), HasSubstr("0xFF at byte position 3"));
}

}  // namespace
}  // namespace qm::platform
