#pragma once

#include <algorithm>

namespace corvane::platform {

// Screen geometry in points with the origin at the top left of the whole desktop (X11 root).
struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
  bool isPositive() const { return width > 0 && height > 0; }
};

struct Rect {
  Point origin;
  Size size;
  bool operator==(const Rect&) const = default;

  double minX() const { return origin.x; }
  double minY() const { return origin.y; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  bool isEmpty() const { return !(size.width > 0 && size.height > 0); }
  bool contains(Point p) const {
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
  }

  Rect intersection(const Rect& other) const {
    const double x0 = std::max(minX(), other.minX());
    const double y0 = std::max(minY(), other.minY());
    const double x1 = std::min(maxX(), other.maxX());
    const double y1 = std::min(maxY(), other.maxY());
    if (x1 <= x0 || y1 <= y0) return Rect{{x0, y0}, {0, 0}};
    return Rect{{x0, y0}, {x1 - x0, y1 - y0}};
  }
  bool intersects(const Rect& other) const { return !intersection(other).isEmpty(); }
  // The same area with a non-negative width and height.
  Rect standardized() const {
    Rect result = *this;
    if (result.size.width < 0) {
      result.origin.x += result.size.width;
      result.size.width = -result.size.width;
    }
    if (result.size.height < 0) {
      result.origin.y += result.size.height;
      result.size.height = -result.size.height;
    }
    return result;
  }
  double area() const { return isEmpty() ? 0 : size.width * size.height; }
};

// How far a window manager's frame (its title bar and borders) reaches beyond a window's content
// on each side, in points.
struct FrameExtents {
  double left = 0;
  double right = 0;
  double top = 0;
  double bottom = 0;
  bool operator==(const FrameExtents&) const = default;

  // The whole window as it lies on the screen: `content` with the frame around it.
  Rect around(const Rect& content) const {
    return Rect{{content.minX() - left, content.minY() - top},
                {content.width() + left + right, content.height() + top + bottom}};
  }
};

}  // namespace corvane::platform
