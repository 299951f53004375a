#pragma once

#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::verification {

// A frame that comes without its window areas (a capture that did not say which windows it
// drew) is read as one region: one polarity and one text size for a whole desktop, where dark
// windows sit beside light ones and 12-pixel text beside 15-pixel text. These find the panels of
// such a region, the parts each with a plain background of its own (windows, their title bars,
// an editor's gutter), so that each is read on its own as a window would be.

// The panels of `region` (top-left normalised), as what shows of each (top-left normalised
// rectangles, one list per panel): areas of one background colour at least a few words wide and a
// line tall, their edges found to the pixel. A panel lying within another is part of it; where two
// overlap, the one its colour fills more fully (the window on top) keeps the overlap. The region's
// own background (a desktop's wallpaper, a window filling it) is no panel.
std::vector<std::vector<platform::Rect>> backgroundPanels(const platform::PixelBuffer& image,
                                                          const platform::Rect& region);

}  // namespace corvane::verification
