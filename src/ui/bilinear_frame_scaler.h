#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "runtime/worker_threads.h"

namespace corvane::ui {

// 32-bit B, G, R, X pixels in rows (the layout of captured frames and of Qt's RGB32 images).
struct SourcePixels {
  const std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int bytesPerRow = 0;
};

struct TargetPixels {
  std::uint8_t* data = nullptr;  // the first pixel written: the area's top-left corner
  int bytesPerRow = 0;
};

// A rectangle of the scaled image, in its own pixels.
struct ScaledArea {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Scales an opaque frame with bilinear filtering (pixel centres aligned, edges clamped) in one
// pass: each output row blends two source rows into a row buffer, then pairs of neighbouring
// pixels into the target. At the source's own size it is a plain copy. Only the requested area of
// the scaled image is produced, so a caller can draw just the part of a window that needs it.
// Output pixels are opaque (alpha 255) whatever the source's fourth byte holds. Uses AVX2 where the
// processor has it; the portable path computes the same values. With workers, a large area's rows
// are spread over them in small runs taken top to bottom (each row comes out the same whoever
// computes it), and the caller may hear, while the rest is scaled, how many rows from the top are
// written.
class BilinearFrameScaler {
 public:
  // `portable` leaves the vector paths out (to compare the two).
  enum class Instructions { best, portable };

  explicit BilinearFrameScaler(Instructions instructions = Instructions::best,
                               std::shared_ptr<runtime::WorkerThreads> workers = nullptr);

  // Told on the calling thread how many of the area's rows, from its top, are written: more each
  // time, the last time all of them (so a caller can hand those rows on while the rest is scaled).
  using RowsWritten = std::function<void(int rows)>;

  void scale(const SourcePixels& source, int scaledWidth, int scaledHeight, const ScaledArea& area,
             const TargetPixels& target, const RowsWritten& rowsWritten = {});

  // Weights are 1/64 steps: a pair of weights always sums to kWeightOne.
  static constexpr int kWeightOne = 64;

  // Four neighbouring output pixels whose source pairs lie within eight pixels of the first.
  struct PixelGroup {
    std::uint8_t lanes[8] = {};  // the pixels of each pair, counted from the group's first
    bool windowed = false;
  };

 private:
  struct Tap {
    int first = 0;   // the left (or upper) of the two source pixels
    int weight = 0;  // of the second pixel, 0…kWeightOne
  };
  // One direction of a scaling: `count` scaled pixels from `from`, of `scaledLength` made from
  // `sourceLength`.
  struct Span {
    int sourceLength = 0;
    int scaledLength = 0;
    int from = 0;
    int count = 0;
    bool operator==(const Span&) const = default;
  };
  static std::vector<Tap> taps(int sourceLength, int scaledLength, int from, int count);
  // firsts_, columnWeights_ and groups_ for the columns of `span`.
  void makeColumnTables(const Span& span);
  static void copyOpaque(bool vector, const SourcePixels& source, const ScaledArea& area,
                         const TargetPixels& target);
  // Output rows [from, to) of the area whose row taps are `rows`, blending through a row buffer
  // of the running thread.
  void scaleRows(const SourcePixels& source, const std::vector<Tap>& rows, int from, int to,
                 int firstColumn, int spanBytes, int width, const TargetPixels& target) const;

  // Areas smaller than this are scaled on the calling thread alone.
  static constexpr std::int64_t kSharedPixels = 128 * 1024;
  // A larger one is handed out in runs of rows about this large: small enough that the threads
  // finish together and the top rows are ready early, large enough to be worth the hand-out.
  static constexpr std::int64_t kRunPixels = 16 * 1024;

  bool vectorInstructions_;
  std::shared_ptr<runtime::WorkerThreads> workers_;
  std::vector<int> firsts_;                  // per output pixel: its left source pixel
  std::vector<std::uint8_t> columnWeights_;  // per output pixel: (64 − w, w) repeated per channel
  std::vector<PixelGroup> groups_;
  Span columnSpan_;           // what the three tables above were made for
  std::vector<Tap> rowTaps_;  // per output row of rowSpan_
  Span rowSpan_;
};

}  // namespace corvane::ui
