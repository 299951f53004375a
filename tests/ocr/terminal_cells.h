#pragma once

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/pixel_buffer.h"

namespace corvane::platform::ocr::testing {

// A terminal drawn as terminals draw: each character in a cell of its own, cells `cellWidth` by
// `cellHeight` pixels from (`left`, `top`), in DejaVu Sans Mono; a row's colour is its own
// (grey levels, 0 to 1), on a flat background. With an `advance`, characters are `advance`
// pixels apart instead, as text laid out at fractional advances is.
struct TerminalRow {
  std::string text;
  double level = 0.1;
};

struct DrawnTerminal {
  std::shared_ptr<PixelBuffer> image;
  int left = 0;
  int top = 0;
  int cellWidth = 0;
  int cellHeight = 0;
};

inline DrawnTerminal drawTerminal(const std::vector<TerminalRow>& rows, int columns,
                                  double background = 1, int cellWidth = 8, int cellHeight = 15,
                                  int left = 5, int top = 3, double advance = 0) {
  const int width = left * 2 + columns * cellWidth;
  const int height = top * 2 + static_cast<int>(rows.size()) * cellHeight;
  DrawnTerminal drawn{std::make_shared<PixelBuffer>(width, height), left, top, cellWidth,
                      cellHeight};
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      drawn.image->mutableData(), CAIRO_FORMAT_ARGB32, width, height, drawn.image->bytesPerRow());
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, background, background, background);
  cairo_paint(cr);
  cairo_select_font_face(cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, cellHeight * 0.8);
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const double level = rows[row].level;
    cairo_set_source_rgb(cr, level, level, level);
    for (std::size_t column = 0; column < rows[row].text.size(); ++column) {
      const char character[2] = {rows[row].text[column], 0};
      cairo_move_to(cr, left + static_cast<double>(column) * (advance > 0 ? advance : cellWidth),
                    top + (static_cast<double>(row) + 0.78) * cellHeight);
      cairo_show_text(cr, character);
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  return drawn;
}

}  // namespace corvane::platform::ocr::testing
