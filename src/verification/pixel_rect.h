#pragma once

#include <algorithm>
#include <optional>

#include "platform/geometry.h"

namespace corvane::verification {

// A rectangle of whole pixels in an image, origin at the top left.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  int maxX() const { return x + width; }
  int maxY() const { return y + height; }
  bool isEmpty() const { return width <= 0 || height <= 0; }
  double midX() const { return x + width / 2.0; }
  double midY() const { return y + height / 2.0; }
  PixelRect intersection(const PixelRect& other) const {
    const int x0 = std::max(x, other.x);
    const int y0 = std::max(y, other.y);
    const int x1 = std::min(maxX(), other.maxX());
    const int y1 = std::min(maxY(), other.maxY());
    if (x1 <= x0 || y1 <= y0) return PixelRect{x0, y0, 0, 0};
    return PixelRect{x0, y0, x1 - x0, y1 - y0};
  }
  bool operator==(const PixelRect&) const = default;
};

// `box` with each edge moved in, a row or a column at a time, while `goes` holds for the row or
// column on it (a PixelRect one pixel high or wide); it may end empty.
template <class Goes>
PixelRect shrunkWhile(PixelRect box, Goes goes) {
  for (bool moved = true; moved && !box.isEmpty();) {
    moved = false;
    if (goes(PixelRect{box.x, box.y, box.width, 1})) ++box.y, --box.height, moved = true;
    if (!box.isEmpty() && goes(PixelRect{box.x, box.maxY() - 1, box.width, 1}))
      --box.height, moved = true;
    if (!box.isEmpty() && goes(PixelRect{box.x, box.y, 1, box.height}))
      ++box.x, --box.width, moved = true;
    if (!box.isEmpty() && goes(PixelRect{box.maxX() - 1, box.y, 1, box.height}))
      --box.width, moved = true;
  }
  return box;
}

// The normalised rect (origin top left) of the whole pixels `pixels` of a `width` × `height`
// image.
platform::Rect normalizedRect(const PixelRect& pixels, int width, int height);

// The whole pixels of a `width` × `height` image that the normalised rect (origin top left,
// clamped to the unit square first) touches, rounded outward. Nothing when the clamped rect has
// no area, such as a rect wholly outside the frame.
std::optional<PixelRect> pixelRect(const platform::Rect& normalized, int width, int height);

// The same for a rect that may be turned inside out (negative size): standardised and clipped to
// the unit square first. Nothing when that leaves no area.
std::optional<PixelRect> pixelRectOfClipped(const platform::Rect& normalized, int width,
                                            int height);

// Masks cover their redaction's pixels and this many more on the left and right, and at the top
// and bottom.
inline constexpr int kMaskGrowX = 6;
inline constexpr int kMaskGrowY = 3;

// The pixels a mask over the normalised rect covers: its pixel rect grown by the mask's margins
// and kept inside the image. Nothing for a rect wholly outside the image.
std::optional<PixelRect> maskPixelRect(const platform::Rect& normalized, int width, int height);

}  // namespace corvane::verification
