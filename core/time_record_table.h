// The time record table: the dBASE layout in which every time record
// database stores its records, and the exact conversion between a row and
// a TimeRecord.
//
// The table engine plugs in through TimeRecordRow, which gives and takes a
// field's text exactly as the file holds it (blank-padded to the field's
// width). The typed helpers below put values into that form: character
// fields padded, numbers right-aligned, dates as YYYYMMDD, logicals "T"/"F".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/time_record.h"

namespace qm::core {

// The fields of the table, in file order; the value is the field's index.
enum TimeRecordField : int {
  kFieldPerson = 0,
  kFieldClient,
  kFieldProject,
  kFieldSubproject,
  kFieldTask,
  kFieldRate,
  kFieldExpense,
  kFieldStartDate,
  kFieldStartTime,
  kFieldEndDate,
  kFieldEndTime,
  kFieldPauseDuration,
  kFieldBillable,
  kFieldEdited,
  kFieldInvoice,
  kFieldDescriptionStart,
  kFieldDescriptionEnd,
};
inline constexpr int kTimeRecordFieldCount = 17;

struct TableFieldSpec {
  std::string_view name;  // upper case, at most 10 characters
  char type;              // 'C' character, 'N' numeric, 'D' date, 'L' logical
  int width;
  int decimals;
};

// The layout the database layer creates tables with. RATE and EXPENSE
// declare no decimals but are always written with two.
inline constexpr std::array<TableFieldSpec, kTimeRecordFieldCount> kTimeRecordTableFields = {{
    {"PERSON", 'C', 35, 0},
    {"CLIENT", 'C', 35, 0},
    {"PROJECT", 'C', 35, 0},
    {"SUBPROJECT", 'C', 35, 0},
    {"TASK", 'C', 35, 0},
    {"RATE", 'N', 11, 0},
    {"EXPENSE", 'N', 11, 0},
    {"START_DATE", 'D', 8, 0},
    {"START_TIME", 'C', 8, 0},
    {"END_DATE", 'D', 8, 0},
    {"END_TIME", 'C', 8, 0},
    {"PAUSE_DUR", 'N', 7, 0},
    {"BILLABLE", 'L', 1, 0},
    {"EDITED", 'L', 1, 0},
    {"INVOICE", 'N', 9, 0},
    {"DESCSTART", 'C', 250, 0},
    {"DESCEND", 'C', 250, 0},
}};

// Tables written by version 2 have this field instead of DESCSTART and
// DESCEND; the database layer converts them.
inline constexpr std::string_view kVersion2DescriptionField = "DESCRIPTN";

// The index of the field named `name` (without regard to case).
std::optional<int> FindTimeRecordField(std::string_view name);

// The current row of a time record table.
class TimeRecordRow {
 public:
  virtual ~TimeRecordRow() = default;
  // The field's text as stored: its full width, blank-padded.
  virtual std::string FieldText(int field) const = 0;
  // Stores `text`, which is exactly the field's width.
  virtual void SetFieldText(int field, std::string_view text) = 0;
};

// Typed access on top of the texts.
void SetCharacterField(TimeRecordRow& row, int field, std::string_view text);  // cut or padded
// Right-aligned with `decimals` places. A value that does not fit even
// without decimals is written as asterisks, as dBASE marks an overflow.
void SetNumericField(TimeRecordRow& row, int field, double value, int decimals);
// Eight blanks for nullopt, else the date of that Julian day as YYYYMMDD.
void SetDateField(TimeRecordRow& row, int field, std::optional<std::int64_t> julian_day);
void SetLogicalField(TimeRecordRow& row, int field, bool value);

std::string CharacterField(const TimeRecordRow& row, int field);  // trailing white space removed
double NumericField(const TimeRecordRow& row, int field);         // 0 when no number
// nullopt when blank or not a date.
std::optional<std::int64_t> JulianDayField(const TimeRecordRow& row, int field);
bool LogicalField(const TimeRecordRow& row, int field);           // "T", "t", "Y", "y"

// Writes all seventeen fields from `record`. Times keep only their minute.
// Returns 0.
int StoreTimeRecord(const TimeRecord& record, TimeRecordRow& row);
// Fills `record` from the row; stopwatchState and pauseOrigin are kept.
void LoadTimeRecord(const TimeRecordRow& row, TimeRecord& record);

}  // namespace qm::core
