#include "app/message_format.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace qm::app {
namespace {

constexpr std::string_view kFlags = "-+ #0";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Width or precision digits, capped so that a hostile format cannot ask
// for a huge field.
std::string_view TakeNumber(std::string_view format, std::size_t& pos) {
  std::size_t start = pos;
  while (pos < format.size() && IsDigit(format[pos])) ++pos;
  std::string_view digits = format.substr(start, pos - start);
  if (digits.size() > 3) digits = digits.substr(0, 3);
  return digits;
}

std::string FormatNumber(const std::string& spec, char conversion, long long value) {
  std::string printf_spec = spec + "ll" + conversion;
  char buffer[1100];
  int written;
  if (conversion == 'u' || conversion == 'x' || conversion == 'X' || conversion == 'o') {
    // Windows read "%u" from a 32-bit int.
    written = std::snprintf(buffer, sizeof buffer, printf_spec.c_str(),
                            static_cast<unsigned long long>(static_cast<unsigned int>(value)));
  } else {
    written = std::snprintf(buffer, sizeof buffer, printf_spec.c_str(), value);
  }
  if (written < 0) return {};
  return std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(written),
                                                   sizeof buffer - 1));
}

std::string FormatText(std::string_view flags, std::string_view width,
                       std::string_view precision, bool has_precision,
                       std::string_view text) {
  if (has_precision) {
    std::size_t limit = precision.empty() ? 0 : std::stoul(std::string(precision));
    if (text.size() > limit) text = text.substr(0, limit);
  }
  std::size_t field = width.empty() ? 0 : std::stoul(std::string(width));
  if (text.size() >= field) return std::string(text);
  std::string padding(field - text.size(), ' ');
  if (flags.find('-') != std::string_view::npos) return std::string(text) + padding;
  return padding + std::string(text);
}

}  // namespace

std::string FormatMessageText(std::string_view format,
                              std::initializer_list<MessageArgument> arguments) {
  std::string out;
  auto next_argument = arguments.begin();
  std::size_t pos = 0;
  while (pos < format.size()) {
    char c = format[pos];
    if (c != '%') {
      out += c;
      ++pos;
      continue;
    }
    std::size_t spec_start = pos++;
    if (pos < format.size() && format[pos] == '%') {
      out += '%';
      ++pos;
      continue;
    }
    std::size_t flags_start = pos;
    while (pos < format.size() && kFlags.find(format[pos]) != std::string_view::npos) ++pos;
    std::string_view flags = format.substr(flags_start, pos - flags_start);
    std::string_view width = TakeNumber(format, pos);
    bool has_precision = false;
    std::string_view precision;
    if (pos < format.size() && format[pos] == '.') {
      ++pos;
      has_precision = true;
      precision = TakeNumber(format, pos);
    }
    while (pos < format.size() &&
           (format[pos] == 'l' || format[pos] == 'h' || format[pos] == 'I')) {
      ++pos;
    }
    if (pos >= format.size()) {
      // A lone "%" at the end: shown as written.
      out.append(format.substr(spec_start));
      break;
    }
    char conversion = format[pos++];
    bool numeric = conversion == 'd' || conversion == 'i' || conversion == 'u' ||
                   conversion == 'x' || conversion == 'X' || conversion == 'o';
    if (!numeric && conversion != 's' && conversion != 'c') {
      // Not a conversion this program uses: keep the text as written.
      out.append(format.substr(spec_start, pos - spec_start));
      continue;
    }
    if (next_argument == arguments.end()) continue;
    const MessageArgument& argument = *next_argument++;
    std::string spec = "%" + std::string(flags) + std::string(width);
    if (has_precision) spec += "." + std::string(precision);
    if (const long long* number = std::get_if<long long>(&argument)) {
      if (numeric) {
        out += FormatNumber(spec, conversion, *number);
      } else if (conversion == 'c') {
        out += static_cast<char>(*number);
      } else {
        out += FormatText(flags, width, precision, has_precision, std::to_string(*number));
      }
    } else {
      out += FormatText(flags, width, precision, has_precision,
                        std::get<std::string_view>(argument));
    }
  }
  return out;
}

std::string CutText(std::string_view text, std::size_t max_length) {
  return std::string(text.substr(0, std::min(text.size(), max_length)));
}

}  // namespace qm::app
