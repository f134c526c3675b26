#include "core/text_scanner.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace qm::core {
namespace {

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

// Switches the calling thread to the "C" locale for number formatting and
// back again, so that "%5.2f" writes a point whatever LC_NUMERIC says.
class ScopedCLocale {
 public:
  ScopedCLocale() : previous_(uselocale(CLocale())) {}
  ~ScopedCLocale() { uselocale(previous_); }
  ScopedCLocale(const ScopedCLocale&) = delete;
  ScopedCLocale& operator=(const ScopedCLocale&) = delete;

 private:
  locale_t previous_;
};

}  // namespace

bool IsCWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimTrailingWhiteSpace(std::string_view text) {
  while (!text.empty() && IsCWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TrimBlanksAndTrailingWhiteSpace(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return TrimTrailingWhiteSpace(text);
}

void TextScanner::SkipWhiteSpace() {
  while (position_ < text_.size() && IsCWhiteSpace(text_[position_])) ++position_;
}

bool TextScanner::ReadInt(int& value) {
  SkipWhiteSpace();
  std::size_t at = position_;
  bool negative = false;
  if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) {
    negative = text_[at] == '-';
    ++at;
  }
  if (at >= text_.size() || !IsAsciiDigit(text_[at])) return false;
  long long magnitude = 0;
  constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
  while (at < text_.size() && IsAsciiDigit(text_[at])) {
    if (magnitude < kLimit) magnitude = magnitude * 10 + (text_[at] - '0');
    ++at;
  }
  if (magnitude > kLimit) magnitude = kLimit;
  long long signed_value = negative ? -magnitude : magnitude;
  if (signed_value > std::numeric_limits<int>::max()) signed_value = std::numeric_limits<int>::max();
  value = static_cast<int>(signed_value);
  position_ = at;
  return true;
}

bool TextScanner::ReadWord(std::string& word) {
  SkipWhiteSpace();
  if (position_ >= text_.size()) return false;
  const std::size_t begin = position_;
  while (position_ < text_.size() && !IsCWhiteSpace(text_[position_])) ++position_;
  word.assign(text_.substr(begin, position_ - begin));
  return true;
}

bool TextScanner::MatchLiteral(std::string_view literal) {
  for (const char c : literal) {
    if (IsCWhiteSpace(c)) {
      SkipWhiteSpace();
    } else if (position_ < text_.size() && text_[position_] == c) {
      ++position_;
    } else {
      return false;
    }
  }
  return true;
}

double CTextToDouble(std::string_view text) {
  const std::string terminated(text);
  return strtod_l(terminated.c_str(), nullptr, CLocale());
}

std::string FormatC(const char* format, ...) {
  ScopedCLocale c_locale;
  va_list arguments;
  va_start(arguments, format);
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string result;
  if (length > 0) {
    result.resize(static_cast<std::size_t>(length));
    std::vsnprintf(result.data(), result.size() + 1, format, arguments);
  }
  va_end(arguments);
  return result;
}

}  // namespace qm::core
