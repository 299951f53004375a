#pragma once

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::verification {

// A line's box as recognition gives it reaches into the rows around it (a terminal's whole cell,
// the leading of a page), and the mask painted over it reaches further still (`growth` pixels
// above and below): over a tightly set terminal it would hide the tops of the next line's letters.
// The box narrowed, top and bottom, to the band of inked rows across its middle, or else the one
// holding most of its ink (gaps of a row within a band allowed: an underscore below its letters,
// the dot of an i), and, where the ink of the lines around comes closer than the growth, further
// by as much as the growth would reach past the middle of the gap: the mask then ends there, its
// ink still under it. The box itself when it holds no ink or one band fills it. Top-left
// normalised.
platform::Rect narrowedToInkRows(const platform::PixelBuffer& image, const platform::Rect& box,
                                 int growth);

// Whether `box` (top-left normalised) shows a row of glyphs: a band of inked rows a few to a few
// dozen pixels tall, with plain rows above and below it (looked for a little beyond the box), in
// which the ink falls apart into four pieces or more, letters and words. The gap between two
// windows (their edges running on past any band), a bar or a button or two do not.
bool showsRowOfGlyphs(const platform::PixelBuffer& image, const platform::Rect& box);

}  // namespace corvane::verification
