// TextScanner: reads numbers and words from a text the way the C library's
// formatted input reads them, without its undefined behaviour.
//
// The date and time readers were written as scanf formats (" %d/%d/%d",
// "%d:%d %s"), and what users type is read exactly as those formats read
// it: white space skipped before a number or a word, a literal separator
// matched as it stands, and the first mismatch ends the reading. Numbers
// too large for an int saturate instead of overflowing.
#pragma once

#include <string>
#include <string_view>

namespace qm::core {

// The C locale's white space: blank, tab, newline, vertical tab, form feed,
// carriage return.
bool IsCWhiteSpace(char c);
bool IsAsciiDigit(char c);

// `text` without leading blanks ("blanks" are ' ' only) and without trailing
// white space.
std::string_view TrimBlanksAndTrailingWhiteSpace(std::string_view text);
std::string_view TrimTrailingWhiteSpace(std::string_view text);

class TextScanner {
 public:
  explicit TextScanner(std::string_view text) : text_(text) {}

  // Like "%d": skips white space, reads an optional sign and the digits.
  // False (and nothing consumed that matters) when no digit follows.
  bool ReadInt(int& value);
  // Like "%s": skips white space and reads up to the next white space.
  // False at the end of the text.
  bool ReadWord(std::string& word);
  // Like literal text in a format: a white-space character matches any run
  // of white space (also none); any other character must come next.
  bool MatchLiteral(std::string_view literal);

 private:
  void SkipWhiteSpace();

  std::string_view text_;
  std::size_t position_ = 0;
};

// The C library's strtod in the "C" locale: leading white space, a sign,
// decimal or hexadecimal digits, an exponent, "inf" and "nan"; the longest
// prefix that forms a number is converted and the rest ignored; 0 when none.
// Independent of the process locale, so a decimal comma in the environment
// never changes how a stored number reads.
double CTextToDouble(std::string_view text);

// printf into a std::string, with the "C" locale's decimal point.
std::string FormatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qm::core
