#include "platform/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/text_case.h"

namespace qm::platform {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// One line of a profile file, as offsets into the file's text.
struct ProfileLine {
  enum class Kind { kBlank, kComment, kSection, kKey, kOther };

  std::size_t begin = 0;        // first byte of the line
  std::size_t end = 0;          // one past the last byte before the line ending
  std::size_t next = 0;         // first byte of the following line
  Kind kind = Kind::kOther;
  std::string_view name;        // section or key name, trimmed
  std::size_t value_begin = 0;  // kKey: where the value starts (blanks after "=" skipped)

  bool has_ending() const { return next > end; }
};

// A profile file held in memory: its bytes and where each line lies. Edits
// splice the bytes, so every line they do not touch stays as it was.
class ProfileText {
 public:
  explicit ProfileText(std::string text) : text_(std::move(text)) { Parse(); }

  const std::string& text() const { return text_; }
  const std::vector<ProfileLine>& lines() const { return lines_; }

  // Index of the header of the first section named `section`.
  std::optional<std::size_t> FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i].kind == ProfileLine::Kind::kSection &&
          EqualsIgnoringCase(lines_[i].name, section)) {
        return i;
      }
    }
    return std::nullopt;
  }

  // One past the last line of the section whose header is at `header`.
  std::size_t SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != ProfileLine::Kind::kSection) ++i;
    return i;
  }

  std::optional<std::size_t> FindKey(std::size_t header, std::string_view key) const {
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
      if (lines_[i].kind == ProfileLine::Kind::kKey && EqualsIgnoringCase(lines_[i].name, key)) {
        return i;
      }
    }
    return std::nullopt;
  }

  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const {
    const auto header = FindSection(section);
    if (!header) return std::nullopt;
    const auto line = FindKey(*header, key);
    if (!line) return std::nullopt;
    const ProfileLine& l = lines_[*line];
    return Unquote(Trim(std::string_view(text_).substr(l.value_begin, l.end - l.value_begin)));
  }

  // The line ending the file already uses, so that added lines match it.
  std::string_view LineEnding() const {
    for (const ProfileLine& line : lines_) {
      if (line.has_ending()) return std::string_view(text_).substr(line.end, line.next - line.end);
    }
    return "\n";
  }

 private:
  void Parse() {
    std::size_t pos = text_.starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
    while (pos < text_.size()) {
      ProfileLine line;
      line.begin = pos;
      const std::size_t newline = text_.find('\n', pos);
      if (newline == std::string::npos) {
        line.end = line.next = text_.size();
      } else {
        line.next = newline + 1;
        line.end = newline > pos && text_[newline - 1] == '\r' ? newline - 1 : newline;
      }
      Classify(line);
      lines_.push_back(line);
      pos = line.next;
    }
  }

  void Classify(ProfileLine& line) const {
    const std::string_view raw = std::string_view(text_).substr(line.begin, line.end - line.begin);
    const std::string_view body = Trim(raw);
    if (body.empty()) {
      line.kind = ProfileLine::Kind::kBlank;
    } else if (body.front() == ';') {
      line.kind = ProfileLine::Kind::kComment;
    } else if (body.front() == '[') {
      line.kind = ProfileLine::Kind::kSection;
      const std::size_t close = body.rfind(']');
      line.name = Trim(body.substr(1, close == std::string_view::npos || close == 0
                                          ? std::string_view::npos
                                          : close - 1));
    } else if (const std::size_t equals = raw.find('='); equals != std::string_view::npos) {
      line.name = Trim(raw.substr(0, equals));
      line.kind = line.name.empty() ? ProfileLine::Kind::kOther : ProfileLine::Kind::kKey;
      std::size_t value = line.begin + equals + 1;
      while (value < line.end && (text_[value] == ' ' || text_[value] == '\t')) ++value;
      line.value_begin = value;
    }
  }

  std::string text_;
  std::vector<ProfileLine> lines_;
};

// Serialises read-modify-write cycles of profile files in one folder across
// processes, so that two programs saving settings at once do not lose each
// other's changes. Best effort: where the file system has no such locks the
// writes still happen, each of them atomic.
class FolderWriteLock {
 public:
  explicit FolderWriteLock(const std::string& file_path) {
    const std::size_t slash = file_path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : file_path.substr(0, slash));
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~FolderWriteLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderWriteLock(const FolderWriteLock&) = delete;
  FolderWriteLock& operator=(const FolderWriteLock&) = delete;

 private:
  int fd_ = -1;
};

// Bytes that no text file holds: NUL and the C0 controls other than tab,
// line and page breaks and the old end-of-file mark (0x1A).
bool IsBinaryJunk(unsigned char byte) {
  if (byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\v' ||
      byte == '\f' || byte == 0x1A) {
    return false;
  }
  return true;
}

Status CheckText(const std::string& path, std::string_view contents) {
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const auto byte = static_cast<unsigned char>(contents[i]);
    if (IsBinaryJunk(byte)) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", byte);
      return Status::Error("the file " + path + " is not a text file (byte " + code +
                           " at position " + std::to_string(i + 1) + ")");
    }
  }
  return Status::Ok();
}

// The text of the file for reading; a missing or unreadable file reads as
// empty, as the profile functions have always done.
ProfileText LoadForReading(const std::string& path) {
  std::string contents;
  bool exists = false;
  if (!ReadWholeFile(path, contents, exists)) contents.clear();
  return ProfileText(std::move(contents));
}

// The text of the file for rewriting: refused when it cannot be read or is
// not text, so that a damaged file is reported rather than replaced.
Status LoadForWriting(const std::string& path, std::optional<ProfileText>& text, bool& exists) {
  std::string contents;
  if (Status status = ReadWholeFile(path, contents, exists); !status) return status;
  if (Status status = CheckText(path, contents); !status) return status;
  text.emplace(std::move(contents));
  return Status::Ok();
}

bool HasByte(std::string_view text, std::string_view bytes) {
  return text.find_first_of(bytes) != std::string_view::npos;
}

// Names and values that would change the file's structure (a line break in
// a value would add a line; "]" would end a section name early) are
// refused instead of being written half-right.
Status CheckSectionName(std::string_view section) {
  if (Trim(section).empty()) return Status::Error("a profile section needs a name");
  if (HasByte(section, std::string_view("\r\n]\0", 4))) {
    return Status::Error("the section name \"" + std::string(section) +
                         "\" holds a line break or \"]\"");
  }
  return Status::Ok();
}

Status CheckKeyName(std::string_view key) {
  const std::string_view name = Trim(key);
  if (name.empty()) return Status::Error("a profile key needs a name");
  if (HasByte(name, std::string_view("\r\n=\0", 4)) || name.front() == '[' ||
      name.front() == ';') {
    return Status::Error("the key name \"" + std::string(key) +
                         "\" holds a line break or \"=\", or starts with \"[\" or \";\"");
  }
  return Status::Ok();
}

Status CheckValue(std::string_view value) {
  if (HasByte(value, std::string_view("\r\n\0", 3))) {
    return Status::Error("a profile value cannot hold a line break or a NUL byte");
  }
  return Status::Ok();
}

Status Rewrite(const std::string& path, const std::string& old_text, const std::string& new_text) {
  if (new_text == old_text) return Status::Ok();
  return WriteFileAtomically(path, new_text);
}

}  // namespace

std::string GetProfileString(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view default_value) {
  const ProfileText text = LoadForReading(path);
  const auto value = text.Value(Trim(section), Trim(key));
  return std::string(value ? *value : default_value);
}

int GetProfileInt(const std::string& path, std::string_view section, std::string_view key,
                  int default_value) {
  const ProfileText text = LoadForReading(path);
  const auto value = text.Value(Trim(section), Trim(key));
  if (!value || value->empty()) return default_value;
  std::string_view digits = *value;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  // Leading digits only ("12abc" is 12); too many digits stop at the limit
  // of an int instead of wrapping round to a different number.
  long long number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') break;
    number = number * 10 + (c - '0');
    if (number > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) number = -number;
  if (number > INT_MAX) return INT_MAX;
  if (number < INT_MIN) return INT_MIN;
  return static_cast<int>(number);
}

Status WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view value) {
  if (Status s = CheckSectionName(section); !s) return s;
  if (Status s = CheckKeyName(key); !s) return s;
  if (Status s = CheckValue(value); !s) return s;
  section = Trim(section);
  key = Trim(key);

  FolderWriteLock lock(path);
  std::optional<ProfileText> loaded;
  bool exists = false;
  if (Status s = LoadForWriting(path, loaded, exists); !s) return s;
  const ProfileText& text = *loaded;
  const std::string& old_text = text.text();
  const std::string ending(text.LineEnding());
  std::string new_text;

  const auto header = text.FindSection(section);
  if (!header) {
    // A new section goes at the end, after a blank line when the file has
    // text (and after a line ending when its last line lacks one).
    new_text = old_text;
    if (!text.lines().empty()) {
      const ProfileLine& last = text.lines().back();
      if (!last.has_ending()) new_text += ending;
      if (last.kind != ProfileLine::Kind::kBlank) new_text += ending;
    }
    new_text.append("[").append(section).append("]").append(ending);
    new_text.append(key).append("=").append(value).append(ending);
    return Rewrite(path, old_text, new_text);
  }

  if (const auto found = text.FindKey(*header, key)) {
    // The key keeps its spelling and the spacing around "="; only the value
    // changes.
    const ProfileLine& line = text.lines()[*found];
    new_text.reserve(old_text.size() + value.size());
    new_text.append(old_text, 0, line.value_begin);
    new_text.append(value);
    new_text.append(old_text, line.end, std::string::npos);
    return Rewrite(path, old_text, new_text);
  }

  // A new key goes after the last key of its section (or right after the
  // header), so comments and blank lines before the next section stay there.
  std::size_t after = *header;
  const std::size_t end = text.SectionEnd(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    if (text.lines()[i].kind == ProfileLine::Kind::kKey) after = i;
  }
  const ProfileLine& anchor = text.lines()[after];
  new_text.append(old_text, 0, anchor.next);
  if (!anchor.has_ending()) new_text += ending;
  new_text.append(key).append("=").append(value).append(ending);
  new_text.append(old_text, anchor.next, std::string::npos);
  return Rewrite(path, old_text, new_text);
}

Status WriteProfileInt(const std::string& path, std::string_view section, std::string_view key,
                       int value) {
  return WriteProfileString(path, section, key, std::to_string(value));
}

Status DeleteProfileKey(const std::string& path, std::string_view section, std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  FolderWriteLock lock(path);
  std::optional<ProfileText> loaded;
  bool exists = false;
  if (Status s = LoadForWriting(path, loaded, exists); !s) return s;
  if (!exists) return Status::Ok();
  const ProfileText& text = *loaded;
  const auto header = text.FindSection(section);
  if (!header) return Status::Ok();

  // Every line of the key in that section goes, so that a second spelling
  // further down cannot come back to life.
  std::string new_text;
  std::size_t copied = 0;
  const std::size_t end = text.SectionEnd(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    const ProfileLine& line = text.lines()[i];
    if (line.kind == ProfileLine::Kind::kKey && EqualsIgnoringCase(line.name, key)) {
      new_text.append(text.text(), copied, line.begin - copied);
      copied = line.next;
    }
  }
  new_text.append(text.text(), copied, std::string::npos);
  return Rewrite(path, text.text(), new_text);
}

Status DeleteProfileSection(const std::string& path, std::string_view section) {
  section = Trim(section);
  FolderWriteLock lock(path);
  std::optional<ProfileText> loaded;
  bool exists = false;
  if (Status s = LoadForWriting(path, loaded, exists); !s) return s;
  if (!exists) return Status::Ok();
  const ProfileText& text = *loaded;

  std::string new_text;
  std::size_t copied = 0;
  const auto& lines = text.lines();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != ProfileLine::Kind::kSection || !EqualsIgnoringCase(lines[i].name, section)) {
      continue;
    }
    const std::size_t end = text.SectionEnd(i);
    const std::size_t stop = end < lines.size() ? lines[end].begin : text.text().size();
    new_text.append(text.text(), copied, lines[i].begin - copied);
    copied = stop;
    i = end - 1;
  }
  new_text.append(text.text(), copied, std::string::npos);
  return Rewrite(path, text.text(), new_text);
}

std::vector<std::string> ProfileSections(const std::string& path) {
  const ProfileText text = LoadForReading(path);
  std::vector<std::string> names;
  for (const ProfileLine& line : text.lines()) {
    if (line.kind != ProfileLine::Kind::kSection || line.name.empty()) continue;
    bool seen = false;
    for (const std::string& name : names) seen = seen || EqualsIgnoringCase(name, line.name);
    if (!seen) names.emplace_back(line.name);
  }
  return names;
}

std::vector<std::string> ProfileKeys(const std::string& path, std::string_view section) {
  const ProfileText text = LoadForReading(path);
  std::vector<std::string> names;
  const auto header = text.FindSection(Trim(section));
  if (!header) return names;
  const std::size_t end = text.SectionEnd(*header);
  for (std::size_t i = *header + 1; i < end; ++i) {
    const ProfileLine& line = text.lines()[i];
    if (line.kind != ProfileLine::Kind::kKey) continue;
    bool seen = false;
    for (const std::string& name : names) seen = seen || EqualsIgnoringCase(name, line.name);
    if (!seen) names.emplace_back(line.name);
  }
  return names;
}

Status CheckProfileFile(const std::string& path) {
  std::string contents;
  bool exists = false;
  if (Status status = ReadWholeFile(path, contents, exists); !status) return status;
  return CheckText(path, contents);
}

}  // namespace qm::platform
