// The arithmetic of the record list's layout: where the columns stand in
// device pixels, how high a row is, and how many rows a window holds. The
// report does the same with the printer's font and resolution.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "view/column_layout.h"
#include "view/text_metrics.h"

namespace qm::view {

// The list keeps at most this many rows.
inline constexpr int kMaxVisibleRows = 150;

struct ListGeometry {
  int line_height = 0;    // font height + external leading
  int header_height = 0;  // one line + 3
  int gap = 0;            // between columns
  // Right edge of each displayed column, left to right; the last is the
  // horizontal scroll range.
  std::vector<int> right_edges;
  int scroll_range = 0;
  int visible_rows = 0;
};

// The gap of `hundredths` of an inch in device pixels.
int ColumnGap(int hundredths, const TextMetrics& metrics);

// The geometry of `layout` in a window `window_height` pixels high whose
// first column starts `left_margin` pixels in. More rows than 150 are
// reported (serious, "TDISPLAY") and 150 are kept.
ListGeometry ComputeListGeometry(const ColumnLayout& layout, const TextMetrics& metrics,
                                 int left_margin, int window_height);

// (window height - header height) / (lines per record x line height) + 1,
// without the limit; a row of no lines counts as one line.
int VisibleRowCount(int window_height, int header_height, int lines_per_record, int line_height);

// Lines that `text` takes word-wrapped into `width` pixels (at least one).
int WrappedLineCount(std::string_view text, int width, const TextMetrics& metrics);

// The height of one printed record row. `height_depends_on_description`
// sizes it to the whole description instead of the fixed lines.
int PrintedRowHeight(const ColumnLayout& layout, const TextMetrics& metrics,
                     bool height_depends_on_description, std::string_view description);

// `text` cut to `chars` characters and then shortened until it fits into
// `pixels`.
std::string FitCellText(std::string_view text, int chars, int pixels, const TextMetrics& metrics);

}  // namespace qm::view
