#include "core/durations.h"

#include <cstdint>

#include "core/amount_text.h"
#include "core/duration_text.h"

namespace qm::core {
namespace {

// Wraps like the 32-bit arithmetic the values were always computed in,
// without the undefined behaviour of a signed overflow.
Seconds Wrap32(std::int64_t value) { return static_cast<Seconds>(static_cast<std::uint32_t>(value)); }

}  // namespace

Seconds RawDuration(const TimeRecord& record, std::string* text) {
  const Seconds raw = Wrap32(static_cast<std::int64_t>(record.end) - record.start - record.pauseDuration);
  if (text != nullptr) *text = FormatDurationCurrent(raw);
  return raw;
}

Seconds RoundedDuration(const TimeRecord& record, const DurationSettings& settings) {
  const Seconds raw = RawDuration(record);
  if (raw == 0) return 0;
  const std::int64_t minimum = settings.MinimumDuration;
  const std::int64_t increment = settings.DurationIncrement;
  if (minimum == 0 && increment == 0) return raw;
  if (raw < minimum) return static_cast<Seconds>(minimum);
  if (increment <= 0) return raw;
  return Wrap32(minimum + (raw + increment - minimum - 1) / increment * increment);
}

Seconds RoundedDuration(const TimeRecord& record, std::string* text) {
  const Seconds rounded = RoundedDuration(record, CurrentDurationSettings());
  if (text != nullptr) *text = FormatDurationCurrent(rounded);
  return rounded;
}

double RecordRate(const TimeRecord& record) {
  return AmountTextToNumber(record.descriptors[kRateDescriptor].view());
}

double TimeFee(const TimeRecord& record, const DurationSettings& settings) {
  return static_cast<double>(RoundedDuration(record, settings)) * RecordRate(record) * kHoursPerSecond;
}

double TimeFee(const TimeRecord& record) { return TimeFee(record, CurrentDurationSettings()); }

double RecordFee(const TimeRecord& record, const DurationSettings& settings) {
  return TimeFee(record, settings) + record.expense;
}

double RecordFee(const TimeRecord& record) { return RecordFee(record, CurrentDurationSettings()); }

}  // namespace qm::core
