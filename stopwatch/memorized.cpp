#include "stopwatch/memorized.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "app/error_reporter.h"
#include "app/message_format.h"
#include "app/messages.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace qm::stopwatch {
namespace {

std::string_view HeaderLine() { return app::MessageText(kMemorizedHeader).value_or(""); }

// Closes the descriptor it owns.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool HoldsLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Why `set` cannot be stored so that it recalls as it is, or nullopt when
// it can. Besides a separator inside one text, two neighbours can form one
// across their border ("a  /" next to "  b"); splitting the joined line
// again catches every such case.
std::optional<std::string> WhyNotMemorizable(const DescriptorSet& set,
                                             const std::string& file_name) {
  DescriptorSet cut;
  for (std::size_t i = 0; i < set.size(); ++i) {
    cut[i] = app::CutText(set[i], kMaxMemorizedDescriptor);
    if (HoldsLineBreak(cut[i])) {
      return "The descriptor " + Quoted(cut[i]) + " contains a line break, which the file " +
             file_name + " cannot hold.  Nothing was memorized.";
    }
  }
  const std::string separator_named =
      Quoted(kMemorizedSeparator) + " (two blanks, a slash and two blanks), which separates the "
      "descriptors in the file " + file_name;
  for (const std::string& text : cut) {
    if (text.find(kMemorizedSeparator) != std::string::npos) {
      return "The descriptor " + Quoted(text) + " contains " + separator_named +
             ".  It could not be recalled as it is, so nothing was memorized.";
    }
  }
  const DescriptorSet recalled =
      MemorizedDescriptors::SplitMemorizedSet(MemorizedDescriptors::JoinMemorizedSet(cut));
  for (std::size_t i = 0; i + 1 < cut.size(); ++i) {
    if (recalled[i] != cut[i]) {
      return "The descriptors " + Quoted(cut[i]) + " and " + Quoted(cut[i + 1]) +
             " run together into " + separator_named +
             ".  They could not be recalled as they are, so nothing was memorized.";
    }
  }
  return std::nullopt;
}

}  // namespace

MemorizedDescriptors::MemorizedDescriptors(std::string support_directory)
    : support_directory_(std::move(support_directory)) {
  // A directory that cannot be made shows itself at the first use of the
  // file (321), where the person can act on it.
  [[maybe_unused]] const platform::Status made = platform::EnsureDirectory(support_directory_);
  LocateFile();
}

void MemorizedDescriptors::LocateFile() {
  const std::string wanted = platform::JoinPath(support_directory_, kMemorizedFileName);
  file_name_ = platform::FindFileIgnoringCase(wanted).value_or(wanted);
}

std::string MemorizedDescriptors::JoinMemorizedSet(const DescriptorSet& set) {
  std::string line;
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (i > 0) line += kMemorizedSeparator;
    line += app::CutText(set[i], kMaxMemorizedDescriptor);
  }
  return line;
}

DescriptorSet MemorizedDescriptors::SplitMemorizedSet(std::string_view line) {
  DescriptorSet set;
  for (std::size_t i = 0; i < set.size(); ++i) {
    const std::size_t separator =
        i + 1 < set.size() ? line.find(kMemorizedSeparator) : std::string_view::npos;
    set[i] = app::CutText(line.substr(0, separator), kMaxMemorizedDescriptor);
    if (separator == std::string_view::npos) break;  // the texts left stay empty
    line.remove_prefix(separator + kMemorizedSeparator.size());
  }
  return set;
}

int MemorizedDescriptors::ReadLines(std::vector<std::string>& lines, bool& ends_with_line_feed) {
  lines.clear();
  ends_with_line_feed = false;
  std::string contents;
  bool exists = false;
  if (!platform::ReadWholeFile(file_name_, contents, exists)) {
    app::Reporter().ShowMessageWithText(kMemorizedFileUnopenable, file_name_);
    return kMemorizedFileUnopenable;
  }
  if (!exists) return kNothingMemorized;
  ends_with_line_feed = !contents.empty() && contents.back() == '\n';

  std::string_view rest = contents;
  bool header = true;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    // A file copied from Windows ends its lines with CR LF.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (header) {
      if (line.substr(0, kMaxMemorizedHeaderLine) != HeaderLine()) break;
      header = false;
      continue;
    }
    lines.emplace_back(line.substr(0, kMaxMemorizedLine));
  }
  if (header) {
    lines.clear();
    app::Reporter().ShowMessageWithText(kMemorizedFileInvalid, file_name_);
    return kMemorizedFileInvalid;
  }
  return 0;
}

int MemorizedDescriptors::Append(std::string_view text) {
  OpenFile file(::open(file_name_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (!file.valid()) {
    app::Reporter().ShowMessageWithText(kMemorizedFileUnopenable, file_name_);
    return kMemorizedFileUnopenable;
  }
  // Another run appending at the same moment must not be cut back by our
  // failure, nor interleave with our line.
  ::flock(file.get(), LOCK_EX);
  struct stat before{};
  if (::fstat(file.get(), &before) != 0) {
    app::Reporter().ShowMessageWithText(kMemorizedFileUnopenable, file_name_);
    return kMemorizedFileUnopenable;
  }
  if (!WriteAll(file.get(), text) || ::fsync(file.get()) != 0) {
    // Whatever part of the line got out is taken back.
    [[maybe_unused]] const int cut = ::ftruncate(file.get(), before.st_size);
    app::Reporter().ShowMessageWithText(kMemorizedFileWriteFailed, file_name_);
    return kMemorizedFileWriteFailed;
  }
  return 0;
}

int MemorizedDescriptors::MemorizeDescriptors(const DescriptorSet& set) {
  LocateFile();
  if (std::optional<std::string> refusal = WhyNotMemorizable(set, file_name_)) {
    app::Reporter().ShowError(*refusal);
    return kDescriptorNotMemorizable;
  }
  const std::string line = JoinMemorizedSet(set);

  std::vector<std::string> lines;
  bool ends_with_line_feed = false;
  const int read = ReadLines(lines, ends_with_line_feed);
  if (read == kNothingMemorized) {
    const std::string contents = std::string(HeaderLine()) + "\n" + line + "\n";
    if (!platform::EnsureDirectory(support_directory_) ||
        !platform::WriteFileAtomically(file_name_, contents)) {
      app::Reporter().ShowMessageWithText(kMemorizedFileUnopenable, file_name_);
      return kMemorizedFileUnopenable;
    }
  } else if (read != 0) {
    return read;
  } else if (std::find(lines.begin(), lines.end(), line) == lines.end()) {
    // A last line without its line feed (edited by hand) gets one, so that
    // the new set stays a line of its own.
    const std::string text = (ends_with_line_feed ? "" : "\n") + line + "\n";
    if (const int appended = Append(text); appended != 0) return appended;
  }
  last_memorized_ = line;
  app::Reporter().ShowMessage(kDescriptorsMemorized);
  return 0;
}

int MemorizedDescriptors::LoadMemorizedSets(std::vector<std::string>& lines) {
  LocateFile();
  std::vector<std::string> all;
  bool ends_with_line_feed = false;
  const int read = ReadLines(all, ends_with_line_feed);
  lines.clear();
  if (read == kNothingMemorized) {
    app::Reporter().ShowMessage(kNothingMemorized);
    return kNothingMemorized;
  }
  if (read != 0) return read;
  for (std::string& line : all) {
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return 0;
}

int MemorizedDescriptors::SaveMemorizedSets(const std::vector<std::string>& lines) {
  LocateFile();
  std::string contents = std::string(HeaderLine()) + "\n";
  for (const std::string& line : lines) {
    // Lines come from the file; one with a line break would become two sets.
    if (HoldsLineBreak(line)) return app::Reporter().ReportInternalError(__FILE__, __LINE__);
    contents += line;
    contents += '\n';
  }
  if (!platform::EnsureDirectory(support_directory_)) {
    app::Reporter().ShowMessageWithText(kMemorizedFileUnopenable, file_name_);
    return kMemorizedFileUnopenable;
  }
  if (!platform::WriteFileAtomically(file_name_, contents)) {
    app::Reporter().ShowMessageWithText(kMemorizedFileWriteFailed, file_name_);
    return kMemorizedFileWriteFailed;
  }
  return 0;
}

}  // namespace qm::stopwatch
