#include "core/amount_text.h"

#include <cmath>
#include <cstdint>

#include "core/core_messages.h"
#include "core/intl_settings.h"
#include "core/text_scanner.h"

namespace qm::core {
namespace {

constexpr std::size_t kNumberTextLimit = 255;
constexpr std::size_t kAmountBoxLimit = 50;
constexpr double kLargestNumber = 21474836;

// Splits at "+" and hands each non-empty part to `visit`, which returns
// false to stop.
template <typename Visit>
void ForEachSumPart(std::string_view text, Visit visit) {
  while (true) {
    const std::size_t plus = text.find('+');
    const std::string_view part = text.substr(0, plus);
    if (!part.empty() && !visit(part)) return;
    if (plus == std::string_view::npos) return;
    text.remove_prefix(plus + 1);
  }
}

std::string WithPointDecimal(std::string_view text, bool remove_symbol) {
  const IntlSettings& intl = CurrentIntlSettings();
  std::string copy(text);
  if (remove_symbol) ReplaceAll(copy, intl.currency_symbol, "");
  ReplaceAll(copy, intl.thousands_separator, "");
  ReplaceAll(copy, intl.decimal_separator, ".");
  return copy;
}

}  // namespace

int ReplaceAll(std::string& text, std::string_view find, std::string_view replacement) {
  if (find.empty()) return 0;
  int count = 0;
  std::size_t at = 0;
  while ((at = text.find(find, at)) != std::string::npos) {
    text.replace(at, find.size(), replacement);
    at += replacement.size();
    ++count;
  }
  return count;
}

bool IsNumberText(std::string_view text) {
  const IntlSettings& intl = CurrentIntlSettings();
  std::string copy(text.substr(0, kNumberTextLimit));
  ReplaceAll(copy, intl.currency_symbol, "");
  ReplaceAll(copy, intl.thousands_separator, "");
  std::string number(TrimBlanksAndTrailingWhiteSpace(copy));
  ReplaceAll(number, intl.decimal_separator, ".");
  if (number.empty()) return false;
  const double value = CTextToDouble(number);
  if (!(value >= -kLargestNumber && value <= kLargestNumber)) return false;
  bool seen_point = false;
  for (std::size_t i = 0; i < number.size(); ++i) {
    const char c = number[i];
    if (IsAsciiDigit(c)) continue;
    if (c == '.' && !seen_point) {
      seen_point = true;
      continue;
    }
    if (c == '-' && i == 0) continue;
    return false;
  }
  return true;
}

bool IsNumberSum(std::string_view text) {
  bool all_numbers = true;
  ForEachSumPart(text.substr(0, kAmountBoxLimit), [&](std::string_view part) {
    all_numbers = IsNumberText(part);
    return all_numbers;
  });
  return all_numbers;
}

double TextToNumber(std::string_view text) {
  return CTextToDouble(WithPointDecimal(text.substr(0, kAmountBoxLimit), false));
}

double AmountTextToNumber(std::string_view text) {
  return CTextToDouble(WithPointDecimal(text.substr(0, kAmountBoxLimit), true));
}

int ParseAmountCents(std::string_view text, Cents& cents) {
  if (!IsNumberText(text)) {
    cents = 0;
    return kMsgBadNumber;
  }
  const double x = CTextToDouble(WithPointDecimal(text.substr(0, kNumberTextLimit), true));
  cents = x > 0 ? static_cast<Cents>((x + 0.0001) * 100) : static_cast<Cents>((x - 0.0001) * 100);
  return 0;
}

int ParseAmountSum(std::string_view text, Cents& cents) {
  Cents total = 0;
  int result = 0;
  ForEachSumPart(text, [&](std::string_view part) {
    Cents part_cents = 0;
    result = ParseAmountCents(part, part_cents);
    total += part_cents;
    return result == 0;
  });
  cents = result == 0 ? total : 0;
  return result;
}

std::string FormatAmount(double amount, std::size_t max_length, bool with_symbol) {
  const IntlSettings& intl = CurrentIntlSettings();
  // NaN or infinity (a rate text such as "inf") has no money text; show
  // 0.00 rather than whatever a conversion to integer would make of it.
  if (!std::isfinite(amount) || std::fabs(amount) >= 9.0e15) amount = 0;

  std::string text;
  if (amount < 0) {
    text = "-";
    amount = -amount;
  }
  const int position = intl.currency_position;
  if (with_symbol && (position == 0 || position == 2)) {
    text += intl.currency_symbol;
    if (position == 2) text += ' ';
  }
  std::int64_t whole = static_cast<std::int64_t>(amount);
  std::int64_t cents = static_cast<std::int64_t>((amount - static_cast<double>(whole)) * 100 + 0.5);
  if (cents == 100) {
    cents = 0;
    ++whole;
  }
  const char* thousands = intl.thousands_separator.c_str();
  const char* decimal = intl.decimal_separator.c_str();
  if (whole >= 1000000) {
    text += FormatC("%lld%s%03lld%s%03lld%s%02lld", static_cast<long long>(whole / 1000000),
                    thousands, static_cast<long long>(whole / 1000 % 1000), thousands,
                    static_cast<long long>(whole % 1000), decimal, static_cast<long long>(cents));
  } else if (whole >= 1000) {
    text += FormatC("%lld%s%03lld%s%02lld", static_cast<long long>(whole / 1000), thousands,
                    static_cast<long long>(whole % 1000), decimal, static_cast<long long>(cents));
  } else {
    text += FormatC("%lld%s%02lld", static_cast<long long>(whole), decimal,
                    static_cast<long long>(cents));
  }
  if (with_symbol && position == 3) text += ' ' + intl.currency_symbol;
  if (with_symbol && position == 1) text += intl.currency_symbol;
  if (text.size() > max_length) text.resize(max_length);
  return text;
}

std::string FormatCents(Cents cents) {
  const IntlSettings& intl = CurrentIntlSettings();
  // Both the quotient and the remainder of a negative amount are negative;
  // writing them as they come would give "-2.-50".
  const bool negative = cents < 0;
  const unsigned long long magnitude =
      negative ? 0ULL - static_cast<unsigned long long>(cents) : static_cast<unsigned long long>(cents);
  return FormatC("%s%llu%s%02llu", negative ? "-" : "", magnitude / 100,
                 intl.decimal_separator.c_str(), magnitude % 100);
}

Cents RoundToCents(double x) {
  if (!std::isfinite(x) || std::fabs(x) >= 9.0e16) return 0;
  return x >= 0 ? static_cast<Cents>(x * 100 + 0.5) : static_cast<Cents>(x * 100 - 0.5);
}

std::string ReformatAmountBox(std::string_view box) {
  Cents cents = 0;
  ParseAmountCents(box.substr(0, kAmountBoxLimit), cents);
  return FormatAmount(static_cast<double>(cents) / 100.0, kAmountBoxLimit, false);
}

}  // namespace qm::core
