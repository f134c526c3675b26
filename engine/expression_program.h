// The compiled form of an expression: a flat array of typed nodes, each
// naming its operands by index, evaluated by a small recursive walker.
//
// Types are settled when compiling, so the walker never checks one: a text
// node is only ever asked for text, a logical node for a truth value.
// Numeric and date nodes share one evaluator that yields a double (a date is
// its Julian day number).
//
// Text results have a maximum width fixed at compile time. A node that a
// parent needs to look at as a whole (a comparison operand, the argument of
// SUBSTR) writes into its own slot of the expression's arena; everything
// else writes straight into its parent's output. Fields and literals are
// read where they are and never copied for a comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/expression.h"

namespace qm::engine::expression_internal {

enum class Op : std::uint8_t {
  // Character results.
  kTextField,      // record[offset, offset + width)
  kTextLiteral,    // arena[offset, offset + width)
  kConcat,         // a + b
  kConcatTrimmed,  // a - b: a's trailing blanks move behind b
  kUpper,          // UPPER(a)
  kTrim,           // TRIM(a), RTRIM(a)
  kLtrim,          // LTRIM(a)
  kSubstr,         // SUBSTR(a, start, width): start in `start`
  kRight,          // RIGHT(a, width)
  kStr,            // STR(a, width, decimals)
  kDtos,           // DTOS(a)
  kDtoc,           // DTOC(a), always MM/DD/YY
  kTextIif,        // IIF(a, b, c), padded to width

  // Numeric and date results.
  kNumberField,  // a numeric field's text
  kDateField,    // a date field's CCYYMMDD
  kNumberLiteral,
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kNegate,
  kVal,         // VAL(a)
  kNumberIif,   // IIF(a, b, c)

  // Logical results.
  kLogicalField,
  kLogicalLiteral,  // number != 0
  kAnd,
  kOr,
  kNot,
  kDeleted,
  kCompareText,     // a `compare` b
  kCompareNumber,   // numbers and dates
  kCompareLogical,  // = and <> only
  kContains,        // a $ b
  kLogicalIif,
};

enum class Comparison : std::uint8_t {
  kEqual,
  kNotEqual,
  kLess,
  kGreater,
  kLessOrEqual,
  kGreaterOrEqual,
};

inline constexpr std::uint32_t kNoSlot = 0xFFFFFFFF;

struct Node {
  Op op = Op::kNumberLiteral;
  ExpressionType type = ExpressionType::kNumeric;
  Comparison comparison = Comparison::kEqual;
  std::uint32_t a = 0, b = 0, c = 0;  // operand nodes
  std::uint32_t offset = 0;           // field offset in the record, or literal offset in the arena
  std::uint32_t width = 0;            // maximum text width (texts); field width (fields)
  std::int32_t start = 0;             // SUBSTR: 0-based start
  std::int32_t decimals = 0;          // STR
  std::uint32_t slot = kNoSlot;       // arena offset of this node's own text result
  double number = 0;                  // literal value
};

// One evaluation's view of a program.
struct Machine {
  const Node* nodes;
  char* arena;
  const char* record;

  // Writes the node's text to `out` (room for node.width bytes); returns
  // its length, which TRIM and LTRIM may make shorter than the width.
  std::size_t WriteText(std::uint32_t node, char* out) const;
  // The node's text: in place for fields and literals, else in its slot.
  std::string_view ViewText(std::uint32_t node) const;
  double Number(std::uint32_t node) const;
  bool Logical(std::uint32_t node) const;
};

// Three-way comparison of texts that stops at the end of the right operand.
int CompareTexts(std::string_view left, std::string_view right);

}  // namespace qm::engine::expression_internal
