#pragma once

#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::verification {

// Turns the changed rectangles of a frame (top-left, normalised) into at most two analysis
// regions, or the whole frame when the changes are many or large; where the frame's windows are
// known, the regions follow the windows, so that each window is read on its own (its own
// polarity, scale and layout, no line joined with another window's).
struct ProtectedAnalysisRegionPlanner {
  // What shows of each window of a frame, bottom to top, as top-left normalised rectangles.
  using WindowRegions = std::vector<std::vector<platform::Rect>>;

  static constexpr double kHorizontalMargin = 0.25;
  static constexpr double kVerticalMargin = 0.025;

  static std::vector<platform::Rect> regions(const std::vector<platform::Rect>& changedRects,
                                             double horizontalMargin = kHorizontalMargin,
                                             double verticalMargin = kVerticalMargin,
                                             const WindowRegions& windows = {});

  // For a quick read of a change: each change is cut along the windows first, and each piece
  // grown by the margins only within the shown window area it lies in, so that every region holds
  // some of the change and none crosses a window's edge. Where no window shows, a piece grows as
  // far as the windows let it. Many or large changes are read window by window, as `regions`
  // reads them.
  static std::vector<platform::Rect> changeRegions(const std::vector<platform::Rect>& changedRects,
                                                   double horizontalMargin, double verticalMargin,
                                                   const WindowRegions& windows);

  // What of `parts` lies within `region` (the region itself when nothing does): the parts of one
  // planned region, read together.
  static std::vector<platform::Rect> partsWithin(const std::vector<platform::Rect>& parts,
                                                 const platform::Rect& region);

  // The windows the frame's writer said it drew; none when it did not say (or there is no frame).
  static WindowRegions windowRegions(const platform::PixelBuffer* frame);

  // `regions` cut along the windows: each piece lies within what shows of one window, or where
  // no window shows, and together the pieces cover the regions.
  static std::vector<platform::Rect> alongWindows(const std::vector<platform::Rect>& regions,
                                                  const WindowRegions& windows);

 private:
  static std::vector<platform::Rect> unitRegions(const std::vector<platform::Rect>& changedRects,
                                                 double horizontalMargin, double verticalMargin);
};

}  // namespace corvane::verification
