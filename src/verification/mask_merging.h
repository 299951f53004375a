#pragma once

#include <vector>

#include "platform/geometry.h"

namespace corvane::verification {

// The window areas of a frame: what shows of each window, as top-left normalised rectangles (one
// list per window). Masks are merged only within one of them.
using MaskAreas = std::vector<std::vector<platform::Rect>>;

// A covered box made of the boxes merged into it so far: merging boxes into their bounding box
// hides what lies beside them, and a merge of merged boxes is judged by every box it holds, not
// by the bounding box an earlier merge already widened.
class MaskGroup {
 public:
  // One box, in the window area (an index into the frame's areas, -1 for none) holding its centre.
  MaskGroup(const platform::Rect& box, int area) : box_(box), parts_{box}, area_(area) {}

  const platform::Rect& box() const { return box_; }
  int area() const { return area_; }

  // Whether the two may become one: both in the same window area, and their bounding box covers
  // beyond what their boxes cover at most a tenth of that (boxes in line, one within another) or
  // at most half as large again as the smaller of the two groups covers (the words of one row, a
  // fragment at the end of a line).
  bool mayJoin(const MaskGroup& other) const;
  void join(const MaskGroup& other);

 private:
  platform::Rect box_;
  std::vector<platform::Rect> parts_;
  int area_;
};

// The index of the window area that holds the centre of `box` (the first that does), -1 when
// none does.
int maskAreaOf(const platform::Rect& box, const MaskAreas& areas);

// The area the union of `rects` covers.
double coveredArea(const std::vector<platform::Rect>& rects);

}  // namespace corvane::verification
