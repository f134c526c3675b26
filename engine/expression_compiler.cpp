#include "engine/expression_compiler.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/expression_lexer.h"
#include "engine/expression_program.h"
#include "engine/expression_values.h"

namespace qm::engine {
namespace {

using expression_internal::Comparison;
using expression_internal::Lexer;
using expression_internal::Machine;
using expression_internal::Node;
using expression_internal::Op;
using expression_internal::Token;
using expression_internal::TokenKind;

// Parentheses, calls and prefix operators inside one another. Real keys
// nest three or four deep; the limit keeps hostile text from exhausting
// the stack.
constexpr int kMaxNesting = 100;
// Widest text value any node may produce, and all scratch room together.
constexpr std::uint32_t kMaxTextWidth = 65535;
constexpr std::size_t kMaxArena = std::size_t{1} << 20;
// STR() can produce at most this many characters.
constexpr int kMaxStrWidth = 255;

struct CompileFailure {
  std::size_t offset;
  std::string message;
};

const char* TypeName(ExpressionType type) {
  switch (type) {
    case ExpressionType::kCharacter: return "character";
    case ExpressionType::kNumeric: return "numeric";
    case ExpressionType::kDate: return "date";
    case ExpressionType::kLogical: return "logical";
  }
  return "unknown";
}

enum class Function {
  kDeleted,
  kDtoc,
  kDtos,
  kIif,
  kLeft,
  kLtrim,
  kRight,
  kRtrim,
  kStr,
  kSubstr,
  kTrim,
  kUpper,
  kVal,
};

struct FunctionInfo {
  std::string_view name;
  Function function;
  int min_arguments;
  int max_arguments;
};

constexpr FunctionInfo kFunctions[] = {
    {"DELETED", Function::kDeleted, 0, 0}, {"DTOC", Function::kDtoc, 1, 1},
    {"DTOS", Function::kDtos, 1, 1},       {"IIF", Function::kIif, 3, 3},
    {"LEFT", Function::kLeft, 2, 2},       {"LTRIM", Function::kLtrim, 1, 1},
    {"RIGHT", Function::kRight, 2, 2},     {"RTRIM", Function::kRtrim, 1, 1},
    {"STR", Function::kStr, 1, 3},         {"SUBSTR", Function::kSubstr, 2, 3},
    {"TRIM", Function::kTrim, 1, 1},       {"UPPER", Function::kUpper, 1, 1},
    {"VAL", Function::kVal, 1, 1},
};

// A function by its name or, as dBASE allows, any abbreviation of at least
// four letters.
const FunctionInfo* FindFunction(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = expression_internal::UpperCp1252(c);
  for (const FunctionInfo& info : kFunctions) {
    if (upper == info.name) return &info;
  }
  if (upper.size() < 4) return nullptr;
  for (const FunctionInfo& info : kFunctions) {
    if (info.name.substr(0, upper.size()) == upper) return &info;
  }
  return nullptr;
}

// One operand as parsed: its node and where its text starts.
struct Operand {
  std::uint32_t node;
  std::size_t offset;
};

class Parser {
 public:
  Parser(std::string_view text, const RecordLayout& layout) : lexer_(text), layout_(layout) {
    Advance();
  }

  std::uint32_t ParseAll() {
    if (token_.kind == TokenKind::kEnd) Fail(token_.offset, "The expression is empty");
    const std::uint32_t root = ParseOr().node;
    if (token_.kind != TokenKind::kEnd) Unexpected();
    return root;
  }

  std::vector<Node> nodes;
  std::vector<char> arena;
  std::size_t required_record_length = 0;

 private:
  [[noreturn]] void Fail(std::size_t offset, std::string message) {
    throw CompileFailure{offset, std::move(message)};
  }
  [[noreturn]] void Unexpected() {
    Fail(token_.offset, "Unexpected " + expression_internal::Describe(token_));
  }

  void Advance() {
    token_ = lexer_.Next();
    if (token_.kind == TokenKind::kError) Fail(token_.offset, token_.error);
  }

  void Expect(TokenKind kind, const char* what) {
    if (token_.kind != kind) {
      Fail(token_.offset, std::string("Missing ") + what + ", found " +
                              expression_internal::Describe(token_));
    }
    Advance();
  }

  // Counts one level of nesting for as long as it lives.
  class NestingGuard {
   public:
    NestingGuard(Parser& parser, std::size_t offset) : parser_(parser) {
      if (++parser_.nesting_ > kMaxNesting) parser_.Fail(offset, "The expression is nested too deeply");
    }
    ~NestingGuard() { --parser_.nesting_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

   private:
    Parser& parser_;
  };

  const Node& At(std::uint32_t node) const { return nodes[node]; }
  ExpressionType TypeOf(std::uint32_t node) const { return nodes[node].type; }

  std::uint32_t Add(const Node& node, bool constant) {
    nodes.push_back(node);
    constant_.push_back(constant);
    return static_cast<std::uint32_t>(nodes.size() - 1);
  }

  std::uint32_t Reserve(std::size_t bytes) {
    if (arena.size() + bytes > kMaxArena) Fail(0, "The expression is too large");
    const std::size_t offset = arena.size();
    arena.resize(offset + bytes, ' ');
    return static_cast<std::uint32_t>(offset);
  }

  // Gives a text node room for its own result when a parent must see the
  // whole of it; fields and literals are seen where they lie.
  void NeedView(std::uint32_t node) {
    Node& n = nodes[node];
    if (n.op == Op::kTextField || n.op == Op::kTextLiteral || n.slot != expression_internal::kNoSlot) return;
    const std::uint32_t width = n.width;
    const std::uint32_t slot = Reserve(width);
    nodes[node].slot = slot;
  }

  bool IsConstant(std::uint32_t node) const { return constant_[node]; }
  bool AllConstant(std::initializer_list<std::uint32_t> operands) const {
    for (std::uint32_t operand : operands) {
      if (!IsConstant(operand)) return false;
    }
    return true;
  }

  void RequireType(const Operand& operand, ExpressionType type, std::string_view what) {
    if (TypeOf(operand.node) != type) {
      Fail(operand.offset, std::string(what) + " needs a " + TypeName(type) + " value, not " +
                               TypeName(TypeOf(operand.node)));
    }
  }

  // A number that must be known now because it fixes a result's width.
  int ConstantInteger(const Operand& operand, std::string_view what, int min, int max) {
    if (TypeOf(operand.node) != ExpressionType::kNumeric || !IsConstant(operand.node)) {
      Fail(operand.offset, std::string(what) + " must be a constant number");
    }
    const Machine machine{nodes.data(), arena.data(), nullptr};
    const double value = std::trunc(machine.Number(operand.node));
    if (!(value >= min && value <= max)) {
      Fail(operand.offset, std::string(what) + " must lie between " + std::to_string(min) +
                               " and " + std::to_string(max));
    }
    return static_cast<int>(value);
  }

  // --- Grammar, loosest binding first ---------------------------------------

  Operand ParseOr() {
    Operand left = ParseAnd();
    while (token_.kind == TokenKind::kOr) {
      Advance();
      const Operand right = ParseAnd();
      left.node = Logic(Op::kOr, left, right, ".OR.");
    }
    return left;
  }

  Operand ParseAnd() {
    Operand left = ParseNot();
    while (token_.kind == TokenKind::kAnd) {
      Advance();
      const Operand right = ParseNot();
      left.node = Logic(Op::kAnd, left, right, ".AND.");
    }
    return left;
  }

  std::uint32_t Logic(Op op, const Operand& left, const Operand& right, const char* name) {
    for (const Operand* operand : {&left, &right}) {
      if (TypeOf(operand->node) != ExpressionType::kLogical) {
        Fail(operand->offset, std::string(name) + " needs logical operands, not " +
                                  TypeName(TypeOf(operand->node)));
      }
    }
    Node node;
    node.op = op;
    node.type = ExpressionType::kLogical;
    node.a = left.node;
    node.b = right.node;
    return Add(node, AllConstant({left.node, right.node}));
  }

  Operand ParseNot() {
    if (token_.kind != TokenKind::kNot) return ParseComparison();
    const std::size_t at = token_.offset;
    NestingGuard guard(*this, at);
    Advance();
    const Operand operand = ParseNot();
    RequireType(operand, ExpressionType::kLogical, ".NOT.");
    Node node;
    node.op = Op::kNot;
    node.type = ExpressionType::kLogical;
    node.a = operand.node;
    return {Add(node, IsConstant(operand.node)), at};
  }

  static bool IsComparison(TokenKind kind, Comparison& comparison) {
    switch (kind) {
      case TokenKind::kEqual: comparison = Comparison::kEqual; return true;
      case TokenKind::kNotEqual: comparison = Comparison::kNotEqual; return true;
      case TokenKind::kLess: comparison = Comparison::kLess; return true;
      case TokenKind::kGreater: comparison = Comparison::kGreater; return true;
      case TokenKind::kLessOrEqual: comparison = Comparison::kLessOrEqual; return true;
      case TokenKind::kGreaterOrEqual: comparison = Comparison::kGreaterOrEqual; return true;
      default: return false;
    }
  }

  Operand ParseComparison() {
    Operand left = ParseAdditive();
    for (;;) {
      Comparison comparison = Comparison::kEqual;
      const bool contains = token_.kind == TokenKind::kContainedIn;
      if (!contains && !IsComparison(token_.kind, comparison)) return left;
      const Token op = token_;
      Advance();
      const Operand right = ParseAdditive();
      const ExpressionType lt = TypeOf(left.node), rt = TypeOf(right.node);
      const std::string name(op.text);
      if (lt != rt) {
        Fail(op.offset, "Cannot compare " + std::string(TypeName(lt)) + " and " + TypeName(rt) +
                            " with \"" + name + "\"");
      }
      Node node;
      node.type = ExpressionType::kLogical;
      node.comparison = comparison;
      node.a = left.node;
      node.b = right.node;
      if (contains) {
        if (lt != ExpressionType::kCharacter) {
          Fail(op.offset, std::string("\"$\" needs character operands, not ") + TypeName(lt));
        }
        node.op = Op::kContains;
      } else if (lt == ExpressionType::kCharacter) {
        node.op = Op::kCompareText;
      } else if (lt == ExpressionType::kLogical) {
        if (comparison != Comparison::kEqual && comparison != Comparison::kNotEqual) {
          Fail(op.offset, "Logical values can only be compared with \"=\" or \"<>\"");
        }
        node.op = Op::kCompareLogical;
      } else {
        node.op = Op::kCompareNumber;
      }
      if (lt == ExpressionType::kCharacter) {
        NeedView(left.node);
        NeedView(right.node);
      }
      left.node = Add(node, AllConstant({left.node, right.node}));
    }
  }

  Operand ParseAdditive() {
    Operand left = ParseMultiplicative();
    while (token_.kind == TokenKind::kPlus || token_.kind == TokenKind::kMinus) {
      const Token op = token_;
      Advance();
      const Operand right = ParseMultiplicative();
      left.node = op.kind == TokenKind::kPlus ? Plus(left, right, op.offset)
                                              : Minus(left, right, op.offset);
    }
    return left;
  }

  [[noreturn]] void FailOperator(char op, std::uint32_t left, std::uint32_t right, std::size_t at) {
    Fail(at, std::string("Cannot apply \"") + op + "\" to " + TypeName(TypeOf(left)) + " and " +
                 TypeName(TypeOf(right)));
  }

  // Only joining texts makes them wider than their parts.
  std::uint32_t JoinedWidth(std::uint32_t left, std::uint32_t right, std::size_t at) {
    const std::uint64_t width = std::uint64_t{At(left).width} + At(right).width;
    if (width > kMaxTextWidth) {
      Fail(at, "The joined text is longer than " + std::to_string(kMaxTextWidth) + " characters");
    }
    return static_cast<std::uint32_t>(width);
  }

  std::uint32_t Plus(const Operand& left, const Operand& right, std::size_t at) {
    const ExpressionType lt = TypeOf(left.node), rt = TypeOf(right.node);
    Node node;
    node.a = left.node;
    node.b = right.node;
    using T = ExpressionType;
    if (lt == T::kCharacter && rt == T::kCharacter) {
      node.op = Op::kConcat;
      node.type = T::kCharacter;
      node.width = JoinedWidth(left.node, right.node, at);
    } else if (lt == T::kNumeric && rt == T::kNumeric) {
      node.op = Op::kAdd;
      node.type = T::kNumeric;
    } else if ((lt == T::kDate && rt == T::kNumeric) || (lt == T::kNumeric && rt == T::kDate)) {
      node.op = Op::kAdd;
      node.type = T::kDate;
    } else {
      FailOperator('+', left.node, right.node, at);
    }
    return Add(node, AllConstant({left.node, right.node}));
  }

  std::uint32_t Minus(const Operand& left, const Operand& right, std::size_t at) {
    const ExpressionType lt = TypeOf(left.node), rt = TypeOf(right.node);
    Node node;
    node.a = left.node;
    node.b = right.node;
    using T = ExpressionType;
    if (lt == T::kCharacter && rt == T::kCharacter) {
      node.op = Op::kConcatTrimmed;
      node.type = T::kCharacter;
      node.width = JoinedWidth(left.node, right.node, at);
    } else if (lt == T::kNumeric && rt == T::kNumeric) {
      node.op = Op::kSubtract;
      node.type = T::kNumeric;
    } else if (lt == T::kDate && rt == T::kNumeric) {
      node.op = Op::kSubtract;
      node.type = T::kDate;
    } else if (lt == T::kDate && rt == T::kDate) {
      node.op = Op::kSubtract;
      node.type = T::kNumeric;
    } else {
      FailOperator('-', left.node, right.node, at);
    }
    return Add(node, AllConstant({left.node, right.node}));
  }

  Operand ParseMultiplicative() {
    Operand left = ParseUnary();
    while (token_.kind == TokenKind::kStar || token_.kind == TokenKind::kSlash) {
      const Token op = token_;
      Advance();
      const Operand right = ParseUnary();
      const char symbol = op.kind == TokenKind::kStar ? '*' : '/';
      if (TypeOf(left.node) != ExpressionType::kNumeric ||
          TypeOf(right.node) != ExpressionType::kNumeric) {
        FailOperator(symbol, left.node, right.node, op.offset);
      }
      Node node;
      node.op = op.kind == TokenKind::kStar ? Op::kMultiply : Op::kDivide;
      node.type = ExpressionType::kNumeric;
      node.a = left.node;
      node.b = right.node;
      left.node = Add(node, AllConstant({left.node, right.node}));
    }
    return left;
  }

  Operand ParseUnary() {
    if (token_.kind != TokenKind::kMinus && token_.kind != TokenKind::kPlus) return ParsePrimary();
    const Token op = token_;
    NestingGuard guard(*this, op.offset);
    Advance();
    const Operand operand = ParseUnary();
    if (TypeOf(operand.node) != ExpressionType::kNumeric) {
      Fail(op.offset, std::string("Unary \"") + std::string(op.text) + "\" needs a numeric value, not " +
                          TypeName(TypeOf(operand.node)));
    }
    if (op.kind == TokenKind::kPlus) return {operand.node, op.offset};
    Node node;
    node.op = Op::kNegate;
    node.type = ExpressionType::kNumeric;
    node.a = operand.node;
    return {Add(node, IsConstant(operand.node)), op.offset};
  }

  Operand ParsePrimary() {
    const Token token = token_;
    switch (token.kind) {
      case TokenKind::kNumber: {
        Advance();
        Node node;
        node.op = Op::kNumberLiteral;
        node.type = ExpressionType::kNumeric;
        node.number = token.number;
        return {Add(node, true), token.offset};
      }
      case TokenKind::kText: {
        Advance();
        Node node;
        node.op = Op::kTextLiteral;
        node.type = ExpressionType::kCharacter;
        node.width = static_cast<std::uint32_t>(token.text.size());
        node.offset = Reserve(token.text.size());
        token.text.copy(arena.data() + node.offset, token.text.size());
        return {Add(node, true), token.offset};
      }
      case TokenKind::kTrue:
      case TokenKind::kFalse: {
        Advance();
        Node node;
        node.op = Op::kLogicalLiteral;
        node.type = ExpressionType::kLogical;
        node.number = token.kind == TokenKind::kTrue ? 1 : 0;
        return {Add(node, true), token.offset};
      }
      case TokenKind::kLeftParen: {
        NestingGuard guard(*this, token.offset);
        Advance();
        const Operand inner = ParseOr();
        Expect(TokenKind::kRightParen, "\")\"");
        return {inner.node, token.offset};
      }
      case TokenKind::kIdentifier: {
        Advance();
        if (token_.kind == TokenKind::kLeftParen) return Call(token);
        return Field(token);
      }
      default:
        Unexpected();
    }
  }

  Operand Field(const Token& name) {
    const std::optional<std::size_t> index = layout_.Find(name.text);
    if (!index) Fail(name.offset, "Unknown field \"" + std::string(name.text) + "\"");
    const FieldDescriptor& field = layout_.fields()[*index];
    Node node;
    node.offset = static_cast<std::uint32_t>(field.offset);
    node.width = static_cast<std::uint32_t>(field.width < 0 ? 0 : field.width);
    switch (field.type) {
      case FieldType::kCharacter:
        node.op = Op::kTextField;
        node.type = ExpressionType::kCharacter;
        break;
      case FieldType::kNumeric:
      case FieldType::kFloat:
        node.op = Op::kNumberField;
        node.type = ExpressionType::kNumeric;
        break;
      case FieldType::kDate:
        node.op = Op::kDateField;
        node.type = ExpressionType::kDate;
        break;
      case FieldType::kLogical:
        node.op = Op::kLogicalField;
        node.type = ExpressionType::kLogical;
        break;
      case FieldType::kMemo:
        Fail(name.offset, "Memo field \"" + field.name + "\" cannot be used in an expression");
    }
    const std::size_t end = field.offset + node.width;
    if (end > required_record_length) required_record_length = end;
    return {Add(node, false), name.offset};
  }

  Operand Call(const Token& name) {
    const FunctionInfo* info = FindFunction(name.text);
    if (info == nullptr) Fail(name.offset, "Unknown function \"" + std::string(name.text) + "\"");
    NestingGuard guard(*this, name.offset);
    Advance();  // (
    std::vector<Operand> arguments;
    if (token_.kind != TokenKind::kRightParen) {
      for (;;) {
        arguments.push_back(ParseOr());
        if (token_.kind != TokenKind::kComma) break;
        Advance();
      }
    }
    Expect(TokenKind::kRightParen, "\")\"");
    const int count = static_cast<int>(arguments.size());
    if (count < info->min_arguments || count > info->max_arguments) {
      std::string expected = std::to_string(info->min_arguments);
      if (info->max_arguments != info->min_arguments) {
        expected += " to " + std::to_string(info->max_arguments);
      }
      Fail(name.offset, std::string(info->name) + " takes " + expected +
                            (info->max_arguments == 1 ? " argument" : " arguments") + ", not " +
                            std::to_string(count));
    }
    return {BuildCall(*info, arguments), name.offset};
  }

  std::uint32_t BuildCall(const FunctionInfo& info, const std::vector<Operand>& args) {
    const std::string what(info.name);
    Node node;
    bool constant = true;
    for (const Operand& arg : args) constant = constant && IsConstant(arg.node);
    switch (info.function) {
      case Function::kDeleted:
        node.op = Op::kDeleted;
        node.type = ExpressionType::kLogical;
        if (required_record_length < 1) required_record_length = 1;
        return Add(node, false);
      case Function::kDtos:
      case Function::kDtoc:
        RequireType(args[0], ExpressionType::kDate, what);
        node.op = info.function == Function::kDtos ? Op::kDtos : Op::kDtoc;
        node.type = ExpressionType::kCharacter;
        node.width = 8;
        node.a = args[0].node;
        return Add(node, constant);
      case Function::kUpper:
      case Function::kTrim:
      case Function::kRtrim:
      case Function::kLtrim:
        RequireType(args[0], ExpressionType::kCharacter, what);
        node.op = info.function == Function::kUpper   ? Op::kUpper
                  : info.function == Function::kLtrim ? Op::kLtrim
                                                      : Op::kTrim;
        node.type = ExpressionType::kCharacter;
        node.width = At(args[0].node).width;
        node.a = args[0].node;
        return Add(node, constant);
      case Function::kSubstr:
      case Function::kLeft: {
        RequireType(args[0], ExpressionType::kCharacter, what);
        const std::uint32_t source_width = At(args[0].node).width;
        int start = 1;
        int length;
        if (info.function == Function::kSubstr) {
          start = ConstantInteger(args[1], "The start of SUBSTR", 1, static_cast<int>(kMaxTextWidth));
          length = args.size() > 2 ? ConstantInteger(args[2], "The length of SUBSTR", 0,
                                                     static_cast<int>(kMaxTextWidth))
                                   : static_cast<int>(kMaxTextWidth);
        } else {
          length = ConstantInteger(args[1], "The length of LEFT", 0, static_cast<int>(kMaxTextWidth));
        }
        const std::int64_t available =
            static_cast<std::int64_t>(source_width) - (static_cast<std::int64_t>(start) - 1);
        node.op = Op::kSubstr;
        node.type = ExpressionType::kCharacter;
        node.start = start - 1;
        node.width = static_cast<std::uint32_t>(
            std::max<std::int64_t>(0, std::min<std::int64_t>(length, available)));
        node.a = args[0].node;
        NeedView(args[0].node);
        return Add(node, constant);
      }
      case Function::kRight: {
        RequireType(args[0], ExpressionType::kCharacter, what);
        const int length = ConstantInteger(args[1], "The length of RIGHT", 0, static_cast<int>(kMaxTextWidth));
        node.op = Op::kRight;
        node.type = ExpressionType::kCharacter;
        node.width = std::min<std::uint32_t>(static_cast<std::uint32_t>(length), At(args[0].node).width);
        node.a = args[0].node;
        NeedView(args[0].node);
        return Add(node, constant);
      }
      case Function::kStr:
        RequireType(args[0], ExpressionType::kNumeric, what);
        node.op = Op::kStr;
        node.type = ExpressionType::kCharacter;
        node.width = args.size() > 1
                         ? static_cast<std::uint32_t>(ConstantInteger(args[1], "The width of STR", 1, kMaxStrWidth))
                         : 10;
        node.decimals = args.size() > 2 ? ConstantInteger(args[2], "The decimals of STR", 0, kMaxStrWidth) : 0;
        node.a = args[0].node;
        return Add(node, constant);
      case Function::kVal:
        RequireType(args[0], ExpressionType::kCharacter, what);
        node.op = Op::kVal;
        node.type = ExpressionType::kNumeric;
        node.a = args[0].node;
        NeedView(args[0].node);
        return Add(node, constant);
      case Function::kIif: {
        RequireType(args[0], ExpressionType::kLogical, "The condition of IIF");
        const ExpressionType type = TypeOf(args[1].node);
        if (TypeOf(args[2].node) != type) {
          Fail(args[2].offset, std::string("The branches of IIF differ in type: ") + TypeName(type) +
                                   " and " + TypeName(TypeOf(args[2].node)));
        }
        node.type = type;
        node.a = args[0].node;
        node.b = args[1].node;
        node.c = args[2].node;
        switch (type) {
          case ExpressionType::kCharacter:
            node.op = Op::kTextIif;
            node.width = std::max(At(args[1].node).width, At(args[2].node).width);
            break;
          case ExpressionType::kLogical:
            node.op = Op::kLogicalIif;
            break;
          default:
            node.op = Op::kNumberIif;
            break;
        }
        return Add(node, constant);
      }
    }
    Fail(0, "Internal error: function without a translation");
  }

  Lexer lexer_;
  const RecordLayout& layout_;
  Token token_;
  int nesting_ = 0;
  std::vector<bool> constant_;
};

}  // namespace

CompileResult ExpressionCompiler::Compile(std::string_view text, const RecordLayout& layout) {
  if (text.size() > Expression::kMaxTextLength) {
    return ExpressionError{Expression::kMaxTextLength,
                           "The expression is longer than " +
                               std::to_string(Expression::kMaxTextLength) + " characters"};
  }
  try {
    Parser parser(text, layout);
    const std::uint32_t root = parser.ParseAll();
    // The evaluators find the root at the end.
    if (root + 1 != parser.nodes.size()) {
      Node copy = parser.nodes[root];
      parser.nodes.push_back(copy);
    }
    Expression expression;
    expression.text_ = std::string(text);
    expression.result_type_ = parser.nodes.back().type;
    expression.result_width_ =
        expression.result_type_ == ExpressionType::kCharacter ? parser.nodes.back().width : 0;
    expression.required_record_length_ = parser.required_record_length;
    expression.nodes_ = std::move(parser.nodes);
    expression.arena_ = std::move(parser.arena);
    return expression;
  } catch (const CompileFailure& failure) {
    return ExpressionError{failure.offset,
                           failure.message + " at position " + std::to_string(failure.offset + 1)};
  }
}

}  // namespace qm::engine
