#pragma once

#include <vector>

#include "platform/pixel_buffer.h"

namespace corvane::platform::x11 {

using FrameArea = PixelChanges::Area;

// The same pixels covered by at most `most` rectangles that do not overlap: neighbours are joined
// into their bounding box, those that waste the fewest pixels first. Empty rectangles are dropped.
std::vector<FrameArea> coveringAreas(std::vector<FrameArea> areas, std::size_t most);

// Where an area of a `fromWidth` x `fromHeight` image reaches once it is scaled bilinearly to
// `toWidth` x `toHeight`: its scaled box grown by a source pixel and an output pixel on every side
// (each output pixel blends the source pixels around its centre), clamped to the output.
FrameArea scaledFootprint(const FrameArea& area, int fromWidth, int fromHeight, int toWidth,
                          int toHeight);

// What of `areas` lies outside `cut`, as rectangles that do not overlap one another where
// `areas` did not.
std::vector<FrameArea> areasOutside(const std::vector<FrameArea>& areas, const FrameArea& cut);

// The pixels of all of `areas`; overlaps are counted twice.
long long pixelCount(const std::vector<FrameArea>& areas);

}  // namespace corvane::platform::x11
