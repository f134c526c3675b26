// Two independent dBASE IV engines as command-line oracles for tests.
//
// tdbf_tool (Free Pascal's TDbf) reads and writes tables with memos and a
// production index; xbase_tool (Perl's XBase) reads tables, memos and the
// keys of .mdx tags. Tests run them on the files our engine writes (and our
// engine on the files they write) to prove byte compatibility.
//
// Command lines (exit status 0 success, 1 failure with a message on stderr,
// 2 usage):
//   tdbf_tool dump FILE [--tag NAME]   table dump, record or tag order
//   tdbf_tool tags FILE                NAME,"KEY","FOR",UNIQUE,DESCENDING
//   tdbf_tool create FILE [COUNT]      sample table (see below), 70 records
//   tdbf_tool append FILE COUNT        more sample records, index kept
//   xbase_tool dump FILE               table dump, record order
//   xbase_tool index FILE.mdx TAG      RECNO,KEY per key in tag order
//   xbase_tool tags FILE.mdx           NAME,TYPE,KEYLENGTH,UNIQUE,DESCENDING
//
// A table dump is one line of fields, NAME:TYPE:WIDTH:DECIMALS separated by
// commas, then one line per record: RECNO,DELETED,VALUE... where DELETED is
// "*" or empty. Character and memo values are quoted and escaped, character
// fields without trailing blanks; numbers are values ("12.5", "-3"); dates
// CCYYMMDD; logicals "T" or "F"; blank fields empty. Both tools print the
// same dump for the same file, byte for byte.
//
// The sample table of `create`: NAME C20, START_DATE D, START_TIME C8,
// AMOUNT N11.2, QTY N6, BILLABLE L, NOTES M; tags NAME "UPPER(NAME)"
// (unique), WHEN "DTOS(START_DATE)+START_TIME", AMOUNT "AMOUNT"
// (descending); record i is deleted when i is a multiple of 11; memo 7 is
// 1200 bytes, 20 exactly 504 (one block with its header), 21 is 505, memos
// of multiples of 10 other than 20 are empty. `append` fills whichever of
// these fields the table has.
#pragma once

#include <string>
#include <vector>

namespace qm::test::oracles {

// The tool's path, or "" when this build could not make it (then
// TdbfToolMissing()/XbaseToolMissing() say why, for GTEST_SKIP).
// $QM_TDBF_TOOL and $QM_XBASE_TOOL override the built-in paths.
std::string TdbfTool();
std::string XbaseTool();
std::string TdbfToolMissing();
std::string XbaseToolMissing();

struct ToolRun {
  int exit_code = -1;  // -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

// Runs `tool args...` in a child process and collects both outputs. A tool
// still running after two minutes is killed (exit_code -1).
ToolRun RunTool(const std::string& tool, const std::vector<std::string>& args);

struct DumpField {
  std::string name;
  char type = ' ';
  int width = 0;
  int decimals = 0;
};

struct DumpRecord {
  long record_number = 0;
  bool deleted = false;
  std::vector<std::string> values;  // unquoted and unescaped
};

struct TableDump {
  std::vector<DumpField> fields;
  std::vector<DumpRecord> records;
};

struct IndexEntry {
  long record_number = 0;
  std::string key;  // unquoted; numbers and dates as printed
};

struct TdbfTag {
  std::string name;
  std::string key_expression;
  std::string for_expression;
  bool unique = false;
  bool descending = false;
};

// Splits one line of comma-separated cells; a quoted cell has "" for a quote
// and the escapes \\ \n \r \t \xHH. Throws std::invalid_argument on a
// malformed line.
std::vector<std::string> SplitCells(const std::string& line);

TableDump ParseTableDump(const std::string& text);
std::vector<IndexEntry> ParseIndexDump(const std::string& text);
std::vector<TdbfTag> ParseTdbfTags(const std::string& text);

// Run a tool and parse its answer; throw std::runtime_error with the tool's
// message when it fails.
TableDump DumpWithTdbf(const std::string& table, const std::string& tag = "");
TableDump DumpWithXbase(const std::string& table);
std::vector<IndexEntry> KeysWithXbase(const std::string& mdx, const std::string& tag);
std::vector<TdbfTag> TagsWithTdbf(const std::string& table);
void CreateWithTdbf(const std::string& table, int count = 70);
void AppendWithTdbf(const std::string& table, int count);

}  // namespace qm::test::oracles
