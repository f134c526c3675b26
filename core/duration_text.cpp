#include "core/duration_text.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/amount_text.h"
#include "core/core_messages.h"
#include "core/duration_settings.h"
#include "core/intl_settings.h"
#include "core/text_scanner.h"

namespace qm::core {
namespace {

constexpr std::size_t kDurationTextLimit = 18;
constexpr std::size_t kLongestDurationWord = 10;

std::string DecimalHours(Seconds seconds, const char* format) {
  std::string text = FormatC(format, seconds * kHoursPerSecond);
  ReplaceAll(text, ".", CurrentIntlSettings().decimal_separator);
  return text;
}

// truncate(v x 60 + 0.5), the minutes of a number of hours.
std::int64_t MinutesOfHours(double hours) { return static_cast<std::int64_t>(hours * 60 + 0.5); }
// truncate(v + 0.5).
std::int64_t WholeMinutes(double minutes) { return static_cast<std::int64_t>(minutes + 0.5); }

// A number of a duration text: it must read as a number, and its minutes
// must stay far from the limits of the arithmetic.
bool ReadNumber(std::string_view word, double& value) {
  if (!IsNumberText(word)) return false;
  value = TextToNumber(word);
  return std::isfinite(value);
}

std::vector<std::string_view> SplitAtBlanks(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    const std::size_t begin = at;
    while (at < text.size() && text[at] != ' ' && text[at] != '\t') ++at;
    if (at > begin) words.push_back(text.substr(begin, at - begin));
  }
  return words;
}

char UnitLetter(std::string_view unit) {
  const char c = unit.front();
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

Seconds Failed(int* error) {
  if (error != nullptr) *error = kMsgBadDuration;
  return -1;
}

// Minutes to seconds; durations are 32-bit, so a total beyond that range
// is no duration rather than one that wrapped around.
Seconds FromMinutes(std::int64_t minutes, int* error) {
  const std::int64_t seconds = minutes * 60;
  if (seconds < std::numeric_limits<Seconds>::min() + 1 || seconds > std::numeric_limits<Seconds>::max()) {
    return Failed(error);
  }
  return static_cast<Seconds>(seconds);
}

}  // namespace

std::string FormatDuration(Seconds seconds, int format) {
  if (seconds == -1) seconds = 0;
  const long hours = seconds / 3600;
  const long minutes_of_hour = seconds % 3600 / 60;
  const long minutes = seconds / 60;
  std::string text;
  switch (format) {
    case 0:
      text = DecimalHours(seconds, "%5.2f ") + std::string(CoreText(kTextHours));
      break;
    case 1:
      text = DecimalHours(seconds, "%5.3f ") + std::string(CoreText(kTextHours));
      break;
    case 2:
      text = DecimalHours(seconds, "%5.2f");
      break;
    case 3:
      text = DecimalHours(seconds, "%5.3f");
      break;
    case 5:
      text = FormatC("%ld min", minutes);  // message 1166
      break;
    case 6:
      text = FormatC("%ld", minutes);
      break;
    case 7:
      text = FormatC("%ld:%02ld", hours, minutes_of_hour);
      break;
    default:
      text = FormatC("%ld %s %ld %s", hours, std::string(CoreText(kTextHr)).c_str(), minutes_of_hour,
                     std::string(CoreText(kTextMin)).c_str());
      break;
  }
  if (text.size() > kDurationTextLimit) text.resize(kDurationTextLimit);
  return text;
}

std::string FormatDurationCurrent(Seconds seconds) {
  return FormatDuration(seconds, CurrentDurationSettings().DurationFormat);
}

Seconds ParseDuration(std::string_view text, int* error) {
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view hours_text = TrimBlanksAndTrailingWhiteSpace(text.substr(0, colon));
    const std::string_view minutes_text = TrimBlanksAndTrailingWhiteSpace(text.substr(colon + 1));
    double hours = 0;
    double minutes = 0;
    if (!ReadNumber(hours_text, hours) || !ReadNumber(minutes_text, minutes)) return Failed(error);
    return FromMinutes(MinutesOfHours(hours) + WholeMinutes(minutes), error);
  }

  const std::vector<std::string_view> words = SplitAtBlanks(text);
  if (words.size() > 4) return Failed(error);
  for (const std::string_view word : words) {
    if (word.size() > kLongestDurationWord) return Failed(error);
  }
  double first = 0;
  double second = 0;
  switch (words.size()) {
    case 0:
      return 0;
    case 1:
      if (!ReadNumber(words[0], first)) return Failed(error);
      return FromMinutes(MinutesOfHours(first), error);
    case 2:
      if (!ReadNumber(words[0], first)) return Failed(error);
      if (UnitLetter(words[1]) == 'H') return FromMinutes(MinutesOfHours(first), error);
      if (UnitLetter(words[1]) == 'M') return FromMinutes(WholeMinutes(first), error);
      return Failed(error);
    case 4:
      if (!ReadNumber(words[0], first) || UnitLetter(words[1]) != 'H' ||
          !ReadNumber(words[2], second) || UnitLetter(words[3]) != 'M') {
        return Failed(error);
      }
      return FromMinutes(MinutesOfHours(first) + WholeMinutes(second), error);
    default:
      return Failed(error);
  }
}

}  // namespace qm::core
