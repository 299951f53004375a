#pragma once

#include <cstdint>

namespace corvane::verification {

// One pass of `detectChangedTiles` over two BGRA frames of the same size, read in place.
//
// For every pixel the difference is the largest absolute difference of its four 8-bit channels.
// Any difference marks the tile guarded; a difference above kMeaningfulChannelDelta is
// meaningful, and the 4th meaningful pixel marks the tile for analysis (and guarded) and ends
// the tile's scan. The integer test means a change of 2 levels is never meaningful and one of 3
// always is, whatever the channel's value.
struct TileScan {
  const std::uint8_t* current = nullptr;
  const std::uint8_t* previous = nullptr;
  int bytesPerRow = 0;  // of both frames
  int width = 0;
  int height = 0;
  int columns = 0;
  int tileSize = 0;
  // One byte per tile, row-major (columns × rows), zeroed by the caller; set to 1 by the kernel.
  std::uint8_t* guardedTiles = nullptr;
  std::uint8_t* analysisTiles = nullptr;
};

inline constexpr int kMeaningfulChannelDelta = 2;
inline constexpr int kMeaningfulPixelsForAnalysis = 4;

// Scans the tile rows [firstTileRow, endTileRow). Different tile rows touch different flags, so
// disjoint ranges may run on different threads at once.
using TileRowKernel = void (*)(const TileScan& scan, int firstTileRow, int endTileRow);

enum class TileKernel { scalar, avx2 };

void detectChangedTilesScalar(const TileScan& scan, int firstTileRow, int endTileRow);
// Needs a CPU with AVX2 (see isTileKernelSupported).
void detectChangedTilesAVX2(const TileScan& scan, int firstTileRow, int endTileRow);

bool isTileKernelSupported(TileKernel kernel);
// AVX2 where the CPU has it, otherwise the scalar kernel.
TileKernel fastestTileKernel();
TileRowKernel tileRowKernel(TileKernel kernel);

}  // namespace corvane::verification
