// FixedText<N>: a text of at most N bytes held inside the value itself.
//
// The time record is copied whole between dialogs, the stopwatch and the
// database, so its texts live in place rather than on the heap. Assigning a
// longer text keeps its first N bytes: that is where the data model's
// limits (35-character descriptors, 500-character descriptions) are
// enforced.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm::core {

template <std::size_t N>
class FixedText {
 public:
  static constexpr std::size_t kCapacity = N;

  FixedText() = default;
  explicit FixedText(std::string_view text) { assign(text); }

  FixedText& operator=(std::string_view text) {
    assign(text);
    return *this;
  }

  // Keeps the first N bytes of `text`.
  void assign(std::string_view text) {
    length_ = static_cast<std::uint16_t>(text.size() < N ? text.size() : N);
    text.copy(chars_.data(), length_);
  }
  void clear() { length_ = 0; }

  std::string_view view() const { return {chars_.data(), length_}; }
  std::string str() const { return std::string(view()); }
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }

  friend bool operator==(const FixedText& a, const FixedText& b) {
    return a.view() == b.view();
  }
  friend bool operator==(const FixedText& a, std::string_view b) { return a.view() == b; }

 private:
  static_assert(N < 65536, "FixedText holds its length in 16 bits");
  std::array<char, N> chars_{};
  std::uint16_t length_ = 0;
};

}  // namespace qm::core
