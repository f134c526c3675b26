// table info | dump | seek | reindex | pack | check.
//
// The commands open the data file through the engine without its production
// index and open the index file themselves, so that they can name the index
// file to use, report a missing or damaged one instead of failing to open
// the table, and rebuild it after a pack.
#include "cli/table_commands.h"

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/json_text.h"
#include "engine/engine.h"
#include "engine/field_layout.h"
#include "engine/field_value.h"
#include "engine/index_file.h"
#include "engine/memo_file.h"
#include "engine/raw_file.h"
#include "engine/table.h"

namespace qm::cli {
namespace {

using engine::AccessMode;
using engine::FieldDescriptor;
using engine::FieldType;
using engine::FileStatus;
using engine::IndexFile;
using engine::MdxCursor;
using engine::RecordNumber;
using engine::Table;
using engine::TableEngine;

// A lock that another program holds is waited for this long (attempts of a
// tenth of a second) before the command gives up; a tool must not hang.
constexpr int kLockAttempts = 50;
constexpr int kLockDelay = 10;

// --- Arguments ----------------------------------------------------------------

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // options that take a value
  std::set<std::string> flags;

  std::string Value(const std::string& option) const {
    auto found = values.find(option);
    return found == values.end() ? std::string() : found->second;
  }
  bool Has(const std::string& option) const {
    return flags.count(option) != 0 || values.count(option) != 0;
  }
};

// Splits the command's words into positional arguments, options with a
// value and flags. Anything after "--" is positional.
bool ParseArguments(const std::vector<std::string>& args, const std::set<std::string>& with_value,
                    const std::set<std::string>& flags, Arguments& out, std::string& error) {
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (options_end || word.size() < 2 || word.compare(0, 2, "--") != 0) {
      out.positional.push_back(word);
    } else if (word == "--") {
      options_end = true;
    } else if (with_value.count(word)) {
      if (i + 1 >= args.size()) {
        error = word + " needs a value";
        return false;
      }
      out.values[word] = args[++i];
    } else if (flags.count(word)) {
      out.flags.insert(word);
    } else {
      error = "unknown option " + word;
      return false;
    }
  }
  return true;
}

int Usage(CommandContext& context, std::string_view usage, std::string_view problem) {
  if (!problem.empty()) context.err << problem << "\n";
  context.err << "usage: quillmk-cli " << usage << "\n";
  return kExitUsage;
}

// --- Text forms -----------------------------------------------------------------

std::string TrimRight(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\0')) --end;
  return std::string(text.substr(0, end));
}

std::string Trim(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && text[begin] == ' ') ++begin;
  return TrimRight(text.substr(begin));
}

// A cell of RFC 4180 CSV: quoted when it holds a separator, a quote, a line
// break or blanks at either end.
std::string CsvCell(std::string_view text) {
  bool quote = !text.empty() && (text.front() == ' ' || text.back() == ' ');
  for (char c : text) {
    if (c == ',' || c == '"' || c == '\n' || c == '\r') quote = true;
  }
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Whether `text` is a number as JSON writes one.
bool IsJsonNumber(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  const std::size_t digits_start = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i == digits_start) return false;
  if (i - digits_start > 1 && text[digits_start] == '0') return false;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction_start = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == fraction_start) return false;
  }
  return i == text.size();
}

std::string_view TypeLetter(FieldType type) {
  switch (type) {
    case FieldType::kCharacter: return "C";
    case FieldType::kNumeric: return "N";
    case FieldType::kFloat: return "F";
    case FieldType::kDate: return "D";
    case FieldType::kLogical: return "L";
    case FieldType::kMemo: return "M";
  }
  return "?";
}

std::string_view KeyTypeLetter(engine::KeyType type) {
  switch (type) {
    case engine::KeyType::kCharacter: return "C";
    case engine::KeyType::kNumeric: return "N";
    case engine::KeyType::kDate: return "D";
  }
  return "?";
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

std::string TwoDigits(int value) {
  return value < 10 ? "0" + std::to_string(value) : std::to_string(value);
}

// One field's value as a dump shows it: character text without its
// trailing blanks, numbers and dates as written (blank when empty),
// logicals "T" or "F" (blank when undecided), memos their whole text.
struct FieldValueText {
  std::string text;
  bool empty = false;  // a blank number, date or logical
};

// --- An open table and its index file -----------------------------------------

class TableSession {
 public:
  TableSession(CommandContext& context, std::string_view command)
      : context_(context), command_(command) {
    engine_.settings().auto_open = false;
    engine_.settings().lock_attempts = kLockAttempts;
    engine_.settings().lock_delay = kLockDelay;
    engine_.SetErrorHook([this](int code, int where, std::string_view text1,
                                std::string_view text2, std::string_view text3) {
      if (!engine_error_.empty()) return;  // the first error is the cause
      engine_error_ = "engine error " + std::to_string(code) + " (" + std::to_string(where) + ")";
      for (std::string_view text : {text1, text2, text3}) {
        if (!text.empty()) engine_error_ += std::string(", ") + std::string(text);
      }
    });
  }

  // Prints "table CMD: what[: the engine's error]" and returns 1.
  int Fail(std::string_view what) {
    context_.err << "table " << command_ << ": " << what;
    if (!engine_error_.empty()) context_.err << ": " << engine_error_;
    context_.err << "\n";
    return kExitFailed;
  }
  int FailStatus(std::string_view what, const FileStatus& status) {
    context_.err << "table " << command_ << ": " << what << ": engine error " << status.code;
    if (!status.text.empty()) context_.err << ", " << status.text;
    context_.err << "\n";
    return kExitFailed;
  }
  // Takes and clears the engine error recorded since the last call.
  std::string TakeEngineError() {
    std::string error;
    error.swap(engine_error_);
    return error;
  }

  bool OpenTable(const std::string& path, AccessMode mode) {
    engine_.settings().access_mode = mode;
    if (!engine::FileExists(path)) {
      engine_error_.clear();
      Fail("the file '" + path + "' does not exist");
      return false;
    }
    table_ = Table::Open(engine_, path);
    if (!table_) {
      Fail("the table '" + path + "' cannot be opened");
      return false;
    }
    return true;
  }

  // Finds the index file: `named` when given (it must exist), else the
  // production index beside the table. `index_path()` stays empty when the
  // table has none.
  bool FindIndex(const std::string& named) {
    if (!named.empty()) {
      index_path_ = engine::FindFileIgnoringCase(named);
      if (index_path_.empty()) {
        Fail("the index file '" + named + "' does not exist");
        return false;
      }
      return true;
    }
    const std::string production = engine::CompanionPath(table_->FileName(), ".mdx");
    index_path_ = engine::FindFileIgnoringCase(production);
    if (index_path_.empty() && table_->header().production_index != 0) {
      production_missing_ = production;
    }
    return true;
  }

  // Opens the index file found by FindIndex. False, with the reason
  // printed, when it cannot be read.
  bool OpenIndex() {
    if (index_path_.empty()) return true;
    engine::IndexFileOptions options;
    options.default_unique = engine_.settings().default_unique;
    FileStatus status = IndexFile::Open(index_path_, table_->layout(), &index_, options);
    if (!status.ok()) {
      FailStatus("the index file '" + index_path_ + "' cannot be read", status);
      return false;
    }
    return true;
  }

  // A missing production index is a fault for the commands that need tags.
  bool RequireNoMissingIndex() {
    if (production_missing_.empty()) return true;
    Fail("the table's production index '" + production_missing_ +
         "' is missing; the program rebuilds it when it opens the table");
    return false;
  }

  FieldValueText ValueText(std::size_t field_index) {
    const FieldDescriptor& field = table_->layout().fields()[field_index];
    std::span<const char> record = table_->record();
    const std::string_view stored(record.data() + field.offset, static_cast<std::size_t>(field.width));
    FieldValueText value;
    switch (field.type) {
      case FieldType::kCharacter:
        value.text = TrimRight(stored);
        break;
      case FieldType::kNumeric:
      case FieldType::kFloat:
      case FieldType::kDate:
        value.text = Trim(stored);
        value.empty = value.text.empty();
        break;
      case FieldType::kLogical: {
        const char c = stored.empty() ? ' ' : stored[0];
        if (engine::LogicalIsTrue(c)) {
          value.text = "T";
        } else if (c == 'F' || c == 'f' || c == 'N' || c == 'n') {
          value.text = "F";
        } else {
          value.empty = true;
        }
        break;
      }
      case FieldType::kMemo:
        value.text = table_->FieldAt(static_cast<int>(field_index) + 1)->MemoText();
        break;
    }
    return value;
  }

  Table& table() { return *table_; }
  TableEngine& engine() { return engine_; }
  IndexFile* index() { return index_.get(); }
  const std::string& index_path() const { return index_path_; }
  const std::string& production_missing() const { return production_missing_; }

 private:
  CommandContext& context_;
  std::string command_;
  TableEngine engine_;
  std::unique_ptr<Table> table_;
  std::string index_path_;
  std::string production_missing_;
  std::unique_ptr<IndexFile> index_;
  std::string engine_error_;
};

// The tag named `name` of the session's index file, or nothing (reported).
std::optional<std::size_t> FindTag(TableSession& session, const std::string& name) {
  if (!session.index()) {
    session.Fail("the table has no index file, so it has no tag '" + name + "'");
    return std::nullopt;
  }
  std::optional<std::size_t> tag = session.index()->FindTag(name);
  if (!tag) session.Fail("the index file has no tag '" + name + "'");
  return tag;
}

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// --- info -------------------------------------------------------------------------

std::string VersionText(std::uint8_t version) {
  switch (version) {
    case 0x03: return "dBASE III/IV without memo";
    case 0x83: return "dBASE III with memo";
    case 0x8B: return "dBASE IV with memo";
    default: return "unknown";
  }
}

constexpr char kInfoUsage[] = "table info FILE [--index MDX]";

int RunInfo(CommandContext& context) {
  Arguments args;
  std::string problem;
  if (!ParseArguments(context.args, {"--index"}, {"--json"}, args, problem) ||
      args.positional.size() != 1) {
    return Usage(context, kInfoUsage, problem);
  }
  const bool json = context.options.json || args.Has("--json");
  TableSession session(context, "info");
  if (!session.OpenTable(args.positional[0], AccessMode::kDenyNone)) return kExitFailed;
  if (!session.FindIndex(args.Value("--index")) || !session.OpenIndex()) return kExitFailed;

  Table& table = session.table();
  const engine::DataFileHeader& header = table.header();
  const RecordNumber records = table.RecordCount();
  const std::string date = std::to_string(header.year) + "-" + TwoDigits(header.month) + "-" +
                           TwoDigits(header.day);

  std::string memo_path;
  std::uint32_t memo_block_size = 0;
  bool has_memo = false;
  for (const FieldDescriptor& field : table.layout().fields()) {
    if (field.type == FieldType::kMemo) has_memo = true;
  }
  if (has_memo) {
    memo_path = engine::FindFileIgnoringCase(engine::CompanionPath(table.FileName(), ".dbt"));
    engine::MemoFile memo;
    if (!memo_path.empty() && memo.Open(memo_path).ok()) memo_block_size = memo.block_size();
  }

  IndexFile* index = session.index();
  std::ostream& out = context.out;
  if (json) {
    out << "{\"file\": " << JsonText(table.FileName()) << ", \"version\": " << int{header.version}
        << ", \"version_text\": " << JsonText(VersionText(header.version))
        << ", \"last_update\": " << JsonText(date) << ", \"records\": " << records
        << ", \"header_length\": " << header.header_length
        << ", \"record_length\": " << header.record_length
        << ", \"language_driver\": " << int{header.language_driver}
        << ", \"production_index_flag\": " << (header.production_index ? "true" : "false")
        << ", \"index_file\": "
        << (session.index_path().empty() ? "null" : JsonText(session.index_path()))
        << ", \"memo_file\": " << (memo_path.empty() ? "null" : JsonText(memo_path))
        << ", \"memo_block_size\": " << memo_block_size << ", \"fields\": [";
    const auto& fields = table.layout().fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      out << (i ? ", " : "") << "{\"name\": " << JsonText(fields[i].name)
          << ", \"type\": " << JsonText(TypeLetter(fields[i].type))
          << ", \"width\": " << fields[i].width << ", \"decimals\": " << fields[i].decimals << "}";
    }
    out << "], \"tags\": [";
    for (std::size_t t = 0; index && t < index->tag_count(); ++t) {
      const engine::IndexTag& tag = index->tag(t);
      out << (t ? ", " : "") << "{\"name\": " << JsonText(tag.name())
          << ", \"key\": " << JsonText(tag.info().key_expression)
          << ", \"for\": " << JsonText(tag.info().for_expression)
          << ", \"key_type\": " << JsonText(KeyTypeLetter(tag.key_type()))
          << ", \"key_length\": " << tag.key_length()
          << ", \"unique\": " << (tag.unique() ? "true" : "false")
          << ", \"descending\": " << (tag.descending() ? "true" : "false") << "}";
    }
    out << "]}\n";
    return kExitOk;
  }

  out << "file: " << table.FileName() << "\n"
      << "version: " << Hex(header.version) << " (" << VersionText(header.version) << ")\n"
      << "last update: " << date << "\n"
      << "records: " << records << "\n"
      << "header length: " << header.header_length << "\n"
      << "record length: " << header.record_length << "\n"
      << "language driver: " << Hex(header.language_driver) << "\n";
  if (has_memo) {
    out << "memo file: ";
    if (memo_path.empty()) {
      out << "missing\n";
    } else {
      out << memo_path << " (blocks of " << memo_block_size << " bytes)\n";
    }
  }
  out << "index file: ";
  if (!session.index_path().empty()) {
    out << session.index_path();
    if (header.production_index == 0 && args.Value("--index").empty()) {
      out << " (the data file does not flag it as its production index)";
    }
    out << "\n";
  } else if (!session.production_missing().empty()) {
    out << "missing (" << session.production_missing() << ")\n";
  } else {
    out << "none\n";
  }
  out << "fields:\n";
  const auto& fields = table.layout().fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "  %3zu  %-10s  %s  %3d  %2d\n", i + 1,
                  fields[i].name.c_str(), std::string(TypeLetter(fields[i].type)).c_str(),
                  fields[i].width, fields[i].decimals);
    out << line;
  }
  if (index) {
    out << "tags:\n";
    for (std::size_t t = 0; t < index->tag_count(); ++t) {
      const engine::IndexTag& tag = index->tag(t);
      out << "  " << tag.name() << ": key " << tag.info().key_expression << " ("
          << KeyTypeLetter(tag.key_type()) << " " << tag.key_length() << ")";
      if (!tag.info().for_expression.empty()) out << ", FOR " << tag.info().for_expression;
      if (tag.unique()) out << ", unique";
      if (tag.descending()) out << ", descending";
      out << "\n";
    }
  }
  return kExitOk;
}

// --- dump -------------------------------------------------------------------------

constexpr char kDumpUsage[] =
    "table dump FILE [--tag T] [--deleted] [--recno] [--format csv|json] [--index MDX]";

class DumpWriter {
 public:
  DumpWriter(std::ostream& out, TableSession& session, bool json, bool deleted, bool recno)
      : out_(out), session_(session), json_(json), deleted_(deleted), recno_(recno) {}

  void Begin() {
    const auto& fields = session_.table().layout().fields();
    if (json_) {
      out_ << "{\"file\": " << JsonText(session_.table().FileName()) << ", \"fields\": [";
      for (std::size_t i = 0; i < fields.size(); ++i) {
        out_ << (i ? ", " : "") << JsonText(fields[i].name);
      }
      out_ << "], \"records\": [";
      return;
    }
    std::string line;
    if (deleted_) line += "DELETED(),";
    if (recno_) line += "RECNO(),";
    for (const FieldDescriptor& field : fields) line += CsvCell(field.name) + ",";
    line.pop_back();
    out_ << line << "\n";
  }

  // Writes the table's current record.
  void Record() {
    Table& table = session_.table();
    const auto& fields = table.layout().fields();
    if (json_) {
      out_ << (written_ ? ",\n" : "\n") << "{\"recno\": " << table.RecordNumber()
           << ", \"deleted\": " << (table.IsDeleted() ? "true" : "false") << ", \"values\": {";
      for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldValueText value = session_.ValueText(i);
        out_ << (i ? ", " : "") << JsonText(fields[i].name) << ": ";
        switch (fields[i].type) {
          case FieldType::kNumeric:
          case FieldType::kFloat:
            if (value.empty) {
              out_ << "null";
            } else {
              out_ << (IsJsonNumber(value.text) ? value.text : JsonText(value.text));
            }
            break;
          case FieldType::kLogical:
            out_ << (value.empty ? "null" : value.text == "T" ? "true" : "false");
            break;
          case FieldType::kDate:
            out_ << (value.empty ? "null" : JsonText(value.text));
            break;
          default:
            out_ << JsonText(value.text);
        }
      }
      out_ << "}}";
    } else {
      std::string line;
      if (deleted_) line += table.IsDeleted() ? "*," : ",";
      if (recno_) line += std::to_string(table.RecordNumber()) + ",";
      for (std::size_t i = 0; i < fields.size(); ++i) line += CsvCell(session_.ValueText(i).text) + ",";
      if (!line.empty()) line.pop_back();
      out_ << line << "\n";
    }
    ++written_;
  }

  void End() {
    if (json_) out_ << (written_ ? "\n" : "") << "]}\n";
  }

  bool wants(const Table& table) const { return deleted_ || !table.IsDeleted(); }

 private:
  std::ostream& out_;
  TableSession& session_;
  bool json_;
  bool deleted_;
  bool recno_;
  long written_ = 0;
};

int RunDump(CommandContext& context) {
  Arguments args;
  std::string problem;
  if (!ParseArguments(context.args, {"--tag", "--format", "--index"}, {"--deleted", "--recno"},
                      args, problem) ||
      args.positional.size() != 1) {
    return Usage(context, kDumpUsage, problem);
  }
  std::string format = args.Value("--format");
  if (format.empty()) format = context.options.json ? "json" : "csv";
  if (format != "csv" && format != "json") {
    return Usage(context, kDumpUsage, "--format takes csv or json");
  }
  TableSession session(context, "dump");
  if (!session.OpenTable(args.positional[0], AccessMode::kDenyNone)) return kExitFailed;
  const std::string tag_name = args.Value("--tag");
  std::optional<std::size_t> tag;
  if (!tag_name.empty()) {
    if (!session.FindIndex(args.Value("--index")) || !session.RequireNoMissingIndex() ||
        !session.OpenIndex()) {
      return kExitFailed;
    }
    tag = FindTag(session, tag_name);
    if (!tag) return kExitFailed;
  }

  Table& table = session.table();
  DumpWriter writer(context.out, session, format == "json", args.Has("--deleted"),
                    args.Has("--recno"));
  writer.Begin();
  if (tag) {
    MdxCursor cursor = session.index()->Cursor(*tag);
    int moved = cursor.First();
    for (; moved == engine::kSuccess; moved = cursor.Next()) {
      if (table.Go(cursor.record()) != engine::kSuccess) {
        return session.Fail("tag " + tag_name + " names record " +
                            std::to_string(cursor.record()) + ", which cannot be read");
      }
      if (writer.wants(table)) writer.Record();
    }
    if (moved < 0) return session.FailStatus("tag " + tag_name + " cannot be read", cursor.status());
  } else {
    int moved = table.Top();
    for (; moved == engine::kSuccess; moved = table.Skip()) {
      if (writer.wants(table)) writer.Record();
    }
    if (moved < 0) return session.Fail("the records cannot be read");
  }
  if (std::string error = session.TakeEngineError(); !error.empty()) {
    // A memo that could not be read was dumped as empty; say so.
    context.err << "table dump: " << error << "\n";
    writer.End();
    return kExitFailed;
  }
  writer.End();
  return kExitOk;
}

// --- seek -------------------------------------------------------------------------

constexpr char kSeekUsage[] = "table seek FILE TAG KEY [--index MDX]";

void PrintRecord(CommandContext& context, TableSession& session) {
  Table& table = session.table();
  const auto& fields = table.layout().fields();
  if (context.options.json) {
    context.out << "{\"recno\": " << table.RecordNumber()
                << ", \"deleted\": " << (table.IsDeleted() ? "true" : "false") << ", \"values\": {";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      context.out << (i ? ", " : "") << JsonText(fields[i].name) << ": "
                  << JsonText(session.ValueText(i).text);
    }
    context.out << "}}\n";
    return;
  }
  context.out << "record: " << table.RecordNumber() << (table.IsDeleted() ? " (deleted)" : "")
              << "\n";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    context.out << fields[i].name << ": " << session.ValueText(i).text << "\n";
  }
}

int RunSeek(CommandContext& context) {
  Arguments args;
  std::string problem;
  if (!ParseArguments(context.args, {"--index"}, {}, args, problem) ||
      args.positional.size() != 3) {
    return Usage(context, kSeekUsage, problem);
  }
  const std::string& tag_name = args.positional[1];
  const std::string& key_text = args.positional[2];
  TableSession session(context, "seek");
  if (!session.OpenTable(args.positional[0], AccessMode::kDenyNone) ||
      !session.FindIndex(args.Value("--index")) || !session.RequireNoMissingIndex() ||
      !session.OpenIndex()) {
    return kExitFailed;
  }
  std::optional<std::size_t> tag = FindTag(session, tag_name);
  if (!tag) return kExitFailed;
  const engine::IndexTag& index_tag = session.index()->tag(*tag);
  std::string key;
  if (!index_tag.MakeSeekKey(key_text, &key)) {
    return session.Fail("'" + key_text + "' is no key of tag " + index_tag.name() + " (type " +
                        std::string(KeyTypeLetter(index_tag.key_type())) + ")");
  }
  MdxCursor cursor = session.index()->Cursor(*tag);
  const int found = cursor.Seek(key);
  if (found < 0) return session.FailStatus("tag " + index_tag.name() + " cannot be read", cursor.status());
  if (found == engine::kEndOfFile) {
    return session.Fail("the key '" + key_text + "' is not in tag " + index_tag.name() +
                        ", and no greater key is");
  }
  if (session.table().Go(cursor.record()) != engine::kSuccess) {
    return session.Fail("tag " + index_tag.name() + " names record " +
                        std::to_string(cursor.record()) + ", which cannot be read");
  }
  PrintRecord(context, session);
  if (found == engine::kKeyNotFound) {
    return session.Fail("the key '" + key_text + "' is not in tag " + index_tag.name() +
                        "; the record shown holds the next greater key");
  }
  return kExitOk;
}

// --- reindex and pack -------------------------------------------------------------

constexpr char kReindexUsage[] = "table reindex FILE [--index MDX]";
constexpr char kPackUsage[] = "table pack FILE";

int Reindex(CommandContext& context, TableSession& session) {
  IndexFile* index = session.index();
  if (!index) return kExitOk;
  index->SetExclusive(true);
  FileStatus status = index->Reindex(session.table());
  if (!status.ok()) return session.FailStatus("the index file could not be rebuilt", status);
  context.out << "rebuilt " << index->tag_count() << (index->tag_count() == 1 ? " tag" : " tags")
              << " of " << FileName(index->path()) << " from " << session.table().RecordCount()
              << " records\n";
  return kExitOk;
}

int RunReindex(CommandContext& context) {
  Arguments args;
  std::string problem;
  if (!ParseArguments(context.args, {"--index"}, {}, args, problem) ||
      args.positional.size() != 1) {
    return Usage(context, kReindexUsage, problem);
  }
  TableSession session(context, "reindex");
  if (!session.OpenTable(args.positional[0], AccessMode::kExclusive) ||
      !session.FindIndex(args.Value("--index")) || !session.RequireNoMissingIndex() ||
      !session.OpenIndex()) {
    return kExitFailed;
  }
  if (!session.index()) {
    context.out << FileName(session.table().FileName()) << " has no index file; nothing to do\n";
    return kExitOk;
  }
  return Reindex(context, session);
}

int RunPack(CommandContext& context) {
  Arguments args;
  std::string problem;
  if (!ParseArguments(context.args, {}, {}, args, problem) || args.positional.size() != 1) {
    return Usage(context, kPackUsage, problem);
  }
  TableSession session(context, "pack");
  // The index is opened before anything changes: a pack that could not
  // rebuild it afterwards would leave tags naming the wrong records.
  if (!session.OpenTable(args.positional[0], AccessMode::kExclusive) || !session.FindIndex("") ||
      !session.RequireNoMissingIndex() || !session.OpenIndex()) {
    return kExitFailed;
  }
  Table& table = session.table();
  const RecordNumber before = table.RecordCount();
  if (table.Pack() != engine::kSuccess) return session.Fail("the table could not be packed");
  const RecordNumber after = table.RecordCount();
  context.out << "packed " << FileName(table.FileName()) << ": " << after << " records kept, "
              << (before - after) << " deleted records removed\n";
  return Reindex(context, session);
}

// --- check ------------------------------------------------------------------------

constexpr char kCheckUsage[] = "table check FILE [--index MDX]";

int RunCheck(CommandContext& context) {
  Arguments args;
  std::string problem;
  if (!ParseArguments(context.args, {"--index"}, {}, args, problem) ||
      args.positional.size() != 1) {
    return Usage(context, kCheckUsage, problem);
  }
  TableSession session(context, "check");
  // Nobody may write while the files are compared; readers may stay.
  if (!session.OpenTable(args.positional[0], AccessMode::kDenyWrite) ||
      !session.FindIndex(args.Value("--index")) || !session.RequireNoMissingIndex() ||
      !session.OpenIndex()) {
    return kExitFailed;
  }
  Table& table = session.table();
  const auto& fields = table.layout().fields();
  std::vector<std::size_t> memo_fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].type == FieldType::kMemo) memo_fields.push_back(i);
  }
  if (!memo_fields.empty()) {
    int moved = table.Top();
    for (; moved == engine::kSuccess; moved = table.Skip()) {
      for (std::size_t i : memo_fields) {
        table.FieldAt(static_cast<int>(i) + 1)->MemoText();
        if (std::string error = session.TakeEngineError(); !error.empty()) {
          context.err << "table check: record " << table.RecordNumber() << ", field "
                      << fields[i].name << ": the memo cannot be read: " << error << "\n";
          return kExitFailed;
        }
      }
    }
    if (moved < 0) return session.Fail("the records cannot be read");
  }
  std::size_t tags = 0;
  if (IndexFile* index = session.index()) {
    index->SetExclusive(true);
    FileStatus status = index->Check(table);
    if (!status.ok()) return session.FailStatus(FileName(index->path()), status);
    tags = index->tag_count();
  }
  context.out << FileName(table.FileName()) << ": " << table.RecordCount() << " records, " << tags
              << (tags == 1 ? " tag" : " tags") << ": ok\n";
  return kExitOk;
}

}  // namespace

int RunTableInfo(CommandContext& context) { return RunInfo(context); }
int RunTableDump(CommandContext& context) { return RunDump(context); }
int RunTableSeek(CommandContext& context) { return RunSeek(context); }
int RunTableReindex(CommandContext& context) { return RunReindex(context); }
int RunTablePack(CommandContext& context) { return RunPack(context); }
int RunTableCheck(CommandContext& context) { return RunCheck(context); }

void AddTableCommands(std::vector<Command>& commands) {
  const std::string files =
      "FILE is the data file (.dbf); its production index (the .mdx of the same name) is\n"
      "used unless --index names another index file.\n";
  commands.push_back({"table info", kInfoUsage, "describe a table: header, fields, tags",
                      "Prints the version, the date of the last update, the record count, the\n"
                      "fields and every tag with its key, FOR filter, unique and descending\n"
                      "flags (--json: as JSON).\n" + files,
                      RunTableInfo});
  commands.push_back({"table dump", kDumpUsage, "print a table's records as CSV or JSON",
                      "CSV has a header line of the field names; memo texts are included.\n"
                      "--tag T: in the order of tag T.  --deleted: deleted records too, with a\n"
                      "first column DELETED() holding \"*\".  --recno: a column RECNO().\n" + files,
                      RunTableDump});
  commands.push_back({"table seek", kSeekUsage, "find a key in a tag and print its record",
                      "KEY: text for a character tag (a shorter text finds the first key that\n"
                      "begins with it), a number for a numeric tag, CCYYMMDD for a date tag.\n"
                      "Exit status 1 when the key is absent; the record with the next greater\n"
                      "key is printed.\n" + files,
                      RunTableSeek});
  commands.push_back({"table reindex", kReindexUsage, "rebuild every tag of a table's index",
                      "Opens the table exclusively and rebuilds every tag from the records.\n" + files,
                      RunTableReindex});
  commands.push_back({"table pack", kPackUsage, "remove deleted records and rebuild the index",
                      "Opens the table exclusively, removes the deleted records and rebuilds its\n"
                      "production index.\n",
                      RunTablePack});
  commands.push_back({"table check", kCheckUsage, "check that every tag agrees with the records",
                      "Walks every tag: its tree, key order, and that it holds exactly the records\n"
                      "it should with their current keys; reads every memo. Exit status 1 with\n"
                      "the first disagreement.\n" + files,
                      RunTableCheck});
}

}  // namespace qm::cli
