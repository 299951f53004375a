#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/pixel_buffer.h"
#include "runtime/worker_threads.h"
#include "verification/protected_frame_change_summary.h"
#include "verification/tile_change_kernel.h"

namespace corvane::verification {

// Compares each captured frame with the last verified one, tile by tile, on the CPU: the
// `detectChangedTiles` kernel (scalar or AVX2) over the BGRA buffers in place, its tile rows
// spread over the workers. The flag buffers belong to the detector and are reused from frame to
// frame; they only grow. Used from one thread at a time (the frames queue).
class FrameChangeDetector {
 public:
  // The tile size the verification pipeline uses.
  static constexpr int kTileSize = 64;
  // The signature of a frame compared with nothing, and the start of every signature.
  static constexpr std::uint64_t kSignatureStart = 1469598103934665603ull;
  static constexpr std::uint64_t kSignaturePrime = 1099511628211ull;

  // No detector for a tile size below 1, without workers, or for a kernel this CPU cannot run.
  static std::unique_ptr<FrameChangeDetector> make(int tileSize,
                                                   std::shared_ptr<runtime::WorkerThreads> workers,
                                                   TileKernel kernel = fastestTileKernel());

  FrameChangeDetector(int tileSize, std::shared_ptr<runtime::WorkerThreads> workers,
                      TileKernel kernel);

  // Without a previous frame everything counts as changed (signature kSignatureStart); frames of
  // different sizes, or an empty one, give ProtectedFrameChangeSummary::fullFrame().
  ProtectedFrameChangeSummary detect(const platform::PixelBuffer& current,
                                     const platform::PixelBuffer* previous);

  int tileSize() const { return tileSize_; }
  TileKernel kernel() const { return kernel_; }

 private:
  int tileSize_;
  std::shared_ptr<runtime::WorkerThreads> workers_;
  TileKernel kernel_;
  std::vector<std::uint8_t> guardedTiles_;
  std::vector<std::uint8_t> analysisTiles_;
};

}  // namespace corvane::verification
