// Expression: a dBASE key or filter expression, compiled once against a
// table's record layout and then evaluated against many record buffers.
//
// The language is the part of dBASE that keys and filters use:
//
//   field names        PERSON, _SkZ (any case)
//   literals           "text", 'text', [text], 12, 12.5, .5, .T., .F. (also
//                      .Y. .N. .TRUE. .FALSE.)
//   operators          + - * /      numbers; + and - also join texts and move
//                                   dates by days (date - date is a number)
//                      = <> # < > <= >= $        comparisons; $ is "left is
//                                   contained in right"
//                      .NOT. .AND. .OR.          in that order of binding,
//                                   all looser than the comparisons
//   functions          DTOS DTOC UPPER SUBSTR LEFT RIGHT STR TRIM RTRIM
//                      LTRIM IIF VAL DELETED, each also by any abbreviation
//                      of at least four letters (SUBS, DELE)
//
// Values and rules:
// - A character field is its fixed-width text, blanks included; a numeric
//   field the number its text denotes (blank is 0); a date field its Julian
//   day number (0 when blank or no real date); a logical field is true for
//   T t Y y. Field text reads exactly as the data file reads it.
//   Memo fields cannot be used.
// - Every character result has a fixed maximum width known at compile time.
//   TRIM and LTRIM may make a value shorter; the final result is padded with
//   blanks to result_width(), the way index keys are stored.
// - Texts compare byte by byte as unsigned bytes, and only as far as the
//   right operand reaches: "ABC" = "AB" is true, "AB" = "ABC" is false, and
//   so is "AB" = "AB " (the left text ends first, which makes it the
//   smaller). Anything = "" is true. All six comparisons follow this one
//   rule, so <> is exactly the negation of =. Filters rely on it: the
//   program writes UPPER(CLIENT)="ACME   " to match the whole name ACME in
//   a 35-character field rather than every name that begins with it.
// - "" $ text is false.
// - UPPER maps the Windows-1252 letters: a-z, à-þ except ÷, and š œ ž ÿ.
// - STR(n [, width [, decimals]]): width 10 and 0 decimals by default; the
//   number rounded half away from zero, right-aligned. When it does not fit,
//   fewer decimals are shown; when even the whole part does not fit, the
//   result is width asterisks.
// - SUBSTR(text, start [, length]), LEFT and RIGHT take constant numbers,
//   because the width of their result must be known when compiling.
// - IIF(condition, a, b): both branches of one type; a character result is
//   padded to the wider branch.
// - Division by zero gives 0 rather than stopping the evaluation of a
//   whole index.
//
// Evaluation never allocates: the compiled program owns its scratch space.
// That scratch space makes evaluation unsafe from two threads at once; give
// each thread its own copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/field_layout.h"

namespace qm::engine {

enum class ExpressionType : char {
  kCharacter = 'C',
  kNumeric = 'N',
  kDate = 'D',
  kLogical = 'L',
};

// Why a text did not compile.
struct ExpressionError {
  std::size_t offset = 0;  // 0-based offset in the text where the fault lies
  // What is wrong and where, e.g. `Unknown field "CLEINT" at position 7`
  // (positions in messages count from 1).
  std::string message;
};

namespace expression_internal {
struct Node;
}

class CompileResult;

class Expression {
 public:
  // Longest character key an index tag can hold.
  static constexpr std::size_t kMaxKeyLength = 100;
  // Longest text accepted at all; real keys and filters are far shorter.
  static constexpr std::size_t kMaxTextLength = 4096;

  // Any expression of any type.
  static CompileResult Compile(std::string_view text, const RecordLayout& layout);
  // The key of an index tag: character (1 to kMaxKeyLength bytes), numeric
  // or date.
  static CompileResult CompileKey(std::string_view text, const RecordLayout& layout);
  // A FOR filter: logical.
  static CompileResult CompileFilter(std::string_view text, const RecordLayout& layout);

  Expression(const Expression&);
  Expression(Expression&&) noexcept;
  Expression& operator=(const Expression&);
  Expression& operator=(Expression&&) noexcept;
  ~Expression();

  // The text it was compiled from, as given.
  const std::string& text() const { return text_; }
  ExpressionType result_type() const { return result_type_; }
  // Width of a character result; 0 for the other types.
  std::size_t result_width() const { return result_width_; }

  // Every Evaluate call takes one record buffer of the layout compiled
  // against (deletion byte first). A buffer that is too short, or a call
  // for the wrong result type, yields blanks, 0 or false.

  // Writes exactly result_width() bytes to the front of `out`.
  void EvaluateCharacter(std::span<const char> record, std::span<char> out) const;
  double EvaluateNumber(std::span<const char> record) const;
  // Julian day number; 0 for an empty date.
  double EvaluateDate(std::span<const char> record) const;
  bool EvaluateLogical(std::span<const char> record) const;

 private:
  friend class ExpressionCompiler;
  Expression();

  bool Accepts(std::span<const char> record) const {
    return record.size() >= required_record_length_;
  }

  std::string text_;
  ExpressionType result_type_ = ExpressionType::kLogical;
  std::size_t result_width_ = 0;
  std::size_t required_record_length_ = 0;
  std::vector<expression_internal::Node> nodes_;  // the root is the last
  // Literal texts and each node's room for its text result.
  mutable std::vector<char> arena_;
};

// The outcome of compiling: an expression, or the reason it was refused.
class CompileResult {
 public:
  CompileResult(Expression expression) : expression_(std::move(expression)) {}
  CompileResult(ExpressionError error) : error_(std::move(error)) {}

  bool ok() const { return expression_.has_value(); }
  // Only when ok().
  Expression& expression() { return *expression_; }
  const Expression& expression() const { return *expression_; }
  // Only when !ok().
  const ExpressionError& error() const { return error_; }

 private:
  std::optional<Expression> expression_;
  ExpressionError error_;
};

}  // namespace qm::engine
