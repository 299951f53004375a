#pragma once

#include <vector>

#include "platform/geometry.h"

namespace corvane::platform {

// What of `rect` lies outside `hole`, as at most four rectangles that do not overlap: the bands
// above and below the hole at the full width of `rect`, then the parts beside it. Horizontal
// bands keep lines of text whole wherever the hole allows.
inline std::vector<Rect> subtracted(const Rect& rect, const Rect& hole) {
  if (rect.isEmpty()) return {};
  const Rect cut = rect.intersection(hole);
  if (cut.isEmpty()) return {rect};
  std::vector<Rect> pieces;
  auto add = [&pieces](double x0, double y0, double x1, double y1) {
    if (x1 > x0 && y1 > y0) pieces.push_back(Rect{{x0, y0}, {x1 - x0, y1 - y0}});
  };
  add(rect.minX(), rect.minY(), rect.maxX(), cut.minY());
  add(rect.minX(), cut.minY(), cut.minX(), cut.maxY());
  add(cut.maxX(), cut.minY(), rect.maxX(), cut.maxY());
  add(rect.minX(), cut.maxY(), rect.maxX(), rect.maxY());
  return pieces;
}

// What of every rectangle of `area` lies outside `hole`.
inline std::vector<Rect> subtracted(const std::vector<Rect>& area, const Rect& hole) {
  std::vector<Rect> pieces;
  for (const Rect& rect : area) {
    for (const Rect& piece : subtracted(rect, hole)) pieces.push_back(piece);
  }
  return pieces;
}

}  // namespace corvane::platform
