#include "engine/expression.h"

#include <cstring>

#include "engine/expression_compiler.h"
#include "engine/expression_program.h"

namespace qm::engine {

using expression_internal::Machine;

Expression::Expression() = default;
Expression::Expression(const Expression&) = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(const Expression&) = default;
Expression& Expression::operator=(Expression&&) noexcept = default;
Expression::~Expression() = default;

CompileResult Expression::Compile(std::string_view text, const RecordLayout& layout) {
  return ExpressionCompiler::Compile(text, layout);
}

CompileResult Expression::CompileKey(std::string_view text, const RecordLayout& layout) {
  CompileResult result = ExpressionCompiler::Compile(text, layout);
  if (!result.ok()) return result;
  const Expression& key = result.expression();
  switch (key.result_type()) {
    case ExpressionType::kLogical:
      return ExpressionError{0, "A key must be character, numeric or date, not logical"};
    case ExpressionType::kCharacter:
      if (key.result_width() == 0) {
        return ExpressionError{0, "The key is always empty"};
      }
      if (key.result_width() > kMaxKeyLength) {
        return ExpressionError{0, "The key is " + std::to_string(key.result_width()) +
                                      " characters long; a key holds at most " +
                                      std::to_string(kMaxKeyLength)};
      }
      break;
    default:
      break;
  }
  return result;
}

CompileResult Expression::CompileFilter(std::string_view text, const RecordLayout& layout) {
  CompileResult result = ExpressionCompiler::Compile(text, layout);
  if (!result.ok()) return result;
  switch (result.expression().result_type()) {
    case ExpressionType::kLogical: return result;
    case ExpressionType::kCharacter: return ExpressionError{0, "A filter must be logical, not character"};
    case ExpressionType::kNumeric: return ExpressionError{0, "A filter must be logical, not numeric"};
    case ExpressionType::kDate: return ExpressionError{0, "A filter must be logical, not date"};
  }
  return result;
}

void Expression::EvaluateCharacter(std::span<const char> record, std::span<char> out) const {
  const std::size_t width = std::min(result_width_, out.size());
  if (width == 0) return;
  if (result_type_ != ExpressionType::kCharacter || !Accepts(record) || out.size() < result_width_) {
    std::memset(out.data(), ' ', width);
    return;
  }
  const Machine machine{nodes_.data(), arena_.data(), record.data()};
  const std::size_t length =
      machine.WriteText(static_cast<std::uint32_t>(nodes_.size() - 1), out.data());
  if (length < result_width_) std::memset(out.data() + length, ' ', result_width_ - length);
}

double Expression::EvaluateNumber(std::span<const char> record) const {
  if (result_type_ != ExpressionType::kNumeric || !Accepts(record)) return 0;
  const Machine machine{nodes_.data(), arena_.data(), record.data()};
  return machine.Number(static_cast<std::uint32_t>(nodes_.size() - 1));
}

double Expression::EvaluateDate(std::span<const char> record) const {
  if (result_type_ != ExpressionType::kDate || !Accepts(record)) return 0;
  const Machine machine{nodes_.data(), arena_.data(), record.data()};
  return machine.Number(static_cast<std::uint32_t>(nodes_.size() - 1));
}

bool Expression::EvaluateLogical(std::span<const char> record) const {
  if (result_type_ != ExpressionType::kLogical || !Accepts(record)) return false;
  const Machine machine{nodes_.data(), arena_.data(), record.data()};
  return machine.Logical(static_cast<std::uint32_t>(nodes_.size() - 1));
}

}  // namespace qm::engine
