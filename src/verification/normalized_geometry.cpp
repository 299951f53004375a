#include "verification/normalized_geometry.h"

#include <algorithm>

namespace corvane::verification {

using platform::Point;
using platform::Rect;

Rect clippedToUnit(const Rect& r) {
  return r.intersection(kUnitRect);
}

Rect unionRect(const Rect& a, const Rect& b) {
  const double x0 = std::min(a.minX(), b.minX());
  const double y0 = std::min(a.minY(), b.minY());
  const double x1 = std::max(a.maxX(), b.maxX());
  const double y1 = std::max(a.maxY(), b.maxY());
  return Rect{{x0, y0}, {x1 - x0, y1 - y0}};
}

bool boundingBoxFitsBoth(const Rect& a, const Rect& b) {
  constexpr double kSpareShareOfBoth = 0.1;
  constexpr double kSpareShareOfTheSmaller = 1.5;
  const Rect shared = a.intersection(b);
  const double both = a.area() + b.area() - (shared.isEmpty() ? 0 : shared.area());
  const double beyond = unionRect(a, b).area() - both;
  return beyond <=
         std::max(kSpareShareOfBoth * both, kSpareShareOfTheSmaller * std::min(a.area(), b.area()));
}

double coveredArea(const std::vector<Rect>& rects) {
  // Sweep over the strips between the distinct edges of x; in each, the covered length of y.
  std::vector<double> xs;
  for (const Rect& r : rects) {
    if (r.isEmpty()) continue;
    xs.push_back(r.minX());
    xs.push_back(r.maxX());
  }
  std::sort(xs.begin(), xs.end());
  xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
  double area = 0;
  std::vector<std::pair<double, double>> spans;
  for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
    const double x0 = xs[i], x1 = xs[i + 1];
    spans.clear();
    for (const Rect& r : rects) {
      if (!r.isEmpty() && r.minX() <= x0 && r.maxX() >= x1) spans.push_back({r.minY(), r.maxY()});
    }
    std::sort(spans.begin(), spans.end());
    double length = 0, top = 0, bottom = 0;
    bool open = false;
    for (const auto& [y0, y1] : spans) {
      if (open && y0 <= bottom) {
        bottom = std::max(bottom, y1);
        continue;
      }
      if (open) length += bottom - top;
      top = y0, bottom = y1, open = true;
    }
    if (open) length += bottom - top;
    area += length * (x1 - x0);
  }
  return area;
}

Rect grown(const Rect& r, double dx, double dy) {
  return Rect{{r.minX() - dx, r.minY() - dy}, {r.width() + 2 * dx, r.height() + 2 * dy}};
}

bool containsRect(const Rect& outer, const Rect& inner) {
  return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() &&
         inner.minY() >= outer.minY() && inner.maxY() <= outer.maxY();
}

Point centre(const Rect& r) {
  return {r.minX() + r.width() / 2, r.minY() + r.height() / 2};
}

bool isBeforeInReadingOrder(const Rect& a, const Rect& b) {
  if (a.minY() != b.minY()) return a.minY() < b.minY();
  return a.minX() < b.minX();
}

Rect visionRegion(const Rect& topLeftRegion) {
  const Rect clipped = clippedToUnit(topLeftRegion);
  if (clipped.isEmpty()) return kUnitRect;
  return Rect{{clipped.minX(), 1 - clipped.maxY()}, clipped.size};
}

Rect mappedOut(const Rect& b, const Rect& r) {
  return Rect{{r.minX() + b.minX() * r.width(), r.minY() + b.minY() * r.height()},
              {b.width() * r.width(), b.height() * r.height()}};
}

Rect mappedInto(const Rect& a, const Rect& r) {
  return Rect{{(a.minX() - r.minX()) / r.width(), (a.minY() - r.minY()) / r.height()},
              {a.width() / r.width(), a.height() / r.height()}};
}

Rect topLeftFromRecognition(const Rect& a) {
  return clippedToUnit(Rect{{a.minX(), 1 - a.maxY()}, a.size});
}

}  // namespace corvane::verification
