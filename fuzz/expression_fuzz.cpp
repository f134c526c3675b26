// Fuzz target for the expression compiler and evaluator.
//
// Input: the expression text, then optionally a NUL byte and the bytes of a
// record (cut or blank-padded to the record length). The text is compiled
// as an expression, a key and a filter; whatever compiles is evaluated every
// way against the record. Besides the sanitizers' findings, a refusal must
// point inside the text and a character result must write exactly its width.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expression.h"
#include "engine/field_layout.h"

namespace {

using qm::engine::CompileResult;
using qm::engine::Expression;
using qm::engine::FieldDescriptor;
using qm::engine::FieldType;
using qm::engine::RecordLayout;

FieldDescriptor F(const char* name, FieldType type, int width, int decimals = 0) {
  FieldDescriptor field;
  field.name = name;
  field.type = type;
  field.width = width;
  field.decimals = decimals;
  return field;
}

// The time record row and the descriptor row together, plus the field types
// they lack.
const RecordLayout& Layout() {
  using T = FieldType;
  static const RecordLayout layout({
      F("PERSON", T::kCharacter, 35),   F("CLIENT", T::kCharacter, 35),
      F("PROJECT", T::kCharacter, 35),  F("SUBPROJECT", T::kCharacter, 35),
      F("TASK", T::kCharacter, 35),     F("RATE", T::kNumeric, 11),
      F("EXPENSE", T::kNumeric, 11),    F("START_DATE", T::kDate, 8),
      F("START_TIME", T::kCharacter, 8), F("END_DATE", T::kDate, 8),
      F("END_TIME", T::kCharacter, 8),  F("PAUSE_DUR", T::kNumeric, 7),
      F("BILLABLE", T::kLogical, 1),    F("EDITED", T::kLogical, 1),
      F("INVOICE", T::kNumeric, 9),     F("DESCSTART", T::kCharacter, 250),
      F("DESCEND", T::kCharacter, 250), F("DESCRIPTOR", T::kCharacter, 35),
      F("TYPE", T::kNumeric, 2),        F("LINKED_TO", T::kCharacter, 35),
      F("LINKTOTYPE", T::kNumeric, 2),  F("AMOUNT", T::kFloat, 20, 4),
      F("NOTES", T::kMemo, 10),
  });
  return layout;
}

constexpr char kCanary = '\x5A';
constexpr std::size_t kCanaryLength = 16;

void Check(bool condition) {
  if (!condition) std::abort();
}

void Exercise(const CompileResult& result, std::string_view text, const std::vector<char>& record) {
  if (!result.ok()) {
    Check(result.error().offset <= text.size());
    Check(!result.error().message.empty());
    return;
  }
  const Expression& e = result.expression();
  std::vector<char> out(e.result_width() + kCanaryLength, kCanary);
  e.EvaluateCharacter(record, std::span<char>(out.data(), e.result_width()));
  for (std::size_t i = e.result_width(); i < out.size(); ++i) Check(out[i] == kCanary);
  (void)e.EvaluateNumber(record);
  (void)e.EvaluateDate(record);
  (void)e.EvaluateLogical(record);

  const Expression copy = e;
  std::vector<char> again(copy.result_width(), '\0');
  copy.EvaluateCharacter(record, again);
  Check(again.empty() || std::memcmp(again.data(), out.data(), again.size()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view text = input.substr(0, split);
  const RecordLayout& layout = Layout();

  std::vector<char> record(layout.record_length(), ' ');
  if (split != std::string_view::npos) {
    const std::string_view bytes = input.substr(split + 1);
    std::memcpy(record.data(), bytes.data(), std::min(bytes.size(), record.size()));
  }

  Exercise(Expression::Compile(text, layout), text, record);
  Exercise(Expression::CompileKey(text, layout), text, record);
  Exercise(Expression::CompileFilter(text, layout), text, record);
  return 0;
}
