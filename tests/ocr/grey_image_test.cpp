#include "platform/linux/ocr/grey_image.h"

#include <gtest/gtest.h>

#include <random>

#include "support/text_corpus.h"

namespace corvane::platform::ocr {
namespace {

void fillArea(PixelBuffer& image, int x0, int y0, int width, int height, std::uint32_t colour) {
  for (int y = y0; y < std::min(image.height(), y0 + height); ++y)
    for (int x = x0; x < std::min(image.width(), x0 + width); ++x) image.setPixel(x, y, colour);
}

// Lines of text beside a dark sidebar, a gutter bar, window borders and a dark input box: the
// measure finds the text's height, not the height of what surrounds it.
TEST(GreyImageTest, LineHeightIgnoresBarsBordersAndBlocks) {
  std::mt19937 random(35);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 12; ++round) {
    const double size = pick(10, 24);
    std::vector<testing::CorpusLine> lines;
    for (const auto& line : testing::benignLines()) lines.push_back(line);
    const auto corpus = testing::renderCorpus(lines, size, false, 900);
    PixelBuffer& image = *corpus.image;
    const auto plain = greyDarkOnLight(image, {0, 0, image.width(), image.height()});
    const int textHeight = typicalLineHeight(plain);
    ASSERT_GT(textHeight, size * 0.6) << size;
    ASSERT_LT(textHeight, size * 1.6) << size;

    // Text starts at x 16: the furniture goes to the right of the text and down the edges.
    fillArea(image, image.width() - pick(120, 260), 0, 300, image.height(), 0xFF2B2B30);
    fillArea(image, pick(620, 630), 0, pick(1, 3), image.height(), 0xFF505050);
    fillArea(image, 0, 0, 2, image.height(), 0xFF000000);
    fillArea(image, 0, 0, image.width(), 2, 0xFF000000);
    fillArea(image, 0, image.height() - 2, image.width(), 2, 0xFF000000);
    fillArea(image, 500, pick(0, image.height() / 2), 110, pick(20, 40), 0xFF303030);
    const auto furnished = greyDarkOnLight(image, {0, 0, image.width(), image.height()});
    EXPECT_NEAR(typicalLineHeight(furnished), textHeight, 2) << size;
  }
}

// Grid lines and borders go; letters, and a dark block wider than a line, stay as they were.
TEST(GreyImageTest, ErasingRulesRemovesThinLinesAndKeepsTextAndBlocks) {
  std::mt19937 random(3535);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 10; ++round) {
    const double size = pick(10, 24);
    const auto corpus = testing::renderCorpus(
        {{"North 482 units on track", {}}, {"South 117 units at risk", {}}}, size, round % 2, 700);
    PixelBuffer& image = *corpus.image;
    const auto text = greyDarkOnLight(image, {0, 0, image.width(), image.height()});
    const std::uint32_t line = round % 2 ? 0xFFB0B0B0 : 0xFF606060;
    const int column = pick(500, 560), thickness = pick(1, 3);
    fillArea(image, column, 0, thickness, image.height(), line);
    const int row = pick(1, image.height() - 4);
    fillArea(image, 0, row, image.width(), 1, line);
    fillArea(image, 620, 0, 40, image.height(), round % 2 ? 0xFFE0E0E0 : 0xFF202020);
    GreyImage ruled = greyDarkOnLight(image, {0, 0, image.width(), image.height()});
    eraseRules(ruled);
    for (int y = 0; y < ruled.height; ++y) {
      for (int x = 0; x < ruled.width; ++x) {
        const bool onLine = (x >= column && x < column + thickness) || y == row;
        const bool inBlock = x >= 620 && x < 660 && y != row;
        if (inBlock) {
          ASSERT_LT(ruled.at(x, y), 128) << "the block stays, " << x << "," << y;
        } else if (onLine) {
          ASSERT_GT(ruled.at(x, y), 200) << "the line goes, " << x << "," << y;
        } else {
          ASSERT_EQ(ruled.at(x, y), text.at(x, y)) << "text stays, " << x << "," << y;
        }
      }
    }
  }
}

TEST(GreyImageTest, ScalingKeepsTheImageAndItsSize) {
  GreyImage image{3, 2, {0, 100, 200, 50, 150, 250}};
  const GreyImage twice = scaled(image, 2);
  EXPECT_EQ(twice.width, 6);
  EXPECT_EQ(twice.height, 4);
  EXPECT_EQ(twice.at(0, 0), 0);
  EXPECT_EQ(twice.at(5, 3), 250);
  const GreyImage more = scaled(image, 2.5);
  EXPECT_EQ(more.width, 7);
  EXPECT_EQ(more.height, 5);
  for (int x = 1; x < more.width; ++x) EXPECT_GE(more.at(x, 0), more.at(x - 1, 0));
}

}  // namespace
}  // namespace corvane::platform::ocr
