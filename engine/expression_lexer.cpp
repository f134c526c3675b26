#include "engine/expression_lexer.h"

#include <cstdio>

#include "engine/expression_values.h"

namespace qm::engine::expression_internal {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EqualsUpper(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (UpperCp1252(word[i]) != upper[i]) return false;
  }
  return true;
}

}  // namespace

Token Lexer::Make(TokenKind kind, std::size_t begin, std::size_t end) {
  pos_ = end;
  Token token;
  token.kind = kind;
  token.offset = begin;
  token.text = text_.substr(begin, end - begin);
  return token;
}

Token Lexer::Error(std::size_t begin, std::string message) {
  Token token;
  token.kind = TokenKind::kError;
  token.offset = begin;
  token.error = std::move(message);
  pos_ = text_.size();
  return token;
}

Token Lexer::Number(std::size_t begin) {
  std::size_t end = begin;
  while (end < text_.size() && IsDigit(text_[end])) ++end;
  if (end + 1 < text_.size() && text_[end] == '.' && IsDigit(text_[end + 1])) {
    ++end;
    while (end < text_.size() && IsDigit(text_[end])) ++end;
  }
  Token token = Make(TokenKind::kNumber, begin, end);
  token.number = ParseNumberText(token.text);
  return token;
}

Token Lexer::DottedWord(std::size_t begin) {
  std::size_t end = begin + 1;
  while (end < text_.size() && IsLetter(text_[end])) ++end;
  if (end == begin + 1 || end >= text_.size() || text_[end] != '.') {
    return Error(begin, "Unexpected \".\"");
  }
  const std::string_view word = text_.substr(begin + 1, end - begin - 1);
  TokenKind kind;
  if (EqualsUpper(word, "AND")) {
    kind = TokenKind::kAnd;
  } else if (EqualsUpper(word, "OR")) {
    kind = TokenKind::kOr;
  } else if (EqualsUpper(word, "NOT")) {
    kind = TokenKind::kNot;
  } else if (EqualsUpper(word, "T") || EqualsUpper(word, "Y") || EqualsUpper(word, "TRUE")) {
    kind = TokenKind::kTrue;
  } else if (EqualsUpper(word, "F") || EqualsUpper(word, "N") || EqualsUpper(word, "FALSE")) {
    kind = TokenKind::kFalse;
  } else {
    return Error(begin, "Unknown operator \"" + std::string(text_.substr(begin, end + 1 - begin)) + "\"");
  }
  return Make(kind, begin, end + 1);
}

Token Lexer::Next() {
  while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  const std::size_t begin = pos_;
  if (begin >= text_.size()) return Make(TokenKind::kEnd, begin, begin);

  const char c = text_[begin];
  if (IsDigit(c)) return Number(begin);
  if (c == '.') {
    if (begin + 1 < text_.size() && IsDigit(text_[begin + 1])) return Number(begin);
    return DottedWord(begin);
  }
  if (IsLetter(c)) {
    std::size_t end = begin + 1;
    while (end < text_.size() && (IsLetter(text_[end]) || IsDigit(text_[end]))) ++end;
    return Make(TokenKind::kIdentifier, begin, end);
  }
  if (c == '"' || c == '\'' || c == '[') {
    const char close = c == '[' ? ']' : c;
    const std::size_t end = text_.find(close, begin + 1);
    if (end == std::string_view::npos) return Error(begin, "Text literal is not closed");
    Token token = Make(TokenKind::kText, begin, end + 1);
    token.text = text_.substr(begin + 1, end - begin - 1);
    return token;
  }
  const char next = begin + 1 < text_.size() ? text_[begin + 1] : '\0';
  switch (c) {
    case '(': return Make(TokenKind::kLeftParen, begin, begin + 1);
    case ')': return Make(TokenKind::kRightParen, begin, begin + 1);
    case ',': return Make(TokenKind::kComma, begin, begin + 1);
    case '+': return Make(TokenKind::kPlus, begin, begin + 1);
    case '-': return Make(TokenKind::kMinus, begin, begin + 1);
    case '*': return Make(TokenKind::kStar, begin, begin + 1);
    case '/': return Make(TokenKind::kSlash, begin, begin + 1);
    case '$': return Make(TokenKind::kContainedIn, begin, begin + 1);
    case '#': return Make(TokenKind::kNotEqual, begin, begin + 1);
    case '=': return Make(TokenKind::kEqual, begin, begin + 1);
    case '<':
      if (next == '>') return Make(TokenKind::kNotEqual, begin, begin + 2);
      if (next == '=') return Make(TokenKind::kLessOrEqual, begin, begin + 2);
      return Make(TokenKind::kLess, begin, begin + 1);
    case '>':
      if (next == '=') return Make(TokenKind::kGreaterOrEqual, begin, begin + 2);
      return Make(TokenKind::kGreater, begin, begin + 1);
    default: break;
  }
  const unsigned char byte = static_cast<unsigned char>(c);
  if (byte >= 0x21 && byte < 0x7F) {
    return Error(begin, std::string("Unexpected character \"") + c + "\"");
  }
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", byte);
  return Error(begin, std::string("Unexpected character ") + code);
}

std::string Describe(const Token& token) {
  switch (token.kind) {
    case TokenKind::kEnd: return "end of expression";
    case TokenKind::kText: return "text literal";
    default: return "\"" + std::string(token.text) + "\"";
  }
}

}  // namespace qm::engine::expression_internal
