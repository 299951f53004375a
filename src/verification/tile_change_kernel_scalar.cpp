#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "verification/tile_change_kernel.h"
#include "verification/tile_row_walk.h"

namespace corvane::verification {

namespace {

void scanSegment(const std::uint8_t* current, const std::uint8_t* previous, int pixels,
                 std::uint8_t& guarded, std::uint8_t& count) {
  if (std::memcmp(current, previous, static_cast<std::size_t>(pixels) * 4) == 0) return;
  guarded = 1;
  for (int i = 0; i < pixels; ++i) {
    const std::uint8_t* a = current + i * 4;
    const std::uint8_t* b = previous + i * 4;
    int delta = 0;
    for (int channel = 0; channel < 4; ++channel)
      delta =
          std::max(delta, std::abs(static_cast<int>(a[channel]) - static_cast<int>(b[channel])));
    if (delta > kMeaningfulChannelDelta && ++count >= kMeaningfulPixelsForAnalysis) return;
  }
}

}  // namespace

void detectChangedTilesScalar(const TileScan& scan, int firstTileRow, int endTileRow) {
  walkTileRows<&scanSegment>(scan, firstTileRow, endTileRow);
}

}  // namespace corvane::verification
