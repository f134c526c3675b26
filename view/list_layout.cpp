#include "view/list_layout.h"

#include <algorithm>
#include <cstdio>

#include "app/error_reporter.h"

namespace qm::view {

int ColumnGap(int hundredths, const TextMetrics& metrics) {
  return hundredths * metrics.PixelsPerInch() / 100;
}

int VisibleRowCount(int window_height, int header_height, int lines_per_record, int line_height) {
  // A layout edited by hand to no lines (or a font of no height) would
  // divide by zero; one line is the least a row can take.
  const int row_height = std::max(1, std::max(1, lines_per_record) * line_height);
  return std::max(0, window_height - header_height) / row_height + 1;
}

ListGeometry ComputeListGeometry(const ColumnLayout& layout, const TextMetrics& metrics,
                                 int left_margin, int window_height) {
  ListGeometry g;
  g.line_height = metrics.Height() + metrics.ExternalLeading();
  g.header_height = g.line_height + 3;
  g.gap = ColumnGap(layout.inches_between_columns, metrics);
  int edge = left_margin;
  for (int id : DisplayedColumns(layout)) {
    edge += layout.widths[static_cast<std::size_t>(id)] * metrics.AverageCharWidth() + g.gap;
    g.right_edges.push_back(edge);
  }
  g.scroll_range = edge;
  g.visible_rows =
      VisibleRowCount(window_height, g.header_height, layout.lines_per_task, g.line_height);
  if (g.visible_rows > kMaxVisibleRows) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "Number of tasks in a task list display (%d) has exceeded the maximum",
                  g.visible_rows);
    app::Reporter().ShowSerious("TDISPLAY", __LINE__, text);
    g.visible_rows = kMaxVisibleRows;
  }
  return g;
}

int WrappedLineCount(std::string_view text, int width, const TextMetrics& metrics) {
  int lines = 1;
  int used = 0;  // pixels on the current line
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\n') {
      ++lines;
      used = 0;
      ++i;
      continue;
    }
    if (text[i] == '\r' || text[i] == ' ') {
      if (text[i] == ' ' && used > 0) used += metrics.TextWidth(" ");
      ++i;
      continue;
    }
    std::size_t end = text.find_first_of(" \r\n", i);
    if (end == std::string_view::npos) end = text.size();
    int word = metrics.TextWidth(text.substr(i, end - i));
    if (used > 0 && used + word > width) {
      ++lines;
      used = 0;
    }
    // A word wider than the box breaks where the box ends.
    while (width > 0 && word > width) {
      ++lines;
      word -= width;
    }
    used += word;
    i = end;
  }
  return lines;
}

int PrintedRowHeight(const ColumnLayout& layout, const TextMetrics& metrics,
                     bool height_depends_on_description, std::string_view description) {
  const int height = metrics.Height();
  const int leading = metrics.ExternalLeading();
  if (!height_depends_on_description) {
    return layout.lines_per_task * height + (layout.multi_line ? 2 * leading : leading) +
           height / 4;
  }
  if (layout.multi_line) {
    const int box = layout.descrip_box_width * metrics.AverageCharWidth();
    return height + leading + WrappedLineCount(description, box, metrics) * height + height / 4;
  }
  const int column = layout.widths[kColumnDescription] * metrics.AverageCharWidth();
  return WrappedLineCount(description, column, metrics) * height + height / 4;
}

std::string FitCellText(std::string_view text, int chars, int pixels, const TextMetrics& metrics) {
  std::string fitted(text.substr(0, static_cast<std::size_t>(std::max(0, chars))));
  while (!fitted.empty() && metrics.TextWidth(fitted) > pixels) fitted.pop_back();
  return fitted;
}

}  // namespace qm::view
