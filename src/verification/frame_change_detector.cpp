#include "verification/frame_change_detector.h"

#include <algorithm>
#include <cmath>

#include "verification/protected_tile_geometry.h"

namespace corvane::verification {

namespace {

// FNV-style hash over the positions (row-major index + 1) of the analysis tiles, so that it
// depends on which tiles changed and on nothing else. 0 and 1 are kept for "no comparison" and
// never produced.
std::uint64_t signatureOf(const std::vector<std::uint8_t>& analysisTiles, std::size_t tileCount) {
  std::uint64_t hash = FrameChangeDetector::kSignatureStart;
  for (std::size_t index = 0; index < tileCount; ++index) {
    if (analysisTiles[index] != 0)
      hash = (hash ^ (index + 1)) * FrameChangeDetector::kSignaturePrime;
  }
  return hash <= 1 ? 1 : hash;
}

}  // namespace

std::unique_ptr<FrameChangeDetector> FrameChangeDetector::make(
    int tileSize, std::shared_ptr<runtime::WorkerThreads> workers, TileKernel kernel) {
  if (tileSize < 1 || !workers || !isTileKernelSupported(kernel)) return nullptr;
  return std::make_unique<FrameChangeDetector>(tileSize, std::move(workers), kernel);
}

FrameChangeDetector::FrameChangeDetector(int tileSize,
                                         std::shared_ptr<runtime::WorkerThreads> workers,
                                         TileKernel kernel)
    : tileSize_(tileSize), workers_(std::move(workers)), kernel_(kernel) {}

ProtectedFrameChangeSummary FrameChangeDetector::detect(const platform::PixelBuffer& current,
                                                        const platform::PixelBuffer* previous) {
  const int width = current.width();
  const int height = current.height();
  const TileGrid grid{width, height, tileSize_};
  const int columns = grid.columns();
  const int rows = grid.rows();
  const int tileCount = columns * rows;
  if (!previous) {
    ProtectedFrameChangeSummary summary;
    summary.guardedRects = {kUnitRect};
    summary.changedRects = {kUnitRect};
    summary.guardedTileCount = summary.changedTileCount = summary.tileCount = tileCount;
    summary.signature = kSignatureStart;
    return summary;
  }
  if (previous->width() != width || previous->height() != height || width < 1 || height < 1 ||
      previous->bytesPerRow() != current.bytesPerRow())
    return ProtectedFrameChangeSummary::fullFrame();

  const auto flagCount = static_cast<std::size_t>(tileCount);
  if (guardedTiles_.size() < flagCount) {
    guardedTiles_.resize(flagCount);
    analysisTiles_.resize(flagCount);
  }
  std::fill_n(guardedTiles_.begin(), flagCount, 0);
  std::fill_n(analysisTiles_.begin(), flagCount, 0);

  TileScan scan;
  scan.current = current.data();
  scan.previous = previous->data();
  scan.bytesPerRow = current.bytesPerRow();
  scan.width = width;
  scan.height = height;
  scan.columns = columns;
  scan.tileSize = tileSize_;
  scan.guardedTiles = guardedTiles_.data();
  scan.analysisTiles = analysisTiles_.data();
  const TileRowKernel kernel = tileRowKernel(kernel_);
  // One tile row per share: a worker that wakes late on a busy machine still finds rows left,
  // and handing out a share (one atomic increment) costs nothing beside a row's scan.
  constexpr int kRowsPerShare = 1;
  const int shares = (rows + kRowsPerShare - 1) / kRowsPerShare;
  workers_->forEach(shares, [&](int share) {
    const int first = share * kRowsPerShare;
    kernel(scan, first, std::min(first + kRowsPerShare, rows));
  });

  ProtectedFrameChangeSummary summary;
  summary.tileCount = tileCount;
  summary.guardedTileCount =
      static_cast<int>(std::count_if(guardedTiles_.begin(), guardedTiles_.begin() + tileCount,
                                     [](std::uint8_t flag) { return flag != 0; }));
  summary.changedTileCount =
      static_cast<int>(std::count_if(analysisTiles_.begin(), analysisTiles_.begin() + tileCount,
                                     [](std::uint8_t flag) { return flag != 0; }));
  summary.guardedRects =
      ProtectedTileGeometry::normalizedRects(guardedTiles_.data(), flagCount, grid);
  summary.changedRects =
      ProtectedTileGeometry::normalizedRects(analysisTiles_.data(), flagCount, grid);
  summary.signature = signatureOf(analysisTiles_, flagCount);
  return summary;
}

}  // namespace corvane::verification
