#pragma once

#include <vector>

#include "model/protected_redaction.h"
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

// Each redaction in turn merged into the first box so far that `touches` it (the box so far, the
// redaction) and whose group may take it in (MaskGroup::mayJoin), by `merge` (the box so far, the
// redaction; a merge of no area drops the box), or kept as a box of its own.
template <class Touches, class Merge>
std::vector<model::ProtectedRedaction> mergedWithinGroups(
    const std::vector<model::ProtectedRedaction>& redactions, const MaskAreas& areas,
    Touches touches, Merge merge) {
  std::vector<model::ProtectedRedaction> result;
  std::vector<MaskGroup> groups;  // what each box of the result is made of
  for (const model::ProtectedRedaction& redaction : redactions) {
    const MaskGroup group(redaction.normalizedFrame, maskAreaOf(redaction.normalizedFrame, areas));
    std::size_t match = 0;
    while (match < result.size() &&
           !(touches(result[match], redaction) && groups[match].mayJoin(group)))
      ++match;
    if (match == result.size()) {
      result.push_back(redaction);
      groups.push_back(group);
      continue;
    }
    model::ProtectedRedaction combined = merge(result[match], redaction);
    if (combined.normalizedFrame.isEmpty()) {
      result.erase(result.begin() + static_cast<std::ptrdiff_t>(match));
      groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(match));
    } else {
      result[match] = std::move(combined);
      groups[match].join(group);
    }
  }
  return result;
}

}  // namespace corvane::verification
