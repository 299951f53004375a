#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "platform/linux/ocr/character_grid.h"
#include "platform/linux/ocr/glyph_table.h"
#include "platform/linux/ocr/read_line.h"
#include "runtime/result.h"

namespace corvane::platform::ocr {

// Reads a piece of an image with the engine: its lines, boxes in the piece's pixels, with their
// characters.
using PieceReader = std::function<runtime::Result<std::vector<ReadLine>>(const GreyImage&)>;

// A row of a terminal with ink, as the cells it shows.
struct GridRow {
  int row = 0;
  std::vector<CellRun> runs;
};

// The rows of cells with ink of their own, when the image is a terminal of these cells with rows
// enough for reading it along its grid to pay: its cells repeat a few pictures, as characters
// drawn alike do. Nothing otherwise.
std::optional<std::vector<GridRow>> terminalRows(const GreyImage& image, const CharacterGrid& grid);

// Reads a terminal's rows (`rows`, from terminalRows). A row whose every inked cell shows a
// character the engine already read confidently (in `table`) is read from those characters; the
// engine reads the others a few at a time, where they are, alone on the background (first the rows
// that show the most pictures the table does not know), and what it reads confidently teaches the
// table. `image` is the terminal at its own scale, where the grid was found; `enlarged` is the same
// `scale` times larger, and what the engine reads. The lines come in `enlarged`'s pixels.
runtime::Result<std::vector<ReadLine>> readAlongGrid(const GreyImage& image,
                                                     const GreyImage& enlarged, double scale,
                                                     const CharacterGrid& grid,
                                                     std::vector<GridRow> rows, GlyphTable& table,
                                                     const PieceReader& read);

}  // namespace corvane::platform::ocr
