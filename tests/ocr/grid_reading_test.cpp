#include "platform/linux/ocr/grid_reading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <tuple>

#include "platform/linux/ocr/glyph_table.h"
#include "support/text_corpus.h"
#include "terminal_cells.h"

namespace corvane::platform::ocr {
namespace {

using testing::drawTerminal;
using testing::TerminalRow;

GreyImage greyOf(const PixelBuffer& image) {
  return greyDarkOnLight(image, {0, 0, image.width(), image.height()});
}

// What the engine would read of a terminal's row `row` in an image the terminal's rows were
// copied into `dy` pixels lower: the row's words with their characters, boxes over their cells.
ReadLine truthOf(const std::string& text, const testing::DrawnTerminal& drawn, int row, int dy) {
  const int top = drawn.top + row * drawn.cellHeight + dy;
  ReadLine line{0, top + 1, 0, top + drawn.cellHeight - 1, {}, 0.95f, {}, {}};
  for (std::size_t start = 0; start < text.size();) {
    if (text[start] == ' ') {
      ++start;
      continue;
    }
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    ReadLine word{drawn.left + static_cast<int>(start) * drawn.cellWidth + 1,
                  line.top,
                  drawn.left + static_cast<int>(end) * drawn.cellWidth - 1,
                  line.bottom,
                  text.substr(start, end - start),
                  0.95f,
                  {},
                  {}};
    for (std::size_t i = start; i < end; ++i) word.symbols.push_back({text.substr(i, 1), 0.95f});
    line.text += (line.text.empty() ? "" : " ") + word.text;
    line.words.push_back(std::move(word));
    start = end;
  }
  line.left = line.words.front().left, line.right = line.words.back().right;
  return line;
}

// An engine that knows the terminal: it finds the rows the piece shows (their pixels, where they
// lie in it) and reads them as drawn. It keeps the rows it was given to read (of rows drawn
// alike, the first).
struct ReaderKnowingTheTerminal {
  const std::vector<TerminalRow>& rows;
  const testing::DrawnTerminal& drawn;
  const GreyImage& image;
  std::vector<int> given;

  runtime::Result<std::vector<ReadLine>> operator()(const GreyImage& piece) {
    std::vector<ReadLine> lines;
    const std::size_t bytes = static_cast<std::size_t>(drawn.cellHeight) * image.width;
    for (int y = 0; y + drawn.cellHeight <= piece.height; ++y) {
      for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const int top = drawn.top + row * drawn.cellHeight;
        if (std::memcmp(piece.pixels.data() + static_cast<std::size_t>(y) * piece.width,
                        image.pixels.data() + static_cast<std::size_t>(top) * image.width,
                        bytes) != 0)
          continue;
        given.push_back(row);
        lines.push_back(truthOf(rows[static_cast<std::size_t>(row)].text, drawn, row, y - top));
        y += drawn.cellHeight - 1;
        break;
      }
    }
    return lines;
  }
};

std::vector<TerminalRow> sessionRows() {
  std::vector<TerminalRow> rows;
  for (int i = 0; i < 6; ++i) {
    rows.push_back({"dana@build-07:~/ledger$ git log -3", 0.1});
    rows.push_back({"Reading package lists... Done", 0.35});
    rows.push_back({"test result: ok. 212 passed; 0 failed", 0.1});
  }
  rows.push_back({"export TOKEN=sk-Qz8WvX3mYkJ9", 0.1});
  rows.push_back({"Reading package lists... Done", 0.35});
  return rows;
}

// The cells of a terminal are found wherever it starts, light or dark, at two sizes; proportional
// text has none, nor has monospaced prose laid out at a fractional advance.
TEST(CharacterGridTest, FindsATerminalsCellsAndNoneInProportionalText) {
  for (const auto& [cellWidth, cellHeight, left, top] :
       {std::tuple{8, 15, 5, 3}, std::tuple{7, 13, 10, 6}}) {
    for (double background : {1.0, 0.1}) {
      std::vector<TerminalRow> rows = sessionRows();
      if (background < 0.5)
        for (TerminalRow& row : rows) row.level = 1 - row.level;
      const auto drawn = drawTerminal(rows, 45, background, cellWidth, cellHeight, left, top);
      const GreyImage image = greyOf(*drawn.image);
      const auto grid = findCharacterGrid(image);
      ASSERT_TRUE(grid) << cellWidth << "x" << cellHeight;
      EXPECT_EQ(grid->cellWidth, cellWidth);
      EXPECT_EQ(grid->cellHeight, cellHeight);
      // Each character whole in a cell of its own.
      std::size_t characters = 0, inked = 0;
      for (const TerminalRow& row : rows)
        characters += static_cast<std::size_t>(
            std::count_if(row.text.begin(), row.text.end(), [](char c) { return c != ' '; }));
      for (int row = grid->rowAt(0); row <= grid->rowAt(image.height - 1); ++row)
        for (int column = grid->columnAt(0); column <= grid->columnAt(image.width - 1); ++column)
          inked += cellHasInk(image, *grid, column, row);
      EXPECT_EQ(inked, characters) << cellWidth << "x" << cellHeight << " on " << background;
    }
  }
  std::vector<corvane::testing::CorpusLine> lines;
  for (const auto& line : corvane::testing::benignLines()) lines.push_back(line);
  const auto proportional = corvane::testing::renderCorpus(lines, 12, false, 900);
  EXPECT_FALSE(findCharacterGrid(greyOf(*proportional.image)));
  std::vector<TerminalRow> prose;
  for (const auto& line : corvane::testing::benignLines()) prose.push_back({line.text, 0.1});
  const auto drifting = drawTerminal(prose, 60, 1, 8, 15, 5, 3, 7.95);
  const GreyImage image = greyOf(*drifting.image);
  const auto grid = findCharacterGrid(image);
  EXPECT_FALSE(grid && terminalRows(image, *grid));
}

// The engine reads the rows that show characters it has not read yet; the rows left are read
// from what it read, with their text and their boxes where they are. A row whose faint word
// the table never saw goes to the engine, not read as blank.
TEST(GridReadingTest, RowsOfCharactersAlreadyReadComeFromTheTable) {
  std::vector<TerminalRow> rows = sessionRows();
  rows.insert(rows.begin() + 12, {"Reading package lists... Done", 0.35});
  // The same row but for a word a shade off the background: that shade is text all the same.
  rows.push_back({"test result: ok. 212 passed; 0 failed", 0.1});
  const auto drawn = drawTerminal(rows, 45);
  const GreyImage image = greyOf(*drawn.image);
  const auto grid = findCharacterGrid(image);
  ASSERT_TRUE(grid);
  {
    // The last row's "0 failed" redrawn a shade off the background.
    auto& pixels = *drawn.image;
    const int y0 = drawn.top + (static_cast<int>(rows.size()) - 1) * drawn.cellHeight;
    for (int y = y0; y < y0 + drawn.cellHeight; ++y)
      for (int x = drawn.left + 29 * drawn.cellWidth; x < drawn.left + 38 * drawn.cellWidth; ++x)
        if ((pixels.pixel(x, y) & 0xFF) != 0xFF) pixels.setPixel(x, y, 0xFFFAFAFA);
  }
  const GreyImage shaded = greyOf(*drawn.image);
  const auto terminal = terminalRows(shaded, *grid);
  ASSERT_TRUE(terminal);
  ReaderKnowingTheTerminal reader{rows, drawn, shaded, {}};
  GlyphTable table;
  auto lines = readAlongGrid(shaded, shaded, 1, *grid, *terminal, table, std::ref(reader));
  ASSERT_TRUE(lines.ok()) << lines.message();

  // Every row read once, where it is (the grid's rows may start a pixel or two off the drawn
  // cells, where the ink is least), as written.
  ASSERT_EQ(lines.value().size(), rows.size());
  std::vector<bool> seen(rows.size(), false);
  for (const ReadLine& line : lines.value()) {
    const int row = ((line.top + line.bottom) / 2 - drawn.top) / drawn.cellHeight;
    ASSERT_LT(row, static_cast<int>(rows.size()));
    EXPECT_FALSE(seen[static_cast<std::size_t>(row)]) << row;
    seen[static_cast<std::size_t>(row)] = true;
    EXPECT_EQ(line.text, rows[static_cast<std::size_t>(row)].text) << row;
    EXPECT_NEAR(line.top, drawn.top + row * drawn.cellHeight, 2) << row;
    EXPECT_NEAR(line.bottom, drawn.top + (row + 1) * drawn.cellHeight, 2) << row;
    EXPECT_NEAR(line.left, drawn.left, drawn.cellWidth) << row;
  }
  // The engine read the rows it needed, and the faint one, not every row.
  EXPECT_LT(reader.given.size(), rows.size() / 2);
  EXPECT_NE(std::find(reader.given.begin(), reader.given.end(), static_cast<int>(rows.size()) - 1),
            reader.given.end());
  // What the table learned holds for the next frame: the same terminal needs the engine no more.
  ReaderKnowingTheTerminal again{rows, drawn, shaded, {}};
  auto next = readAlongGrid(shaded, shaded, 1, *grid, *terminal, table, std::ref(again));
  ASSERT_TRUE(next.ok());
  EXPECT_EQ(next.value().size(), rows.size());
  EXPECT_TRUE(again.given.empty());
}

// A picture read as two characters stands for neither until one is read twice as often; a row
// with a picture never read is not read from the table.
TEST(GlyphTableTest, APictureStandsForTheCharacterItIsMostOftenReadAs) {
  const std::vector<TerminalRow> rows = {{"l1 lo", 0.1}, {"ol", 0.1}, {"1l", 0.1}};
  const auto drawn = drawTerminal(rows, 8);
  const GreyImage image = greyOf(*drawn.image);
  CharacterGrid grid{drawn.cellWidth, drawn.cellHeight, drawn.left, drawn.top, 255};
  auto runsOf = [&](int row) { return cellRuns(image, grid, row, 0, 7); };
  GlyphTable table;
  auto word = [&](int row, int first, const std::string& read) {
    ReadLine made = truthOf(read, drawn, row, 0);
    made.words.front().left = drawn.left + first * drawn.cellWidth + 1;
    made.words.front().right =
        drawn.left + (first + static_cast<int>(read.size())) * drawn.cellWidth - 1;
    return made.words.front();
  };
  EXPECT_FALSE(table.read(image, grid, 1, runsOf(1)));
  table.learn(image, grid, word(0, 0, "l1"));
  table.learn(image, grid, word(0, 3, "lo"));
  ASSERT_TRUE(table.read(image, grid, 1, runsOf(1)));
  EXPECT_EQ(table.read(image, grid, 1, runsOf(1))->front().text, "ol");
  // "l" read as "1" as often as "l": the picture is in doubt and no row showing it is read.
  table.learn(image, grid, word(1, 0, "o1"));
  table.learn(image, grid, word(1, 0, "o1"));
  EXPECT_FALSE(table.read(image, grid, 1, runsOf(1)));
  EXPECT_FALSE(table.read(image, grid, 2, runsOf(2)));
  table.learn(image, grid, word(0, 3, "lo"));
  table.learn(image, grid, word(0, 3, "lo"));
  ASSERT_TRUE(table.read(image, grid, 2, runsOf(2)));
  EXPECT_EQ(table.read(image, grid, 2, runsOf(2))->front().text, "1l");
  // A word whose characters do not fall one to a cell teaches nothing.
  GlyphTable other;
  other.learn(image, grid, word(0, 0, "l"));
  EXPECT_EQ(other.size(), 0u);
}

}  // namespace
}  // namespace corvane::platform::ocr
