// Memorised descriptor sets: the five descriptors of a time record kept
// under one line of "Memorize.txt" in the support directory, shared by
// every time record database of the installation, so that a recurring
// combination is recalled into the stopwatch or a record in one step.
//
// The file, lines ending in a line feed:
//   1.00 Version Corvane Quillmark Memorized Descriptor File
//   Smith  /  Acme  /  Audit  /  <<Not Specified>>  /  Meeting
//   ...
// The header line is message 326, compared exactly (case too); each
// further non-empty line is one set, its five texts (person, client,
// project, subproject, activity) joined by "  /  ". There is no quoting,
// so a descriptor that holds the separator is refused rather than stored
// in a form that would recall differently.
//
// The file is never left half-written: an append that fails is cut back
// to the old length, a rewrite goes to a temporary file renamed into place.
// Every failure is shown through the error reporter and its message number
// returned; the file then stays as it was.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace qm::stopwatch {

inline constexpr std::string_view kMemorizedFileName = "Memorize.txt";
inline constexpr std::string_view kMemorizedSeparator = "  /  ";

// Messages of the memorised descriptor file.
inline constexpr int kMemorizedFileUnopenable = 321;
inline constexpr int kNothingMemorized = 322;
inline constexpr int kMemorizedFileInvalid = 324;
inline constexpr int kMemorizedFileWriteFailed = 325;
inline constexpr int kMemorizedHeader = 326;
inline constexpr int kDescriptorsMemorized = 327;
inline constexpr int kRecallNeedsOpenRecord = 328;
// A descriptor that cannot be stored without changing on recall: nothing
// was done.
inline constexpr int kDescriptorNotMemorizable = 272;

// Each descriptor text holds at most this many characters.
inline constexpr std::size_t kMaxMemorizedDescriptor = 35;
// A set line is read up to this many characters; the rest of a longer
// (hand-edited) line is dropped.
inline constexpr std::size_t kMaxMemorizedLine = 215;
// The header is compared on its first 255 characters.
inline constexpr std::size_t kMaxMemorizedHeaderLine = 255;

// person, client, project, subproject, activity
using DescriptorSet = std::array<std::string, 5>;

class MemorizedDescriptors {
 public:
  // The support directory is created when missing.
  explicit MemorizedDescriptors(std::string support_directory);

  // The file in the support directory; an existing one is found without
  // regard to case ("MEMORIZE.TXT" copied from Windows).
  const std::string& file_name() const { return file_name_; }

  // Appends the set unless an identical line exists; shows 327 on success
  // (also when the line was there already). Each text is cut to 35
  // characters first. 0, or 321, 324, 325 (shown), or 272 (shown, nothing
  // written) when a descriptor text holds the separator or a line break.
  int MemorizeDescriptors(const DescriptorSet& set);

  // The set lines after the header (non-empty ones), in file order.
  // 0, 322 (no file), 324, 321 (shown).
  int LoadMemorizedSets(std::vector<std::string>& lines);

  // Rewrites the file: header, then the lines. 0, 321, 325 (shown).
  int SaveMemorizedSets(const std::vector<std::string>& lines);

  // The five texts of a line, split at the first four separators. A line
  // with fewer separators (edited by hand) leaves the missing texts empty;
  // each text is cut to 35 characters.
  static DescriptorSet SplitMemorizedSet(std::string_view line);

  // The line of `set` as the file holds it (texts cut to 35 characters).
  static std::string JoinMemorizedSet(const DescriptorSet& set);

  // The line memorised last in this run ("" when none): the recall list
  // selects it.
  const std::string& last_memorized() const { return last_memorized_; }

 private:
  // Finds the file again: it may have been created or renamed meanwhile.
  void LocateFile();
  // Reads the file into its lines. 0, 322 when it does not exist (not
  // shown), 321 or 324 (shown).
  int ReadLines(std::vector<std::string>& lines, bool& ends_with_line_feed);
  int Append(std::string_view text);

  std::string support_directory_;
  std::string file_name_;
  std::string last_memorized_;
};

}  // namespace qm::stopwatch
