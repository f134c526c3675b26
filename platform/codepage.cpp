#include "platform/codepage.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace qm::platform {
namespace {

// The code points of bytes 0x80-0x9F. The five bytes Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same
// value, as Windows' own conversion does, so every byte round-trips.
constexpr std::array<char32_t, 32> kHighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char32_t CodePointOf(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControlRange[byte - 0x80];
  return byte;  // ASCII and 0xA0-0xFF are Latin-1
}

// The byte for `code_point`, or -1 when Windows-1252 has none.
int ByteOf(char32_t code_point) {
  if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
    return static_cast<int>(code_point);
  }
  for (std::size_t i = 0; i < kHighControlRange.size(); ++i) {
    if (kHighControlRange[i] == code_point) return static_cast<int>(0x80 + i);
  }
  return -1;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string CodePointName(char32_t c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

// Decodes one UTF-8 sequence at `pos`; returns its length, or 0 when the
// bytes there are not well-formed UTF-8 (overlong forms, surrogates and
// values beyond U+10FFFF included).
std::size_t DecodeUtf8(std::string_view s, std::size_t pos, char32_t& c) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  std::size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    c = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    c = lead & 0x07;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (pos + length > s.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size());
  for (const char ch : cp1252) AppendUtf8(CodePointOf(static_cast<unsigned char>(ch)), out);
  return out;
}

Status Utf8ToCp1252(std::string_view utf8, std::string& out) {
  out.clear();
  out.reserve(utf8.size());
  std::size_t character = 0;  // 1-based position in characters, for the message
  for (std::size_t pos = 0; pos < utf8.size();) {
    ++character;
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(utf8, pos, c);
    if (length == 0) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "0x%02X",
                    static_cast<unsigned>(static_cast<unsigned char>(utf8[pos])));
      return Status::Error("the text is not valid UTF-8: byte " + std::string(buffer) +
                           " at byte position " + std::to_string(pos + 1));
    }
    const int byte = ByteOf(c);
    if (byte < 0) {
      return Status::Error("the character \"" + std::string(utf8.substr(pos, length)) + "\" (" +
                           CodePointName(c) + ") at position " + std::to_string(character) +
                           " cannot be stored in Windows-1252");
    }
    out += static_cast<char>(byte);
    pos += length;
  }
  return Status::Ok();
}

std::optional<char> CodePointToCp1252(char32_t code_point) {
  const int byte = ByteOf(code_point);
  if (byte < 0) return std::nullopt;
  return static_cast<char>(byte);
}

}  // namespace qm::platform
