// The tokens of the expression language, read one at a time from the text.
//
// Words between points (.AND., .T.) are operators or logical literals;
// a point followed by a digit starts a number (.5). A number's point must be
// followed by a digit, so "1.AND." reads as 1 then .AND.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm::engine::expression_internal {

enum class TokenKind {
  kEnd,
  kNumber,
  kText,        // a literal between "", '' or []
  kIdentifier,  // a field or function name
  kLeftParen,
  kRightParen,
  kComma,
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kEqual,
  kNotEqual,  // <> or #
  kLess,
  kGreater,
  kLessOrEqual,
  kGreaterOrEqual,
  kContainedIn,  // $
  kAnd,
  kOr,
  kNot,
  kTrue,
  kFalse,
  kError,  // `text` holds the message, without its position
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::size_t offset = 0;  // where the token starts in the expression text
  std::string_view text;   // the token as written; a literal without its quotes
  double number = 0;
  std::string error;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next();

 private:
  Token Make(TokenKind kind, std::size_t begin, std::size_t end);
  Token Error(std::size_t begin, std::string message);
  Token Number(std::size_t begin);
  Token DottedWord(std::size_t begin);

  std::string_view text_;
  std::size_t pos_ = 0;
};

// How a token reads in a message: "+", "SUBSTR", "end of expression".
std::string Describe(const Token& token);

}  // namespace qm::engine::expression_internal
