#pragma once

#include <vector>

#include "platform/geometry.h"

namespace corvane::verification {

// Rectangles normalised to a frame's unit square. Two spaces meet here: top-left (regions,
// redactions, item frames) and recognition space, whose origin is the bottom left.

inline constexpr platform::Rect kUnitRect{{0, 0}, {1, 1}};

// The part of `r` inside the unit square; empty (zero size) when they do not overlap.
platform::Rect clippedToUnit(const platform::Rect& r);
platform::Rect unionRect(const platform::Rect& a, const platform::Rect& b);
// Whether the bounding box of `a` and `b` hides hardly anything beside them: what it covers
// beyond the two is at most a tenth of their area (boxes in line, one within the other) or at most
// half as large again as the smaller box (the words of one row, a fragment at the end of a line).
// Merging two boxes into their bounding box otherwise hides what lies beside them (a column and
// the lines next to it, the top of the next line).
bool boundingBoxFitsBoth(const platform::Rect& a, const platform::Rect& b);
// The area the union of `rects` covers (overlaps counted once).
double coveredArea(const std::vector<platform::Rect>& rects);
// `r` grown by dx on the left and right and dy at the top and bottom.
platform::Rect grown(const platform::Rect& r, double dx, double dy);
// Whether `inner` lies wholly within `outer` (edges may touch).
bool containsRect(const platform::Rect& outer, const platform::Rect& inner);
platform::Point centre(const platform::Rect& r);
// Ascending by minY, then by minX: the reading order of regions.
bool isBeforeInReadingOrder(const platform::Rect& a, const platform::Rect& b);

// A top-left region as a recognition region of interest; the whole frame when it clips to
// nothing.
platform::Rect visionRegion(const platform::Rect& topLeftRegion);
// A box relative to `region` as a box of the whole space, and back.
platform::Rect mappedOut(const platform::Rect& relativeBox, const platform::Rect& region);
platform::Rect mappedInto(const platform::Rect& box, const platform::Rect& region);
// A recognition-space box in top-left space, clipped to the unit square.
platform::Rect topLeftFromRecognition(const platform::Rect& box);

}  // namespace corvane::verification
