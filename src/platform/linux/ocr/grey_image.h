#pragma once

#include <cstdint>
#include <vector>

#include "platform/pixel_buffer.h"

namespace corvane::platform::ocr {

// An 8-bit grey image, rows packed tightly: what the recognition engine reads.
struct GreyImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// A pixel rectangle of the source image.
struct PixelArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The area of a BGRA image as grey, inverted when its background is dark so that text is always
// dark on light (the engine reads light text on dark poorly).
GreyImage greyDarkOnLight(const PixelBuffer& image, PixelArea area);

// Whether a column (row) inked on `inked` of its `length` pixels is inked nearly throughout: a
// bar, a border or a highlighted line rather than text.
inline bool inkedNearlyThroughout(int inked, int length) {
  return inked * 20 >= length * 17;
}

// The background: the commonest level.
std::uint8_t backgroundLevel(const GreyImage& image);

// Paints thin straight lines (grid lines, borders, rules: at most 3 px thick, across nearly the
// whole height or longer than any stroke of text) with the background, so that the engine's
// layout does not split or join lines of text at them. Blocks and text are left alone.
void eraseRules(GreyImage& image);

// The typical height in pixels of the text lines (rows holding ink, in runs), 0 when there is no
// ink: cheap enough to decide whether text is small before recognising it. Bars, borders and
// blocks (columns inked over nearly the whole height, rows inked in one long stretch) are not
// text and are left out.
int typicalLineHeight(const GreyImage& image);

// The share of the image's inked columns that cross four or more separate strokes from top to
// bottom, 0 without ink. Latin letters, digits and punctuation cross at most three in nearly every
// column (e, B, 8); Hangul syllables stack two or three parts of several strokes each and cross
// four or more in many: what tells a line of Hangul from a line of Latin text read badly.
double stackedStrokeShare(const GreyImage& image);

// The part of the image inside `area`, clipped to it.
GreyImage cropped(const GreyImage& image, PixelArea area);

// The image scaled by `factor` with bilinear filtering.
GreyImage scaled(const GreyImage& image, double factor);

}  // namespace corvane::platform::ocr
