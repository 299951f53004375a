#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/ocr/grey_image.h"

namespace corvane::platform::ocr {

// The cells of a terminal: text drawn one character per cell of a fixed size, the cells tiling
// the image from an origin. Cells are indexed from the origin; rows and columns before it (the
// partial cells of a margin) have negative indices.
struct CharacterGrid {
  int cellWidth = 0;
  int cellHeight = 0;
  int originX = 0;
  int originY = 0;
  // The image's background level.
  std::uint8_t background = 255;

  PixelArea cell(int column, int row) const {
    return {originX + column * cellWidth, originY + row * cellHeight, cellWidth, cellHeight};
  }
  int columnAt(int x) const;
  int rowAt(int y) const;
  // Whether a pixel differs from the background, however faintly, either way: terminals paint
  // their background flat, and text of the background's own brightness in another colour is
  // still text.
  bool isInk(std::uint8_t level) const;
};

// The grid of cells the image's text is drawn on, when it is drawn on one: every inked column and
// row keeps off the cells' edges far more than a proportional text could by chance. Nothing for
// proportional text, for too little text to tell, and for cells under 4 pixels wide or 8 high.
std::optional<CharacterGrid> findCharacterGrid(const GreyImage& image);

// What one cell shows, exactly enough that two cells with the same picture hold the same
// character in the same font: the cell's pixels more than half as far from the background as the
// farthest one, so one glyph in two colours has one picture. Empty for a cell without
// ink of its own and for a cell the image clips.
std::string cellPicture(const GreyImage& image, const CharacterGrid& grid, int column, int row);

// Whether the part of the cell inside the image has ink of its own: not only the edge of a
// neighbouring glyph reaching over its outer pixels.
bool cellHasInk(const GreyImage& image, const CharacterGrid& grid, int column, int row);

}  // namespace corvane::platform::ocr
