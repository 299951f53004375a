#pragma once

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::verification {

// A line's box as recognition gives it reaches into the rows around it (a terminal's whole cell,
// the leading of a page), and the mask painted over it reaches further still: over a tightly set
// terminal it would hide the tops of the next line's letters. The box narrowed, top and bottom,
// to the band of rows holding most of its ink (gaps of a row within a band allowed: an underscore
// below its letters, the dot of an i); the box itself when it holds no ink or one band fills it.
// Top-left normalised.
platform::Rect narrowedToInkRows(const platform::PixelBuffer& image, const platform::Rect& box);

// Whether `box` (top-left normalised) shows a row of glyphs: a band of inked rows a few to a few
// dozen pixels tall, with plain rows above and below it (looked for a little beyond the box), in
// which the ink falls apart into four pieces or more, letters and words. The gap between two
// windows (their edges running on past any band), a bar or a button or two do not.
bool showsRowOfGlyphs(const platform::PixelBuffer& image, const platform::Rect& box);

}  // namespace corvane::verification
