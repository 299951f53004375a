#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/linux/ocr/character_grid.h"
#include "platform/linux/ocr/read_line.h"

namespace corvane::platform::ocr {

// A run of inked cells in a row (a word), with each cell's picture; a cell the image clips has
// none and is never read.
struct CellRun {
  int firstColumn = 0;
  int lastColumn = 0;
  std::vector<std::string> pictures;
};

// The runs of inked cells of the row from `firstColumn` to `lastColumn`, left to right.
std::vector<CellRun> cellRuns(const GreyImage& image, const CharacterGrid& grid, int row,
                              int firstColumn, int lastColumn);

// The characters a terminal's cells show, learned from the engine's confident readings of some of
// its rows, so that a row whose every cell shows a picture already read can be read without the
// engine. A picture read as different characters stands for the one it was read as at least twice
// as often as any other, and for none while no reading is. Coordinates are pixels of the image
// the grid was found in. A picture holds the cell's size and shape, so one table serves every
// font, and what it learned stays true from frame to frame; it forgets everything past
// `kMostPictures`. Safe to use from several threads.
class GlyphTable {
 public:
  // Learns the characters of one word the engine read (its box in the grid's pixels), when they
  // fall one to a cell on the run of inked cells its box lies on. Characters read below
  // `kLeastConfidence` are not learned.
  void learn(const GreyImage& image, const CharacterGrid& grid, const ReadLine& word);

  // Whether the picture stands for a character.
  bool knows(const std::string& picture) const;

  // The words of a row (its runs of inked cells, each boxed by its cells), when every picture of
  // them stands for a character. A word's confidence is the least of its characters' when they
  // were learned.
  std::optional<std::vector<ReadLine>> read(const GreyImage& image, const CharacterGrid& grid,
                                            int row, const std::vector<CellRun>& runs) const;

  std::size_t size() const;
  void clear();

  static constexpr float kLeastConfidence = 0.8f;
  static constexpr std::size_t kMostPictures = 20000;

 private:
  // The characters a picture was read as, with how often; the least confidence it was learned
  // with.
  struct Glyph {
    std::map<std::string, int> readings;
    float confidence = 1;
    // The reading at least twice as frequent as any other, if one is.
    const std::string* settled() const;
  };
  mutable std::shared_mutex mutex_;
  std::unordered_map<std::string, Glyph> glyphs_;
};

}  // namespace corvane::platform::ocr
