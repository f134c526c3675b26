#include "run/command_line.h"

#include <filesystem>
#include <optional>

#include "app/message_format.h"
#include "app/messages.h"
#include "platform/paths.h"

namespace qm::run {
namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsQuote(char c) { return c == '"' || c == '\''; }

constexpr std::string_view kLongIniOption = "--ini=";

// The length of the option's name and equals sign when `word` starts with
// one ("/i=" gives 3, "--ini=" 6); 0 when it is no option.
std::size_t OptionPrefixLength(std::string_view word) {
  const auto is_letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (word.size() >= 3 && word[0] == '/' && is_letter(word[1]) && word[2] == '=') {
    return 3;
  }
  if (word.starts_with(kLongIniOption)) return kLongIniOption.size();
  return 0;
}

// One piece of the command line.
struct Segment {
  enum class Kind { kQuoted, kOption, kText };
  Kind kind = Kind::kText;
  // kQuoted: the text between the quotes; kOption: the value after "=",
  // unquoted; kText: the text with trailing blanks removed.
  std::string text;
  char quote = 0;       // kQuoted: the quote that opened it
  char option = 0;      // kOption: the letter, or '-' for "--ini="
  bool paired = true;   // false when a quote found no partner
};

// The command line cut into quoted texts, options and plain texts. A quote
// or an option counts only where a word begins; a plain text runs up to
// the next one of them, blanks inside it included, as Windows names did.
std::vector<Segment> Split(std::string_view line) {
  std::vector<Segment> segments;
  std::size_t i = 0;
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    Segment segment;
    if (IsQuote(line[i])) {
      segment.kind = Segment::Kind::kQuoted;
      segment.quote = line[i];
      const std::size_t close = line.find(segment.quote, i + 1);
      segment.paired = close != std::string_view::npos;
      const std::size_t end = segment.paired ? close : line.size();
      segment.text = std::string(line.substr(i + 1, end - i - 1));
      i = segment.paired ? close + 1 : line.size();
    } else if (const std::size_t prefix = OptionPrefixLength(line.substr(i)); prefix != 0) {
      segment.kind = Segment::Kind::kOption;
      segment.option = prefix == 3 ? line[i + 1] : '-';
      const std::size_t value = i + prefix;
      std::size_t end = value;
      if (value < line.size() && line[value] == '"') {
        const std::size_t close = line.find('"', value + 1);
        segment.paired = close != std::string_view::npos;
        const std::size_t value_end = segment.paired ? close : line.size();
        segment.text = std::string(line.substr(value + 1, value_end - value - 1));
        end = segment.paired ? close + 1 : line.size();
      } else {
        while (end < line.size() && !IsBlank(line[end])) ++end;
        segment.text = std::string(line.substr(value, end - value));
      }
      // Whatever clings to a closing quote still belongs to the option.
      while (end < line.size() && !IsBlank(line[end])) ++end;
      i = end;
    } else {
      std::size_t end = i + 1;
      while (end < line.size()) {
        if (IsBlank(line[end - 1]) &&
            (IsQuote(line[end]) || OptionPrefixLength(line.substr(end)) != 0)) {
          break;
        }
        ++end;
      }
      std::string_view text = line.substr(i, end - i);
      while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
      segment.text = std::string(text);
      i = end;
    }
    segments.push_back(std::move(segment));
  }
  return segments;
}

std::string Filled(int number, std::string_view text) {
  return app::FormatMessageText(app::MessageText(number).value_or(""), {text});
}

void AddMessage(ParsedCommandLine& parsed, int number, std::string_view text) {
  parsed.messages.push_back({number, Filled(number, text)});
}

std::string FullPath(const std::string& name, const std::string& current_directory) {
  fs::path path(name);
  if (path.is_relative()) path = fs::path(current_directory) / path;
  return path.lexically_normal().string();
}

// Windows names without an extension are time record files: "TIME" is
// "TIME.DBF". A leading dot names a hidden file, not an extension.
std::string WithDatabaseExtension(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = name.find('.', start + 1);
  if (start < name.size() && dot != std::string::npos) return name;
  return name + ".DBF";
}

// The quoted text that names the person: the first one when the line
// starts with it, else the first in double quotes, else the first in
// single quotes.
const Segment* PersonSegment(const std::vector<Segment>& segments) {
  if (segments.empty()) return nullptr;
  if (segments.front().kind == Segment::Kind::kQuoted) return &segments.front();
  for (const char quote : {'"', '\''}) {
    for (const Segment& segment : segments) {
      if (segment.kind == Segment::Kind::kQuoted && segment.quote == quote) return &segment;
    }
  }
  return nullptr;
}

const Segment* IniSegment(const std::vector<Segment>& segments) {
  for (const char option : {'i', 'I', '-'}) {
    for (const Segment& segment : segments) {
      if (segment.kind == Segment::Kind::kOption && segment.option == option) return &segment;
    }
  }
  return nullptr;
}

bool HoldsPathCharacters(std::string_view name) {
  return name.find_first_of("\\:/") != std::string_view::npos;
}

}  // namespace

ParsedCommandLine ParseCommandLine(std::string_view command_line,
                                   const std::string& current_directory) {
  ParsedCommandLine parsed;
  const std::vector<Segment> segments = Split(command_line);
  bool unpaired_shown = false;
  auto show_unpaired = [&] {
    if (unpaired_shown) return;
    unpaired_shown = true;
    AddMessage(parsed, kUnpairedQuote, command_line);
  };

  if (const Segment* person = PersonSegment(segments)) {
    if (!person->paired) {
      show_unpaired();
    } else if (HoldsPathCharacters(person->text)) {
      AddMessage(parsed, kIllegalUserName, command_line);
    } else {
      parsed.user_name = app::CutText(person->text, kMaxCommandLineUserName);
    }
  }

  if (const Segment* ini = IniSegment(segments)) {
    if (!ini->paired) {
      show_unpaired();
    } else if (ini->text.empty()) {
      AddMessage(parsed, kEmptyIniName, command_line);
    } else {
      parsed.ini_path = FullPath(ini->text, current_directory);
    }
  }

  for (const Segment& segment : segments) {
    if (segment.kind == Segment::Kind::kQuoted) {
      if (!segment.paired) show_unpaired();
      continue;
    }
    if (segment.kind == Segment::Kind::kOption) continue;
    const std::string path = FullPath(WithDatabaseExtension(segment.text), current_directory);
    std::optional<std::string> found;
    if (path.size() <= kMaxDatabasePath) found = platform::FindFileIgnoringCase(path);
    if (found) {
      parsed.database = *found;
    } else {
      AddMessage(parsed, kCommandLineDatabaseMissing, path);
    }
    break;
  }
  return parsed;
}

std::string JoinCommandLineArguments(const std::vector<std::string>& arguments) {
  auto has_blank = [](std::string_view word) {
    return word.find_first_of(" \t") != std::string_view::npos;
  };
  auto quoted = [](std::string_view word) {
    const char quote = word.find('"') == std::string_view::npos ? '"' : '\'';
    return quote + std::string(word) + quote;
  };

  std::size_t plain_words = 0;
  for (const std::string& word : arguments) {
    if (!word.empty() && OptionPrefixLength(word) == 0 && !IsQuote(word.front())) ++plain_words;
  }

  std::string line;
  std::size_t plain_seen = 0;
  for (const std::string& word : arguments) {
    if (word.empty()) continue;
    std::string piece;
    if (const std::size_t prefix = OptionPrefixLength(word); prefix != 0) {
      const std::string_view value = std::string_view(word).substr(prefix);
      piece = has_blank(value) && !value.starts_with('"')
                  ? word.substr(0, prefix) + '"' + std::string(value) + '"'
                  : word;
    } else if (IsQuote(word.front())) {
      piece = word;
    } else {
      const bool person = plain_words == 1
                              ? has_blank(word) && word.find('/') == std::string::npos
                              : plain_seen == 1;
      piece = person ? quoted(word) : word;
      ++plain_seen;
    }
    if (!line.empty()) line += ' ';
    line += piece;
  }
  return line;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                                   const std::string& current_directory) {
  return ParseCommandLine(JoinCommandLineArguments(arguments), current_directory);
}

RunOptions RunOptionsFrom(const ParsedCommandLine& parsed, RunOptions defaults) {
  if (!parsed.user_name.empty()) defaults.user = parsed.user_name;
  if (!parsed.ini_path.empty()) defaults.ini = parsed.ini_path;
  if (!parsed.database.empty()) defaults.database = parsed.database;
  return defaults;
}

}  // namespace qm::run
