// Utf8Output: an output stream that takes Windows-1252 text, as everything
// inside the program is, and writes it as UTF-8 to another stream (the
// terminal, a pipe). Commands print through it and never convert by hand.
#pragma once

#include <ostream>
#include <streambuf>

namespace qm::cli {

class Utf8OutputBuffer final : public std::streambuf {
 public:
  explicit Utf8OutputBuffer(std::streambuf* sink) : sink_(sink) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  std::streambuf* sink_;
};

class Utf8Output final : public std::ostream {
 public:
  explicit Utf8Output(std::ostream& sink) : std::ostream(nullptr), buffer_(sink.rdbuf()) {
    rdbuf(&buffer_);
  }

 private:
  Utf8OutputBuffer buffer_;
};

}  // namespace qm::cli
