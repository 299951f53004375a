#include "capture/arrow_cursor_image.h"

#include <array>
#include <memory>

namespace corvane::capture {

namespace {

// '#' outline, '.' body, ' ' transparent.
constexpr std::array<const char*, 19> kArrowRows = {
    "#           ", "##          ", "#.#         ", "#..#        ", "#...#       ",
    "#....#      ", "#.....#     ", "#......#    ", "#.......#   ", "#........#  ",
    "#.........# ", "#......#####", "#...#..#    ", "#..# #..#   ", "#.#  #..#   ",
    "##    #..#  ", "#     #..#  ", "       #..# ", "       #### "};

platform::SharedPixelBuffer drawArrow() {
  auto image = std::make_shared<platform::PixelBuffer>(12, static_cast<int>(kArrowRows.size()));
  image->fill(0x00000000);
  for (int y = 0; y < image->height(); ++y) {
    for (int x = 0; x < image->width(); ++x) {
      const char cell = kArrowRows[static_cast<std::size_t>(y)][x];
      if (cell == '#') image->setPixel(x, y, 0xFF000000);
      if (cell == '.') image->setPixel(x, y, 0xFFFFFFFF);
    }
  }
  return image;
}

}  // namespace

platform::SharedPixelBuffer arrowCursorImage() {
  static const platform::SharedPixelBuffer image = drawArrow();
  return image;
}

}  // namespace corvane::capture
