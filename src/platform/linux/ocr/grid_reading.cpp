#include "platform/linux/ocr/grid_reading.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

namespace corvane::platform::ocr {
namespace {

// Inked rows read per turn: enough for the engine's layout to find its lines, few enough that
// what it reads soon serves the rows below.
constexpr int kRowsPerTurn = 8;

// The grid rows that have ink, top to bottom (partial rows at the edges included).
std::vector<int> inkedRows(const GreyImage& image, const CharacterGrid& grid) {
  std::vector<int> rows;
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
    const bool ink =
        std::any_of(row, row + image.width, [&](std::uint8_t value) { return grid.isInk(value); });
    if (ink && (rows.empty() || rows.back() != grid.rowAt(y))) rows.push_back(grid.rowAt(y));
  }
  return rows;
}

// The columns of cells a row is read in: all, but for those at either edge that have ink in
// nearly every row (a window's border or a scroll bar beside the cells).
std::pair<int, int> textColumns(const GreyImage& image, const CharacterGrid& grid) {
  const int firstRow = grid.rowAt(0), lastRow = grid.rowAt(image.height - 1);
  auto isFrame = [&](int column) {
    int inked = 0;
    for (int row = firstRow; row <= lastRow; ++row) inked += cellHasInk(image, grid, column, row);
    return inked * 10 >= (lastRow - firstRow + 1) * 9;
  };
  constexpr int kWidestFrame = 2;
  int first = grid.columnAt(0), last = grid.columnAt(image.width - 1);
  for (int i = 0; i < kWidestFrame && first < last && isFrame(first); ++i) ++first;
  for (int i = 0; i < kWidestFrame && first < last && isFrame(last); ++i) --last;
  return {first, last};
}

int scaledCoordinate(int value, double scale) {
  return static_cast<int>(std::lround(value * scale));
}

// The pixel rows of grid row `row` in `enlarged`, clipped to it.
std::pair<int, int> enlargedRows(const CharacterGrid& grid, int row, double scale,
                                 const GreyImage& image, const GreyImage& enlarged) {
  const PixelArea cell = grid.cell(0, row);
  const int top = std::clamp(cell.y, 0, image.height);
  const int bottom = std::clamp(cell.y + cell.height, 0, image.height);
  return {std::min(scaledCoordinate(top, scale), enlarged.height),
          std::min(scaledCoordinate(bottom, scale), enlarged.height)};
}

ReadLine scaledBox(ReadLine line, double scale) {
  line.left = scaledCoordinate(line.left, scale), line.right = scaledCoordinate(line.right, scale);
  line.top = scaledCoordinate(line.top, scale), line.bottom = scaledCoordinate(line.bottom, scale);
  return line;
}

// A row the table read whole: its words, left to right, as one line split at column gaps like any
// line read, with the least confidence of its words.
void appendTableRow(const std::vector<ReadLine>& read, double scale, std::vector<ReadLine>& lines) {
  std::vector<ReadLine> words;
  for (const ReadLine& word : read) words.push_back(scaledBox(word, scale));
  if (words.empty()) return;
  ReadLine line = words.front();
  for (const ReadLine& word : words) {
    if (&word == &words.front()) continue;
    line.text += " " + word.text;
    line.confidence = std::min(line.confidence, word.confidence);
    line.left = std::min(line.left, word.left), line.right = std::max(line.right, word.right);
    line.top = std::min(line.top, word.top), line.bottom = std::max(line.bottom, word.bottom);
  }
  appendSplitAtColumnGaps(std::move(line), words, lines);
}

// A word in `enlarged`'s pixels in the terminal's own.
ReadLine inOwnPixels(ReadLine word, double scale) {
  word.left = static_cast<int>(std::floor(word.left / scale));
  word.right = static_cast<int>(std::ceil(word.right / scale));
  word.top = static_cast<int>(std::floor(word.top / scale));
  word.bottom = static_cast<int>(std::ceil(word.bottom / scale));
  return word;
}

std::vector<int> allRows(const std::vector<GridRow>& rows) {
  std::vector<int> all;
  for (const GridRow& row : rows) all.push_back(row.row);
  std::sort(all.begin(), all.end());
  return all;
}

// The rows the engine reads next: up to `kRowsPerTurn` rows that together show the most pictures
// the table does not know yet, each chosen for the most of them the rows before it leave, so that
// what the engine reads soon serves the rows left. A cell that can never be read counts as a
// picture of its own. Top to bottom.
std::vector<int> rowsToRead(const std::vector<GridRow>& rows, const GlyphTable& table) {
  std::vector<std::set<std::string>> unknown;
  for (const GridRow& row : rows) {
    std::set<std::string> pictures;
    for (const CellRun& run : row.runs) {
      for (std::size_t i = 0; i < run.pictures.size(); ++i) {
        if (run.pictures[i].empty())
          pictures.insert("unreadable " + std::to_string(row.row) + " " +
                          std::to_string(run.firstColumn + static_cast<int>(i)));
        else if (!table.knows(run.pictures[i]))
          pictures.insert(run.pictures[i]);
      }
    }
    unknown.push_back(std::move(pictures));
  }
  std::set<std::string> covered;
  std::vector<bool> chosen(rows.size(), false);
  std::vector<int> turn;
  while (static_cast<int>(turn.size()) < kRowsPerTurn) {
    std::size_t best = rows.size();
    std::size_t mostNew = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (chosen[i]) continue;
      const auto fresh = static_cast<std::size_t>(
          std::count_if(unknown[i].begin(), unknown[i].end(),
                        [&](const std::string& picture) { return !covered.contains(picture); }));
      if (fresh > mostNew) best = i, mostNew = fresh;
    }
    if (best == rows.size()) break;
    chosen[best] = true;
    covered.insert(unknown[best].begin(), unknown[best].end());
    turn.push_back(rows[best].row);
  }
  std::sort(turn.begin(), turn.end());
  return turn;
}

// What the engine reads of a turn: its rows where they are, alone on the background, from the
// first to the last with a margin above and below, and where that lies in `enlarged`.
struct Piece {
  GreyImage image;
  int top = 0;
};

Piece pieceOf(const std::vector<int>& rows, const GreyImage& image, const GreyImage& enlarged,
              double scale, const CharacterGrid& grid, int margin) {
  const int first = enlargedRows(grid, rows.front(), scale, image, enlarged).first;
  const int last = enlargedRows(grid, rows.back(), scale, image, enlarged).second;
  Piece piece{{enlarged.width, last - first + 2 * margin, {}}, first - margin};
  GreyImage& out = piece.image;
  out.pixels.assign(static_cast<std::size_t>(out.width) * out.height, grid.background);
  for (int row : rows) {
    const auto [top, bottom] = enlargedRows(grid, row, scale, image, enlarged);
    std::memcpy(out.pixels.data() + static_cast<std::size_t>(top - piece.top) * out.width,
                enlarged.pixels.data() + static_cast<std::size_t>(top) * enlarged.width,
                static_cast<std::size_t>(bottom - top) * enlarged.width);
  }
  return piece;
}

}  // namespace

std::optional<std::vector<GridRow>> terminalRows(const GreyImage& image,
                                                 const CharacterGrid& grid) {
  const std::vector<int> inked = inkedRows(image, grid);
  if (static_cast<int>(inked.size()) < 2 * kRowsPerTurn) return std::nullopt;
  const auto [firstColumn, lastColumn] = textColumns(image, grid);
  std::vector<GridRow> rows;
  for (int row : inked) rows.push_back({row, cellRuns(image, grid, row, firstColumn, lastColumn)});
  // A terminal draws each character alike wherever it stands, so its cells show few pictures for
  // many cells; text laid out at fractional advances drifts across any grid, and its cells,
  // cutting glyphs anywhere, hardly ever repeat.
  constexpr std::size_t kCellsPerPicture = 4;
  std::set<std::string> pictures;
  std::size_t cells = 0;
  for (const GridRow& row : rows) {
    for (const CellRun& run : row.runs) {
      cells += run.pictures.size();
      pictures.insert(run.pictures.begin(), run.pictures.end());
    }
  }
  if (pictures.size() * kCellsPerPicture > cells) return std::nullopt;
  std::erase_if(rows, [](const GridRow& row) { return row.runs.empty(); });
  return rows;
}

runtime::Result<std::vector<ReadLine>> readAlongGrid(const GreyImage& image,
                                                     const GreyImage& enlarged, double scale,
                                                     const CharacterGrid& grid,
                                                     std::vector<GridRow> pending,
                                                     GlyphTable& table, const PieceReader& read) {
  bool firstTurn = true;
  const std::size_t knownBefore = table.size();
  std::vector<ReadLine> lines;
  const int margin = std::max(4, scaledCoordinate(grid.cellHeight, scale) / 2);
  while (!pending.empty()) {
    std::erase_if(pending, [&](const GridRow& row) {
      const auto words = table.read(image, grid, row.row, row.runs);
      if (words) appendTableRow(*words, scale, lines);
      return words.has_value();
    });
    if (pending.empty()) break;
    // When what the engine read taught the table nothing, the engine might as well read the rest
    // at once.
    const std::vector<int> turn =
        table.size() == knownBefore && !firstTurn ? allRows(pending) : rowsToRead(pending, table);
    firstTurn = false;
    std::erase_if(pending, [&](const GridRow& row) {
      return std::find(turn.begin(), turn.end(), row.row) != turn.end();
    });

    const Piece piece = pieceOf(turn, image, enlarged, scale, grid, margin);
    auto pieceLines = read(piece.image);
    if (!pieceLines.ok()) return pieceLines.error();
    for (ReadLine& line : pieceLines.value()) {
      line.top += piece.top, line.bottom += piece.top;
      for (ReadLine& word : line.words) {
        word.top += piece.top, word.bottom += piece.top;
        table.learn(image, grid, inOwnPixels(word, scale));
      }
      line.words.clear();
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

}  // namespace corvane::platform::ocr
