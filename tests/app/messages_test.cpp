#include "app/messages.h"

#include <climits>
#include <cstddef>
#include <string>
#include <string_view>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qm::app {
namespace {

using ::testing::Optional;

struct TextCase {
  int number;
  std::string_view text;
};

// Texts typed in by hand from the wording the users see, so that a slip in
// the table (a lost doubled blank, an escape left as two characters, a tab
// read as "\t") shows up here.
constexpr TextCase kKnownTexts[] = {
    {139,
     "The file  %s, cannot be opened.  Please check that the drive and path "
     "name are valid.  Also, check that another application is not accessing "
     "this file."},
    {354,
     "The file '%s' has been damaged or is an invalid file.  Damage may have "
     "occurred if your system crashed, or was powered down while Quillmark "
     "was running.  In most cases the damage can be repaired.\n\nQuillmark "
     "will now attempt to repair the database."},
    {162,
     "The time record data you have entered has a time range which overlaps "
     "that of an existing time record:\n\nExisting Task:\n  %s  to  %s"},
    {425,
     "The system date on your computer is set incorrectly.  Quillmark cannot "
     "work with years past 2038 or before 1970."},
    {1221, "Hours"},
    {1222, "hr"},
    {1223, "min"},
    {1166, "%ld min"},
    {2004, "Now"},
    {1115, "Corvane Quillmark"},
    {240, "Valid Administrator"},
    {241, "Valid Person"},
    {275, "Invalid Password"},
    // Inner quotes kept as written.
    {305,
     "Filter number %d is invalid.  Only \"=\" or \"<>\" comparisons may be "
     "used, and the target must be equal to \"Yes\" or \"No\".  For "
     "example:\n\n    Billable? = Yes"},
    // Doubled backslashes in the written text are single ones on screen ...
    {281,
     "The Program File Name edit box is blank.  You must enter a program file "
     "name for the word processor.\n\nExamples: 'notepad.exe', "
     "'c:\\winword\\winword.exe'."},
    // ... and a lone backslash of a path stays as it is.
    {1182, "a:\\quillmk.tbk"},
    // Tabs separate the columns of the accounting header and report labels.
    {389, "!SPL\tTRNSTYPE\tDOCNUM\tINVITEM\tDATE\tACCNT\tAMOUNT\tMEMO"},
    {1124, "Record Range:\t %s - %s"},
    // Trailing blanks belong to the text.
    {33,
     "The file you selected is not a valid environment file, or it has been "
     "corrupted.  "},
    {460, "  (Codebase Error Number: %d)"},
    // The variant of 1199 asked before adding an application.
    {1196,
     "You have made changes to the commands for the application\n\n      "
     "'%s'.\n\nDo you wish to save these changes before adding a new "
     "application?"},
};

TEST(MessageTextTest, GivesTheExactTextOfKnownNumbers) {
  for (const auto& c : kKnownTexts) {
    SCOPED_TRACE(c.number);
    EXPECT_THAT(MessageText(c.number), Optional(c.text));
  }
}

TEST(MessageTextTest, GivesNothingForNumbersWithoutText) {
  // Below and above the table, between entries, and a plain result code
  // ("nothing was done") that has no wording of its own.
  for (int number : {INT_MIN, -1, 0, 1, 32, 34, 272, 1000, 2020, 3000, INT_MAX}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(MessageText(number), std::nullopt);
  }
}

TEST(MessageTableTest, NumbersAscendWithoutRepeats) {
  const auto all = AllMessages();
  ASSERT_FALSE(all.empty());
  for (std::size_t i = 1; i < all.size(); ++i) {
    EXPECT_LT(all[i - 1].number, all[i].number) << "at entry " << i;
  }
}

TEST(MessageTableTest, EveryEntryIsFoundByItsNumber) {
  // Catches a lookup that stops short at either end of the table.
  for (const auto& m : AllMessages()) {
    SCOPED_TRACE(m.number);
    EXPECT_THAT(MessageText(m.number), Optional(m.text));
  }
}

TEST(MessageTableTest, EveryTextIsNonEmpty) {
  for (const auto& m : AllMessages()) {
    EXPECT_FALSE(m.text.empty()) << m.number;
  }
}

// The length of the conversion at `text[pos]` (just after a '%'), or 0 when
// it is not one that the callers format with: %s, %d, %u, %c, their l
// forms, flags/width/precision such as %-2.2ld, and %%.
std::size_t ConversionLength(std::string_view text, std::size_t pos) {
  std::size_t i = pos;
  if (i < text.size() && text[i] == '%') return 1;
  while (i < text.size() && (text[i] == '-' || text[i] == '0')) ++i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  }
  if (i < text.size() && text[i] == 'l') {
    ++i;
    if (i < text.size() && (text[i] == 'd' || text[i] == 'u')) return i + 1 - pos;
    return 0;
  }
  if (i < text.size() &&
      (text[i] == 's' || text[i] == 'd' || text[i] == 'u' || text[i] == 'c')) {
    return i + 1 - pos;
  }
  return 0;
}

TEST(MessageTableTest, FormatsAreOnlyThoseTheCallersSupply) {
  for (const auto& m : AllMessages()) {
    const std::string_view text = m.text;
    for (std::size_t pos = text.find('%'); pos != std::string_view::npos;
         pos = text.find('%', pos)) {
      const std::size_t length = ConversionLength(text, pos + 1);
      EXPECT_NE(length, 0u) << "message " << m.number << ": stray % at "
                            << pos << " in \"" << text << "\"";
      pos += 1 + length;
    }
  }
}

TEST(MessageTableTest, TextsHoldRealControlCharactersNotEscapes) {
  // A "\n" or "\t" left as backslash and letter would print literally.
  for (const auto& m : AllMessages()) {
    EXPECT_EQ(m.text.find("\\n"), std::string_view::npos) << m.number;
    EXPECT_EQ(m.text.find("\\t"), std::string_view::npos) << m.number;
  }
}

TEST(MessageTableTest, TextsAreWindows1252NotUtf8) {
  // A UTF-8 lead byte followed by a continuation byte means a character was
  // pasted in as UTF-8; the front ends would show it as two wrong letters.
  for (const auto& m : AllMessages()) {
    const std::string_view t = m.text;
    for (std::size_t i = 0; i + 1 < t.size(); ++i) {
      const auto lead = static_cast<unsigned char>(t[i]);
      const auto next = static_cast<unsigned char>(t[i + 1]);
      EXPECT_FALSE(lead >= 0xC2 && lead <= 0xF4 && next >= 0x80 && next <= 0xBF)
          << "message " << m.number << " at " << i;
    }
  }
}

}  // namespace
}  // namespace qm::app
