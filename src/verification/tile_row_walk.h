#pragma once

#include <algorithm>
#include <cstddef>

#include "verification/tile_change_kernel.h"

namespace corvane::verification {

// Scans one image row of one tile: sets `guarded` on any difference and adds the row's
// meaningful pixels to `count` (it may stop counting once the tile has enough).
using SegmentScanner = void (*)(const std::uint8_t* current, const std::uint8_t* previous,
                                int pixels, std::uint8_t& guarded, std::uint8_t& count);

// The walk both kernels share: every tile row image row by image row, left to right across the
// tiles (so memory is read in order), skipping tiles that already have enough meaningful pixels.
// While a tile row is scanned its analysis flags hold the counts; the end turns them into 0/1.
// Always inlined, so each kernel's walk is compiled for that kernel's instruction set.
template <SegmentScanner scanSegment>
[[gnu::always_inline]] inline void walkTileRows(const TileScan& scan, int firstTileRow,
                                                int endTileRow) {
  for (int tileRow = firstTileRow; tileRow < endTileRow; ++tileRow) {
    const int y0 = tileRow * scan.tileSize;
    const int y1 = std::min(y0 + scan.tileSize, scan.height);
    std::uint8_t* guarded = scan.guardedTiles + static_cast<std::size_t>(tileRow) * scan.columns;
    std::uint8_t* counts = scan.analysisTiles + static_cast<std::size_t>(tileRow) * scan.columns;
    for (int y = y0; y < y1; ++y) {
      const std::size_t rowOffset = static_cast<std::size_t>(y) * scan.bytesPerRow;
      for (int column = 0; column < scan.columns; ++column) {
        if (counts[column] >= kMeaningfulPixelsForAnalysis) continue;
        const int x0 = column * scan.tileSize;
        const int pixels = std::min(scan.tileSize, scan.width - x0);
        const std::size_t offset = rowOffset + static_cast<std::size_t>(x0) * 4;
        scanSegment(scan.current + offset, scan.previous + offset, pixels, guarded[column],
                    counts[column]);
      }
    }
    for (int column = 0; column < scan.columns; ++column) {
      const bool meaningful = counts[column] >= kMeaningfulPixelsForAnalysis;
      counts[column] = meaningful ? 1 : 0;
      if (meaningful) guarded[column] = 1;
    }
  }
}

}  // namespace corvane::verification
