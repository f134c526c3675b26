#include "tests/oracles/oracle_tools.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qm::test::oracles {
namespace {

constexpr std::chrono::seconds kToolTimeLimit{120};

std::string Configured(const char* variable, const char* built_in) {
  const char* value = std::getenv(variable);
  std::string path = value != nullptr && *value != '\0' ? value : built_in;
  if (path.empty() || access(path.c_str(), X_OK) != 0) return {};
  return path;
}

// A scratch file that the child writes one of its outputs to; reading
// files afterwards cannot deadlock the way two pipes can.
class CaptureFile {
 public:
  CaptureFile() {
    path_ = std::filesystem::temp_directory_path().string() + "/qm-oracle-XXXXXX";
    const int fd = mkstemp(path_.data());
    if (fd < 0) throw std::runtime_error("mkstemp: " + std::string(std::strerror(errno)));
    close(fd);
  }
  ~CaptureFile() { unlink(path_.c_str()); }
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  const std::string& path() const { return path_; }
  std::string Contents() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

long ToLong(const std::string& text, const std::string& line) {
  std::size_t used = 0;
  long value = 0;
  try {
    value = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) throw std::invalid_argument("not a number in: " + line);
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Checked(const ToolRun& run, const std::string& what) {
  if (run.exit_code != 0) {
    throw std::runtime_error(what + " failed (exit " + std::to_string(run.exit_code) +
                             "): " + run.err);
  }
  return run.out;
}

std::string Require(const std::string& tool, const std::string& missing) {
  if (tool.empty()) throw std::runtime_error(missing);
  return tool;
}

}  // namespace

std::string TdbfTool() { return Configured("QM_TDBF_TOOL", QM_TDBF_TOOL_DEFAULT); }
std::string XbaseTool() { return Configured("QM_XBASE_TOOL", QM_XBASE_TOOL_DEFAULT); }

std::string TdbfToolMissing() {
  return "tdbf_tool is not built: this build found no Free Pascal compiler with the TDbf "
         "unit (packages fpc, fp-units-db)";
}

std::string XbaseToolMissing() {
  return "xbase_tool is not available: this build found no perl with the XBase module "
         "(package libdbd-xbase-perl)";
}

ToolRun RunTool(const std::string& tool, const std::vector<std::string>& args) {
  CaptureFile out;
  CaptureFile err;
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, out.path().c_str(),
                                   O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, err.path().c_str(),
                                   O_WRONLY | O_TRUNC, 0);

  std::vector<std::string> words{tool};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, tool.c_str(), actions.get(), nullptr, argv.data(), environ);
  if (spawned != 0) {
    throw std::runtime_error("cannot start " + tool + ": " + std::strerror(spawned));
  }
  // A tool stuck on a damaged file must fail the test, not hang the suite.
  const auto deadline = std::chrono::steady_clock::now() + kToolTimeLimit;
  int status = 0;
  bool timed_out = false;
  while (true) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      throw std::runtime_error("waitpid: " + std::string(std::strerror(errno)));
    }
    if (!timed_out && std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      timed_out = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ToolRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = out.Contents();
  run.err = err.Contents();
  if (timed_out) run.err += "\n" + tool + " was stopped after running too long";
  return run;
}

std::vector<std::string> SplitCells(const std::string& line) {
  std::vector<std::string> cells;
  std::size_t i = 0;
  while (true) {
    std::string cell;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (true) {
        if (i >= line.size()) throw std::invalid_argument("unterminated quote in: " + line);
        const char c = line[i];
        if (c == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            cell += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        if (c == '\\') {
          if (i + 1 >= line.size()) throw std::invalid_argument("dangling escape in: " + line);
          const char e = line[i + 1];
          i += 2;
          switch (e) {
            case '\\':
              cell += '\\';
              break;
            case 'n':
              cell += '\n';
              break;
            case 'r':
              cell += '\r';
              break;
            case 't':
              cell += '\t';
              break;
            case 'x': {
              const int high = i + 1 < line.size() ? HexDigit(line[i]) : -1;
              const int low = high >= 0 ? HexDigit(line[i + 1]) : -1;
              if (low < 0) throw std::invalid_argument("bad \\x escape in: " + line);
              cell += static_cast<char>(high * 16 + low);
              i += 2;
              break;
            }
            default:
              throw std::invalid_argument("unknown escape in: " + line);
          }
          continue;
        }
        cell += c;
        ++i;
      }
      if (i < line.size() && line[i] != ',') {
        throw std::invalid_argument("text after a quoted cell in: " + line);
      }
    } else {
      const auto end = line.find(',', i);
      const auto stop = end == std::string::npos ? line.size() : end;
      cell = line.substr(i, stop - i);
      if (cell.find('"') != std::string::npos) {
        throw std::invalid_argument("quote inside an unquoted cell in: " + line);
      }
      i = stop;
    }
    cells.push_back(std::move(cell));
    if (i >= line.size()) break;
    ++i;  // the comma
    if (i == line.size()) {
      cells.emplace_back();
      break;
    }
  }
  return cells;
}

TableDump ParseTableDump(const std::string& text) {
  const auto lines = Lines(text);
  if (lines.empty()) throw std::invalid_argument("empty table dump");
  TableDump dump;
  for (const auto& spec : SplitCells(lines[0])) {
    // NAME:T:WIDTH:DECIMALS; the name holds no colon.
    const auto a = spec.find(':');
    const auto b = a == std::string::npos ? a : spec.find(':', a + 1);
    const auto c = b == std::string::npos ? b : spec.find(':', b + 1);
    if (c == std::string::npos || b != a + 2) {
      throw std::invalid_argument("bad field entry: " + spec);
    }
    DumpField field;
    field.name = spec.substr(0, a);
    field.type = spec[a + 1];
    field.width = static_cast<int>(ToLong(spec.substr(b + 1, c - b - 1), lines[0]));
    field.decimals = static_cast<int>(ToLong(spec.substr(c + 1), lines[0]));
    dump.fields.push_back(field);
  }
  for (std::size_t n = 1; n < lines.size(); ++n) {
    auto cells = SplitCells(lines[n]);
    if (cells.size() != dump.fields.size() + 2) {
      throw std::invalid_argument("record line with " + std::to_string(cells.size()) +
                                  " cells for " + std::to_string(dump.fields.size()) +
                                  " fields: " + lines[n]);
    }
    DumpRecord record;
    record.record_number = ToLong(cells[0], lines[n]);
    if (cells[1] != "*" && !cells[1].empty()) {
      throw std::invalid_argument("bad deletion mark in: " + lines[n]);
    }
    record.deleted = cells[1] == "*";
    record.values.assign(std::make_move_iterator(cells.begin() + 2),
                         std::make_move_iterator(cells.end()));
    dump.records.push_back(std::move(record));
  }
  return dump;
}

std::vector<IndexEntry> ParseIndexDump(const std::string& text) {
  std::vector<IndexEntry> entries;
  for (const auto& line : Lines(text)) {
    auto cells = SplitCells(line);
    if (cells.size() != 2) throw std::invalid_argument("bad index line: " + line);
    entries.push_back({ToLong(cells[0], line), std::move(cells[1])});
  }
  return entries;
}

std::vector<TdbfTag> ParseTdbfTags(const std::string& text) {
  std::vector<TdbfTag> tags;
  for (const auto& line : Lines(text)) {
    auto cells = SplitCells(line);
    if (cells.size() != 5) throw std::invalid_argument("bad tag line: " + line);
    TdbfTag tag;
    tag.name = cells[0];
    tag.key_expression = cells[1];
    tag.for_expression = cells[2];
    tag.unique = ToLong(cells[3], line) != 0;
    tag.descending = ToLong(cells[4], line) != 0;
    tags.push_back(std::move(tag));
  }
  return tags;
}

TableDump DumpWithTdbf(const std::string& table, const std::string& tag) {
  std::vector<std::string> args{"dump", table};
  if (!tag.empty()) {
    args.emplace_back("--tag");
    args.push_back(tag);
  }
  return ParseTableDump(
      Checked(RunTool(Require(TdbfTool(), TdbfToolMissing()), args), "tdbf_tool dump " + table));
}

TableDump DumpWithXbase(const std::string& table) {
  return ParseTableDump(Checked(RunTool(Require(XbaseTool(), XbaseToolMissing()), {"dump", table}),
                                "xbase_tool dump " + table));
}

std::vector<IndexEntry> KeysWithXbase(const std::string& mdx, const std::string& tag) {
  return ParseIndexDump(
      Checked(RunTool(Require(XbaseTool(), XbaseToolMissing()), {"index", mdx, tag}),
              "xbase_tool index " + mdx + " " + tag));
}

std::vector<TdbfTag> TagsWithTdbf(const std::string& table) {
  return ParseTdbfTags(Checked(RunTool(Require(TdbfTool(), TdbfToolMissing()), {"tags", table}),
                               "tdbf_tool tags " + table));
}

void CreateWithTdbf(const std::string& table, int count) {
  Checked(RunTool(Require(TdbfTool(), TdbfToolMissing()), {"create", table, std::to_string(count)}),
          "tdbf_tool create " + table);
}

void AppendWithTdbf(const std::string& table, int count) {
  Checked(RunTool(Require(TdbfTool(), TdbfToolMissing()), {"append", table, std::to_string(count)}),
          "tdbf_tool append " + table);
}

}  // namespace qm::test::oracles
