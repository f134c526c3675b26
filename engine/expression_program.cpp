#include "engine/expression_program.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/expression_values.h"

namespace qm::engine::expression_internal {
namespace {

// memcpy and memset want valid pointers even for no bytes; an empty
// literal or result may have none.
void CopyBytes(char* to, const char* from, std::size_t count) {
  if (count > 0) std::memcpy(to, from, count);
}

void FillBlanks(char* to, std::size_t count) {
  if (count > 0) std::memset(to, ' ', count);
}

bool IsTrueLetter(char c) { return c == 'T' || c == 't' || c == 'Y' || c == 'y'; }

bool Holds(Comparison comparison, int order) {
  switch (comparison) {
    case Comparison::kEqual: return order == 0;
    case Comparison::kNotEqual: return order != 0;
    case Comparison::kLess: return order < 0;
    case Comparison::kGreater: return order > 0;
    case Comparison::kLessOrEqual: return order <= 0;
    case Comparison::kGreaterOrEqual: return order >= 0;
  }
  return false;
}

int CompareNumbers(double left, double right) { return left < right ? -1 : (left > right ? 1 : 0); }

}  // namespace

int CompareTexts(std::string_view left, std::string_view right) {
  const std::size_t common = std::min(left.size(), right.size());
  if (common > 0) {
    // memcmp compares as unsigned char, which is the order of the keys.
    const int order = std::memcmp(left.data(), right.data(), common);
    if (order != 0) return order < 0 ? -1 : 1;
  }
  // The right operand decides how far the comparison goes; a left text that
  // ends before it is the smaller.
  return left.size() >= right.size() ? 0 : -1;
}

std::size_t Machine::WriteText(std::uint32_t index, char* out) const {
  const Node& node = nodes[index];
  switch (node.op) {
    case Op::kTextField:
      CopyBytes(out, record + node.offset, node.width);
      return node.width;
    case Op::kTextLiteral:
      CopyBytes(out, arena + node.offset, node.width);
      return node.width;
    case Op::kConcat: {
      const std::size_t length = WriteText(node.a, out);
      return length + WriteText(node.b, out + length);
    }
    case Op::kConcatTrimmed: {
      std::size_t length = WriteText(node.a, out);
      std::size_t kept = length;
      while (kept > 0 && out[kept - 1] == ' ') --kept;
      const std::size_t right = WriteText(node.b, out + kept);
      FillBlanks(out + kept + right, length - kept);
      return length + right;
    }
    case Op::kUpper: {
      const std::size_t length = WriteText(node.a, out);
      const std::array<char, 256>& upper = UpperCaseTable();
      for (std::size_t i = 0; i < length; ++i) out[i] = upper[static_cast<unsigned char>(out[i])];
      return length;
    }
    case Op::kTrim: {
      std::size_t length = WriteText(node.a, out);
      while (length > 0 && out[length - 1] == ' ') --length;
      return length;
    }
    case Op::kLtrim: {
      const std::size_t length = WriteText(node.a, out);
      std::size_t first = 0;
      while (first < length && out[first] == ' ') ++first;
      if (first > 0) std::memmove(out, out + first, length - first);
      return length - first;
    }
    case Op::kSubstr: {
      const std::string_view source = ViewText(node.a);
      const std::size_t start = static_cast<std::size_t>(node.start);
      if (start >= source.size()) return 0;
      const std::size_t length = std::min<std::size_t>(node.width, source.size() - start);
      CopyBytes(out, source.data() + start, length);
      return length;
    }
    case Op::kRight: {
      const std::string_view source = ViewText(node.a);
      const std::size_t length = std::min<std::size_t>(node.width, source.size());
      CopyBytes(out, source.data() + source.size() - length, length);
      return length;
    }
    case Op::kStr:
      WriteStr(Number(node.a), static_cast<int>(node.width), node.decimals, out);
      return node.width;
    case Op::kDtos: {
      const Node& operand = nodes[node.a];
      if (operand.op == Op::kDateField && operand.width >= 8) {
        // A valid stored date already is its own DTOS text.
        const char* stored = record + operand.offset;
        if (JulianDayFromDateText(std::string_view(stored, 8)) != 0) {
          CopyBytes(out, stored, 8);
        } else {
          FillBlanks(out, 8);
        }
        return 8;
      }
      WriteDateText(Number(node.a), out);
      return 8;
    }
    case Op::kDtoc:
      WriteDateMdy(Number(node.a), out);
      return 8;
    case Op::kTextIif: {
      const std::size_t length = WriteText(Logical(node.a) ? node.b : node.c, out);
      FillBlanks(out + length, node.width - length);
      return node.width;
    }
    default:
      return 0;  // not a text node; the compiler never asks
  }
}

std::string_view Machine::ViewText(std::uint32_t index) const {
  const Node& node = nodes[index];
  switch (node.op) {
    case Op::kTextField: return std::string_view(record + node.offset, node.width);
    case Op::kTextLiteral: return std::string_view(arena + node.offset, node.width);
    default: {
      char* slot = arena + node.slot;
      return std::string_view(slot, WriteText(index, slot));
    }
  }
}

double Machine::Number(std::uint32_t index) const {
  const Node& node = nodes[index];
  switch (node.op) {
    case Op::kNumberField:
      return ParseNumberText(std::string_view(record + node.offset, node.width));
    case Op::kDateField:
      return JulianDayFromDateText(std::string_view(record + node.offset, node.width));
    case Op::kNumberLiteral: return node.number;
    case Op::kAdd: return Number(node.a) + Number(node.b);
    case Op::kSubtract: return Number(node.a) - Number(node.b);
    case Op::kMultiply: return Number(node.a) * Number(node.b);
    case Op::kDivide: {
      const double divisor = Number(node.b);
      return divisor == 0 ? 0 : Number(node.a) / divisor;
    }
    case Op::kNegate: return -Number(node.a);
    case Op::kVal: return ParseNumberText(ViewText(node.a));
    case Op::kNumberIif: return Logical(node.a) ? Number(node.b) : Number(node.c);
    default: return 0;
  }
}

bool Machine::Logical(std::uint32_t index) const {
  const Node& node = nodes[index];
  switch (node.op) {
    case Op::kLogicalField: return node.width > 0 && IsTrueLetter(record[node.offset]);
    case Op::kLogicalLiteral: return node.number != 0;
    case Op::kAnd: return Logical(node.a) && Logical(node.b);
    case Op::kOr: return Logical(node.a) || Logical(node.b);
    case Op::kNot: return !Logical(node.a);
    case Op::kDeleted: return record[0] == '*';
    case Op::kCompareText:
      return Holds(node.comparison, CompareTexts(ViewText(node.a), ViewText(node.b)));
    case Op::kCompareNumber:
      return Holds(node.comparison, CompareNumbers(Number(node.a), Number(node.b)));
    case Op::kCompareLogical: {
      const bool equal = Logical(node.a) == Logical(node.b);
      return node.comparison == Comparison::kEqual ? equal : !equal;
    }
    case Op::kContains: {
      const std::string_view needle = ViewText(node.a);
      if (needle.empty()) return false;
      return ViewText(node.b).find(needle) != std::string_view::npos;
    }
    case Op::kLogicalIif: return Logical(node.a) ? Logical(node.b) : Logical(node.c);
    default: return false;
  }
}

}  // namespace qm::engine::expression_internal
