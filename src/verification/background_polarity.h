#pragma once

#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::verification {

// Recognition reads a region with one polarity, the one its background has on the whole: a dark
// window on a light desktop read as one region is never inverted, and its text is never read.
// These find such parts so that they are read on their own.

// The parts of `region` (top-left normalised) whose background is of the other polarity than the
// region's as a whole (dark on a light region, light on a dark one), as tight top-left normalised
// rectangles, largest first: a terminal on a desktop, a code block on a page, a light sidebar in
// a dark window. Parts smaller than a few words, and a part that is nearly the whole region, are
// left out.
std::vector<platform::Rect> oppositeBackgroundAreas(const platform::PixelBuffer& image,
                                                    const platform::Rect& region);

// A copy of `image` with each of `areas` (top-left normalised, found in `region`) painted over
// with the region's own polarity (white on a light region, black on a dark one), so that the
// rest of the region is read without them.
platform::SharedPixelBuffer withAreasPaintedOver(const platform::PixelBuffer& image,
                                                 const std::vector<platform::Rect>& areas,
                                                 const std::vector<platform::Rect>& regions);

// Whether `area` (top-left normalised) shows rows of ink the way lines of text do: bands a few to
// a few dozen pixels tall of many short strokes, with plain rows between or around them.
bool showsTextLikeRows(const platform::PixelBuffer& image, const platform::Rect& area);

}  // namespace corvane::verification
