#include "core/time_record_table.h"

#include <cmath>
#include <limits>

#include "core/amount_text.h"
#include "core/calendar.h"
#include "core/text_scanner.h"
#include "platform/text_case.h"

namespace qm::core {
namespace {

constexpr std::size_t kDescriptionPartLength = 250;

std::size_t Width(int field) {
  return static_cast<std::size_t>(kTimeRecordTableFields[static_cast<std::size_t>(field)].width);
}

std::string Padded(std::string_view text, std::size_t width) {
  std::string padded(text.substr(0, width));
  padded.resize(width, ' ');
  return padded;
}

std::string RightAligned(std::string_view text, std::size_t width) {
  if (text.size() >= width) return std::string(text.substr(0, width));
  return std::string(width - text.size(), ' ') + std::string(text);
}

bool IsBlank(std::string_view text) {
  for (const char c : text) {
    if (!IsCWhiteSpace(c) && c != '\0') return false;
  }
  return true;
}

// Reads the digits at text[from, from + count) as a number; nullopt when
// any of them is not a digit.
std::optional<int> Digits(std::string_view text, std::size_t from, std::size_t count) {
  if (text.size() < from + count) return std::nullopt;
  int value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (!IsAsciiDigit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// The two-digit numbers of a time text, read as atoi reads them: leading
// blanks, the digits there are, 0 when none.
int TwoDigitNumber(std::string_view text, std::size_t from) {
  if (text.size() <= from) return 0;
  std::string_view part = text.substr(from, 2);
  while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
  int value = 0;
  for (const char c : part) {
    if (!IsAsciiDigit(c)) break;
    value = value * 10 + (c - '0');
  }
  return value;
}

void StoreStamp(TimeRecordRow& row, int date_field, int time_field, TimeStamp value) {
  // Only -1 names "no date", but no negative stamp has a date of its own
  // either; storing one as no date keeps garbage times out of the file.
  if (value < 0) {
    SetDateField(row, date_field, std::nullopt);
    SetCharacterField(row, time_field, "00:00:00");
    return;
  }
  SetDateField(row, date_field, value / kSecondsPerDay + kJulianDayOf1970);
  const int minute_of_day = value % kSecondsPerDay / 60;
  SetCharacterField(row, time_field, FormatC("%02d:%02d:00", minute_of_day / 60, minute_of_day % 60));
}

TimeStamp LoadStamp(const TimeRecordRow& row, int date_field, int time_field) {
  const std::optional<std::int64_t> julian_day = JulianDayField(row, date_field);
  if (!julian_day) return kNoTime;
  const std::string time = row.FieldText(time_field);
  const std::int64_t stamp = (*julian_day - kJulianDayOf1970) * kSecondsPerDay +
                             TwoDigitNumber(time, 0) * 3600 + TwoDigitNumber(time, 3) * 60;
  // Rows written by other programs may hold dates no stamp can name.
  if (stamp < std::numeric_limits<TimeStamp>::min() || stamp > std::numeric_limits<TimeStamp>::max() ||
      stamp == kNoTime) {
    return kNoTime;
  }
  return static_cast<TimeStamp>(stamp);
}

// Numbers from rows written by other programs may be anything.
std::int32_t ToInt32(double value) {
  if (!(value > std::numeric_limits<std::int32_t>::min() - 1.0 &&
        value < std::numeric_limits<std::int32_t>::max() + 1.0)) {
    return 0;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::optional<int> FindTimeRecordField(std::string_view name) {
  for (int i = 0; i < kTimeRecordFieldCount; ++i) {
    if (platform::EqualsIgnoringAsciiCase(kTimeRecordTableFields[static_cast<std::size_t>(i)].name,
                                          name)) {
      return i;
    }
  }
  return std::nullopt;
}

void SetCharacterField(TimeRecordRow& row, int field, std::string_view text) {
  row.SetFieldText(field, Padded(text, Width(field)));
}

void SetNumericField(TimeRecordRow& row, int field, double value, int decimals) {
  const std::size_t width = Width(field);
  if (!std::isfinite(value)) value = 0;
  for (int places = decimals; places >= 0; --places) {
    const std::string text = FormatC("%.*f", places, value);
    if (text.size() <= width) {
      row.SetFieldText(field, RightAligned(text, width));
      return;
    }
  }
  row.SetFieldText(field, std::string(width, '*'));
}

void SetDateField(TimeRecordRow& row, int field, std::optional<std::int64_t> julian_day) {
  if (!julian_day) {
    row.SetFieldText(field, Padded("", Width(field)));
    return;
  }
  const CivilDate date = CivilFromDayNumber(*julian_day - kJulianDayOf1970);
  row.SetFieldText(field, Padded(FormatC("%04lld%02d%02d", static_cast<long long>(date.year), date.month,
                                         date.day),
                                 Width(field)));
}

void SetLogicalField(TimeRecordRow& row, int field, bool value) {
  row.SetFieldText(field, value ? "T" : "F");
}

std::string CharacterField(const TimeRecordRow& row, int field) {
  return std::string(TrimTrailingWhiteSpace(row.FieldText(field)));
}

double NumericField(const TimeRecordRow& row, int field) {
  return CTextToDouble(row.FieldText(field));
}

std::optional<std::int64_t> JulianDayField(const TimeRecordRow& row, int field) {
  const std::string text = row.FieldText(field);
  if (IsBlank(text)) return std::nullopt;
  const auto year = Digits(text, 0, 4);
  const auto month = Digits(text, 4, 2);
  const auto day = Digits(text, 6, 2);
  if (!year || !month || !day || *month < 1 || *month > 12 || *day < 1 || *day > 31) {
    return std::nullopt;
  }
  return DaysFromCivil(*year, *month, *day) + kJulianDayOf1970;
}

bool LogicalField(const TimeRecordRow& row, int field) {
  const std::string text = row.FieldText(field);
  if (text.empty()) return false;
  const char c = text.front();
  return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

int StoreTimeRecord(const TimeRecord& record, TimeRecordRow& row) {
  for (int i = 0; i < kRateDescriptor; ++i) {
    SetCharacterField(row, kFieldPerson + i, record.descriptors[static_cast<std::size_t>(i)].view());
  }
  SetNumericField(row, kFieldRate, AmountTextToNumber(record.descriptors[kRateDescriptor].view()), 2);
  SetNumericField(row, kFieldExpense, record.expense, 2);
  StoreStamp(row, kFieldStartDate, kFieldStartTime, record.start);
  StoreStamp(row, kFieldEndDate, kFieldEndTime, record.end);
  SetNumericField(row, kFieldPauseDuration, record.pauseDuration, 0);
  SetLogicalField(row, kFieldBillable, record.billable != 0);
  SetLogicalField(row, kFieldEdited, record.edited != 0);
  SetNumericField(row, kFieldInvoice, record.invoice, 0);
  const std::string_view description = record.description.view();
  SetCharacterField(row, kFieldDescriptionStart, description.substr(0, kDescriptionPartLength));
  SetCharacterField(row, kFieldDescriptionEnd,
                    description.size() > kDescriptionPartLength
                        ? description.substr(kDescriptionPartLength, kDescriptionPartLength)
                        : std::string_view());
  return 0;
}

void LoadTimeRecord(const TimeRecordRow& row, TimeRecord& record) {
  for (int i = 0; i < kRateDescriptor; ++i) {
    const std::string text = row.FieldText(kFieldPerson + i);
    record.descriptors[static_cast<std::size_t>(i)] =
        TrimTrailingWhiteSpace(std::string_view(text).substr(0, kDescriptorLength));
  }
  record.descriptors[kRateDescriptor] =
      FormatAmount(NumericField(row, kFieldRate), 11, false);
  record.expense = NumericField(row, kFieldExpense);
  record.start = LoadStamp(row, kFieldStartDate, kFieldStartTime);
  record.end = LoadStamp(row, kFieldEndDate, kFieldEndTime);
  record.pauseDuration = ToInt32(NumericField(row, kFieldPauseDuration));
  record.invoice = ToInt32(NumericField(row, kFieldInvoice));
  record.billable = LogicalField(row, kFieldBillable) ? 1 : 0;
  record.edited = LogicalField(row, kFieldEdited) ? 1 : 0;

  const std::string description_end = row.FieldText(kFieldDescriptionEnd);
  const std::string description_start = row.FieldText(kFieldDescriptionStart);
  if (IsBlank(description_end)) {
    record.description = TrimTrailingWhiteSpace(description_start);
  } else {
    // The first part is kept whole: a blank at its end is part of the text.
    record.description = Padded(description_start, kDescriptionPartLength) +
                         std::string(TrimTrailingWhiteSpace(description_end));
  }
}

}  // namespace qm::core
