#include "platform/linux/ocr/glyph_table.h"

#include <algorithm>

#include "platform/text_cleaning.h"

namespace corvane::platform::ocr {
namespace {

// One code point, and not white space: what one cell can show.
bool isOneCharacter(const std::string& text) {
  const auto leads =
      std::count_if(text.begin(), text.end(), [](char byte) { return (byte & 0xC0) != 0x80; });
  return leads == 1 && isValidUtf8(text) && trimmedText(text) == text;
}

// The box of a word of `row` from `firstColumn` to `lastColumn`: its cells, clipped to the image,
// as the engine boxes a line from its ascenders to its descenders.
void boxCells(ReadLine& word, const GreyImage& image, const CharacterGrid& grid, int row,
              int firstColumn, int lastColumn) {
  const PixelArea first = grid.cell(firstColumn, row), last = grid.cell(lastColumn, row);
  word.left = std::max(0, first.x), word.top = std::max(0, first.y);
  word.right = std::min(image.width, last.x + last.width);
  word.bottom = std::min(image.height, last.y + last.height);
}

}  // namespace

const std::string* GlyphTable::Glyph::settled() const {
  const std::string* best = nullptr;
  int most = 0, second = 0;
  for (const auto& [text, count] : readings) {
    if (count > most) {
      second = most, most = count, best = &text;
    } else {
      second = std::max(second, count);
    }
  }
  return most >= 2 * second ? best : nullptr;
}

void GlyphTable::learn(const GreyImage& image, const CharacterGrid& grid, const ReadLine& word) {
  if (word.symbols.empty() || word.right <= word.left) return;
  if (!std::all_of(word.symbols.begin(), word.symbols.end(),
                   [](const ReadSymbol& symbol) { return isOneCharacter(symbol.text); }))
    return;
  // The run of inked cells the word's box lies on (its box may stray into the gaps around it by
  // less than half a cell), which must hold one character to a cell.
  const int row = grid.rowAt((word.top + word.bottom) / 2);
  const int half = grid.cellWidth / 2;
  int first = grid.columnAt(std::min(word.left + half, (word.left + word.right) / 2));
  int last = grid.columnAt(std::max(word.right - 1 - half, (word.left + word.right) / 2));
  for (int column = first; column <= last; ++column)
    if (!cellHasInk(image, grid, column, row)) return;
  while (cellHasInk(image, grid, first - 1, row)) --first;
  while (cellHasInk(image, grid, last + 1, row)) ++last;
  if (last - first + 1 != static_cast<int>(word.symbols.size())) return;
  std::unique_lock lock(mutex_);
  if (glyphs_.size() > kMostPictures) glyphs_.clear();
  for (int column = first; column <= last; ++column) {
    const ReadSymbol& symbol = word.symbols[static_cast<std::size_t>(column - first)];
    const std::string picture = cellPicture(image, grid, column, row);
    if (picture.empty() || symbol.confidence < kLeastConfidence) continue;
    Glyph& glyph = glyphs_[picture];
    ++glyph.readings[symbol.text];
    glyph.confidence = std::min(glyph.confidence, symbol.confidence);
  }
}

std::size_t GlyphTable::size() const {
  std::shared_lock lock(mutex_);
  return glyphs_.size();
}

void GlyphTable::clear() {
  std::unique_lock lock(mutex_);
  glyphs_.clear();
}

bool GlyphTable::knows(const std::string& picture) const {
  std::shared_lock lock(mutex_);
  const auto glyph = glyphs_.find(picture);
  return glyph != glyphs_.end() && glyph->second.settled() != nullptr;
}

std::optional<std::vector<ReadLine>> GlyphTable::read(const GreyImage& image,
                                                      const CharacterGrid& grid, int row,
                                                      const std::vector<CellRun>& runs) const {
  std::shared_lock lock(mutex_);
  std::vector<ReadLine> words;
  for (const CellRun& run : runs) {
    ReadLine word;
    for (int column = run.firstColumn; column <= run.lastColumn; ++column) {
      const std::string& picture = run.pictures[static_cast<std::size_t>(column - run.firstColumn)];
      const auto glyph = picture.empty() ? glyphs_.end() : glyphs_.find(picture);
      const std::string* text = glyph == glyphs_.end() ? nullptr : glyph->second.settled();
      if (text == nullptr) return std::nullopt;
      word.confidence = word.text.empty() ? glyph->second.confidence
                                          : std::min(word.confidence, glyph->second.confidence);
      word.text += *text;
    }
    boxCells(word, image, grid, row, run.firstColumn, run.lastColumn);
    words.push_back(std::move(word));
  }
  return words;
}

std::vector<CellRun> cellRuns(const GreyImage& image, const CharacterGrid& grid, int row,
                              int firstColumn, int lastColumn) {
  std::vector<CellRun> runs;
  bool inRun = false;
  for (int column = firstColumn; column <= lastColumn; ++column) {
    std::string picture = cellPicture(image, grid, column, row);
    // A cell the image clips may hold ink that is not a whole character: inked, never read.
    if (picture.empty() && !cellHasInk(image, grid, column, row)) {
      inRun = false;
      continue;
    }
    if (!inRun) runs.push_back({column, column, {}});
    inRun = true;
    runs.back().lastColumn = column;
    runs.back().pictures.push_back(std::move(picture));
  }
  return runs;
}

}  // namespace corvane::platform::ocr
