#pragma once

#include <functional>
#include <vector>

#include "platform/linux/ocr/character_grid.h"
#include "platform/linux/ocr/read_line.h"
#include "runtime/result.h"

namespace corvane::platform::ocr {

// Reads a piece of an image with the engine: its lines, boxes in the piece's pixels, with their
// characters.
using PieceReader = std::function<runtime::Result<std::vector<ReadLine>>(const GreyImage&)>;

// Whether a terminal of these cells has rows enough for reading it along its grid to pay.
bool worthReadingAlongGrid(const GreyImage& image, const CharacterGrid& grid);

// Reads a terminal's rows from top to bottom, a few inked rows at a time. A row whose every inked
// cell shows a character the engine already read confidently in this terminal is read from those
// characters; the engine reads the others, drawn alone on the background with a margin (a row
// read from the table is left out of what it sees), and what it reads confidently teaches the
// table. `image` is the terminal at its own scale, where the grid was found; `enlarged` is the
// same `scale` times larger, and what the engine reads. The lines come in `enlarged`'s pixels.
runtime::Result<std::vector<ReadLine>> readAlongGrid(const GreyImage& image,
                                                     const GreyImage& enlarged, double scale,
                                                     const CharacterGrid& grid,
                                                     const PieceReader& read);

}  // namespace corvane::platform::ocr
