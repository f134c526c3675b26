// TextMetrics: what the record list and the report need to know of a font
// on a device, so that the layout arithmetic is the same on the screen, on
// a printer and in tests.
#pragma once

#include <string_view>

namespace qm::view {

class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  // Device pixels.
  virtual int AverageCharWidth() const = 0;
  virtual int Height() const = 0;
  virtual int ExternalLeading() const = 0;
  virtual int TextWidth(std::string_view text) const = 0;
  // Device pixels per inch across the page.
  virtual int PixelsPerInch() const = 0;
};

// Every character equally wide: the metrics of tests and of plain-text
// output.
class FixedTextMetrics final : public TextMetrics {
 public:
  FixedTextMetrics(int char_width, int height, int external_leading, int pixels_per_inch)
      : char_width_(char_width),
        height_(height),
        external_leading_(external_leading),
        pixels_per_inch_(pixels_per_inch) {}

  int AverageCharWidth() const override { return char_width_; }
  int Height() const override { return height_; }
  int ExternalLeading() const override { return external_leading_; }
  int TextWidth(std::string_view text) const override {
    return static_cast<int>(text.size()) * char_width_;
  }
  int PixelsPerInch() const override { return pixels_per_inch_; }

 private:
  int char_width_;
  int height_;
  int external_leading_;
  int pixels_per_inch_;
};

}  // namespace qm::view
