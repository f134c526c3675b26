#include "cli/text_commands.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "app/messages.h"
#include "core/amount_text.h"
#include "core/calendar.h"
#include "core/core_messages.h"
#include "core/date_text.h"
#include "core/duration_text.h"
#include "core/program_clock.h"
#include "core/text_scanner.h"
#include "platform/paths.h"
#include "platform/regional.h"

namespace qm::cli {
namespace {

using core::TimeStamp;

// The words of TEXT joined again, so that `parse time 4 PM` needs no quotes.
std::string JoinedText(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

// Reads the clock and the regional settings of the home's win.ini (or of
// the POSIX locale), as the program does at start-up.
bool StartClock(CommandContext& context) {
  const std::string home = context.options.home;
  const int result = core::InitClock([&home] {
    if (!home.empty()) {
      if (auto own = platform::FindFileIgnoringCase(platform::JoinPath(home, "win.ini"))) {
        return platform::ReadRegionalSettings(*own);
      }
    }
    return platform::ReadRegionalSettings();
  });
  if (result == 0) return true;
  context.ui.Show({.number = result,
                   .text = std::string(core::CoreText(result)),
                   .caption = "",
                   .icon = platform::MessageIcon::kStop});
  return false;
}

std::string MessageWithText(int number, std::string_view inserted) {
  const std::optional<std::string_view> from_table = app::MessageText(number);
  std::string text(from_table ? *from_table : core::CoreText(number));
  if (const std::size_t at = text.find("%s"); at != std::string::npos) {
    text.replace(at, 2, inserted);
  }
  return text;
}

int Failed(CommandContext& context, int number, std::string_view inserted = {}) {
  context.ui.Show({.number = number,
                   .text = MessageWithText(number, inserted),
                   .caption = "",
                   .icon = platform::MessageIcon::kExclamation});
  return kExitFailed;
}

int Usage(CommandContext& context, std::string_view what) {
  context.err << what << "\n";
  return kExitUsage;
}

std::string JsonString(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      quoted += core::FormatC("\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

// One value of a result: a label and either a text or a number.
struct Item {
  std::string label;
  std::string value;
  bool is_text;
};

Item Text(std::string label, std::string value) { return {std::move(label), std::move(value), true}; }
Item Number(std::string label, long long value) {
  return {std::move(label), std::to_string(value), false};
}

// "label: value" lines, or one JSON object with --json.
int Print(CommandContext& context, const std::vector<Item>& items) {
  if (context.options.json) {
    context.out << "{";
    for (std::size_t i = 0; i < items.size(); ++i) {
      context.out << (i ? ", " : "") << JsonString(items[i].label) << ": "
                  << (items[i].is_text ? JsonString(items[i].value) : items[i].value);
    }
    context.out << "}\n";
  } else {
    for (const Item& item : items) context.out << item.label << ": " << item.value << "\n";
  }
  return kExitOk;
}

std::string IsoDate(TimeStamp stamp) {
  const auto fields = core::BreakDownStamp(stamp);
  return fields ? core::FormatC("%04d-%02d-%02d", fields->year, fields->month, fields->day) : "";
}

std::string IsoTime(TimeStamp stamp) {
  const auto fields = core::BreakDownStamp(stamp);
  return fields ? core::FormatC("%02d:%02d:%02d", fields->hour, fields->minute, fields->second) : "";
}

// Removes `--name` (and its value when `value` is given) from the words.
bool TakeOption(std::vector<std::string>& words, std::string_view name, std::string* value,
                bool& missing_value) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] != name) continue;
    if (value != nullptr) {
      if (i + 1 >= words.size()) {
        missing_value = true;
        return false;
      }
      *value = words[i + 1];
      words.erase(words.begin() + static_cast<std::ptrdiff_t>(i), words.begin() + static_cast<std::ptrdiff_t>(i + 2));
    } else {
      words.erase(words.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return true;
  }
  return false;
}

template <typename Integer>
std::optional<Integer> WholeNumber(std::string_view text) {
  Integer value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// The --format of a duration; 4 (hours and minutes) when absent.
bool DurationFormatOption(std::vector<std::string>& words, int& format) {
  std::string value;
  bool missing = false;
  format = 4;
  if (!TakeOption(words, "--format", &value, missing)) return !missing;
  const auto number = WholeNumber<int>(value);
  if (!number || *number < 0 || *number >= core::kDurationFormatCount) return false;
  format = *number;
  return true;
}

}  // namespace

int RunParseDate(CommandContext& context) {
  if (context.args.empty()) return Usage(context, "parse date needs the TEXT to read");
  if (!StartClock(context)) return kExitFailed;
  const std::string text = JoinedText(context.args);
  const TimeStamp stamp = core::ParseDate(text);
  if (stamp == core::kNoTime) return Failed(context, core::kMsgBadDate);
  return Print(context, {Text("shown", core::FormatDate(stamp)), Text("iso8601", IsoDate(stamp)),
                         Number("stamp", stamp)});
}

int RunParseTime(CommandContext& context) {
  if (context.args.empty()) return Usage(context, "parse time needs the TEXT to read");
  if (!StartClock(context)) return kExitFailed;
  const core::Seconds seconds = core::ParseTimeOfDay(JoinedText(context.args));
  if (seconds == core::kNoTime) return Failed(context, core::kMsgBadTime);
  return Print(context, {Text("shown", core::FormatTime(seconds, false)),
                         Text("iso8601", IsoTime(seconds)), Number("seconds", seconds)});
}

int RunParseDateTime(CommandContext& context) {
  if (context.args.empty()) return Usage(context, "parse datetime needs the TEXT to read");
  if (!StartClock(context)) return kExitFailed;
  const std::string text = JoinedText(context.args);
  const TimeStamp stamp = core::ParseDateTimeText(text);
  if (stamp == core::kNoTime) return Failed(context, core::kMsgImportBadDateTime, text);
  return Print(context, {Text("shown", core::FormatDateTime(stamp, false)),
                         Text("iso8601", IsoDate(stamp) + "T" + IsoTime(stamp)), Number("stamp", stamp)});
}

int RunParseDuration(CommandContext& context) {
  std::vector<std::string> words = context.args;
  int format = 4;
  if (!DurationFormatOption(words, format)) {
    return Usage(context, "--format takes a duration format from 0 to 7");
  }
  if (words.empty()) return Usage(context, "parse duration needs the TEXT to read");
  if (!StartClock(context)) return kExitFailed;
  int error = 0;
  const core::Seconds seconds = core::ParseDuration(JoinedText(words), &error);
  if (seconds == -1) return Failed(context, error);
  return Print(context, {Text("shown", core::FormatDuration(seconds, format)), Number("seconds", seconds)});
}

int RunParseAmount(CommandContext& context) {
  if (context.args.empty()) return Usage(context, "parse amount needs the TEXT to read");
  if (!StartClock(context)) return kExitFailed;
  core::Cents cents = 0;
  if (const int error = core::ParseAmountSum(JoinedText(context.args), cents); error != 0) {
    return Failed(context, error);
  }
  return Print(context, {Text("shown", core::FormatAmount(static_cast<double>(cents) / 100.0, 50, false)),
                         Text("number", core::FormatC("%.15g", static_cast<double>(cents) / 100.0)),
                         Number("cents", cents)});
}

int RunFormatDuration(CommandContext& context) {
  std::vector<std::string> words = context.args;
  int format = 4;
  if (!DurationFormatOption(words, format)) {
    return Usage(context, "--format takes a duration format from 0 to 7");
  }
  const auto seconds = words.size() == 1 ? WholeNumber<core::Seconds>(words[0]) : std::nullopt;
  if (!seconds) return Usage(context, "format duration takes a number of SECONDS (32-bit)");
  if (!StartClock(context)) return kExitFailed;
  context.out << core::FormatDuration(*seconds, format) << "\n";
  return kExitOk;
}

int RunFormatAmount(CommandContext& context) {
  std::vector<std::string> words = context.args;
  bool missing = false;
  const bool with_symbol = TakeOption(words, "--symbol", nullptr, missing);
  std::optional<double> amount;
  if (words.size() == 1 && !words[0].empty()) {
    double value = 0;
    const std::string& text = words[0];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size()) amount = value;
  }
  if (!amount) return Usage(context, "format amount takes a number X such as 1234.5");
  if (!StartClock(context)) return kExitFailed;
  context.out << core::FormatAmount(*amount, 50, with_symbol) << "\n";
  return kExitOk;
}

int RunFormatDate(CommandContext& context) {
  const auto stamp = context.args.size() == 1 ? WholeNumber<TimeStamp>(context.args[0]) : std::nullopt;
  if (!stamp) return Usage(context, "format date takes a STAMP: seconds since 1970 (32-bit)");
  if (!StartClock(context)) return kExitFailed;
  context.out << core::FormatDate(*stamp) << "\n";
  return kExitOk;
}

int RunFormatTime(CommandContext& context) {
  std::vector<std::string> words = context.args;
  bool missing = false;
  const bool with_seconds = TakeOption(words, "--seconds", nullptr, missing);
  const auto stamp = words.size() == 1 ? WholeNumber<TimeStamp>(words[0]) : std::nullopt;
  if (!stamp) return Usage(context, "format time takes a STAMP: seconds since 1970 (32-bit)");
  if (!StartClock(context)) return kExitFailed;
  context.out << core::FormatTime(*stamp, with_seconds) << "\n";
  return kExitOk;
}

void AddTextCommands(std::vector<Command>& commands) {
  const std::string regional =
      "Dates, times and amounts follow section \"intl\" of the home's win.ini (else the\n"
      "locale): iDate, sDate, sTime, iTime, sDecimal, sThousand, sCurrency ...\n";
  commands.push_back({"parse date", "parse date TEXT", "read a date as the program reads it",
                      "TEXT: 3/15/98, 3/15, Mar 15, 98, today, yesterday, last week, fri ...\n"
                      "Prints the date as shown, as ISO 8601 and as a stamp; an unreadable date\n"
                      "gives message 2016 and exit status 1.\n" + regional,
                      RunParseDate});
  commands.push_back({"parse time", "parse time TEXT", "read a time of day as the program reads it",
                      "TEXT: 14:33, 12:20 PM, 4 PM, Now ...\n"
                      "Prints the time as shown, as ISO 8601 and as seconds since midnight; an\n"
                      "unreadable time gives message 2015 and exit status 1.\n" + regional,
                      RunParseTime});
  commands.push_back({"parse datetime", "parse datetime TEXT",
                      "read a date and a time as text import reads them",
                      "TEXT: a date, white space, a time (3/15/98 2:30 PM). An unreadable text\n"
                      "gives message 245 and exit status 1.\n" + regional,
                      RunParseDateTime});
  commands.push_back({"parse duration", "parse duration TEXT [--format N]",
                      "read a duration as the program reads it",
                      "TEXT: 5 min, 1.2 h, 1 hour 3 m, 1:30, 1.5 (hours) ...\n"
                      "Prints the duration in format N (default 4) and in seconds; an unreadable\n"
                      "duration gives message 212 and exit status 1.\n" + regional,
                      RunParseDuration});
  commands.push_back({"parse amount", "parse amount TEXT", "read an amount as the program reads it",
                      "TEXT: 1,234.50, $12, 12.50+3 ...\n"
                      "Prints the amount as shown, as a number and in cents; an unreadable amount\n"
                      "gives message 168 and exit status 1.\n" + regional,
                      RunParseAmount});
  commands.push_back({"format duration", "format duration SECONDS [--format N]",
                      "show a duration in a duration format",
                      "N: 0 \" 3.22 Hours\", 1 \"3.217 Hours\", 2 \" 3.22\", 3 \"3.217\",\n"
                      "4 \"3 hr 13 min\" (default), 5 \"193 min\", 6 \"193\", 7 \"3:13\".\n" + regional,
                      RunFormatDuration});
  commands.push_back({"format amount", "format amount X [--symbol]", "show an amount as money text",
                      "X is a plain number (1234.5). --symbol adds the currency symbol where\n"
                      "iCurrency puts it.\n" + regional,
                      RunFormatAmount});
  commands.push_back({"format date", "format date STAMP", "show the date of a stamp",
                      "STAMP: local wall-clock seconds since 1970-01-01 00:00.\n" + regional,
                      RunFormatDate});
  commands.push_back({"format time", "format time STAMP [--seconds]", "show the time of a stamp",
                      "STAMP: local wall-clock seconds since 1970-01-01 00:00.\n" + regional,
                      RunFormatTime});
}

}  // namespace qm::cli
