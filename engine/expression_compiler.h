// ExpressionCompiler: turns an expression's text into the node program of
// an Expression, checking every operand's type on the way, or says what is
// wrong and where.
#pragma once

#include <string_view>

#include "engine/expression.h"
#include "engine/field_layout.h"

namespace qm::engine {

class ExpressionCompiler {
 public:
  static CompileResult Compile(std::string_view text, const RecordLayout& layout);
};

}  // namespace qm::engine
