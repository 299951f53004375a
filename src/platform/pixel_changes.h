#pragma once

#include <optional>

#include "platform/pixel_buffer.h"

namespace corvane::platform {

// Where `after` differs from `before`, found by comparing them square by square (`tile` pixels a
// side): the changed squares, neighbours in a row joined into one area, relative to `before`'s
// serial. Exact at the squares' grain: every differing pixel lies in an area. Nothing when the
// two are not the same size.
std::optional<PixelChanges> changedTiles(const PixelBuffer& before, const PixelBuffer& after,
                                         int tile = 64);

}  // namespace corvane::platform
