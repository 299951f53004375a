#pragma once

// How every ratio a benchmark prints is measured (use this for any new ratio).
//
// A ratio compares a measured path with a reference that does part of its work: the delivery
// path against one memcpy of the frame, the X11 composition against one XShmGetImage of the root,
// the presentation against one memcpy of the frame. On a shared, busy machine two figures measured
// at different moments, with different statistics or over different numbers of runs do not
// compare; so LikeForLikeRatio measures both in the same process and the same benchmark run, in
// interleaved blocks of the same number of units:
//
//     reference 0, path 1, reference 1, path 2, reference 2, …, path n, reference n
//
// Each path block is compared with the mean of the two reference blocks around it (a machine that
// speeds up or slows down weighs on both alike). Each figure is the median per-unit time over its
// n blocks (the same statistic for both), and the ratio is the median of the n per-block ratios,
// with the 25th and 75th percentiles as its spread: a burst of load moves one block, not the
// figure.
//
// Use inside the benchmark loop, after each unit of the measured path:
//
//     LikeForLikeRatio ratio(state, "memcpy", [&] { copy.once(); }, 16);
//     for (auto _ : state) {
//       presentOneFrame();
//       ratio.unitDone();
//     }
//     ratio.report("frame");  // counters frame_us, memcpy_us, ratio_to_memcpy (+ _p25, _p75)
//
// The reference blocks run with the benchmark's timer paused, so the benchmark's own time column
// still shows the path alone. FrameCopy below is the usual reference: one copy of a frame.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "figures/ratio_statistics.h"

namespace corvane::bench {

class LikeForLikeRatio {
 public:
  // `referenceName` names the counters; `referenceUnit` does one unit of the reference's work.
  // A path far cheaper than its reference may run more units per block than the reference
  // (`referenceUnitsPerBlock`), so both blocks last about as long; the figures stay per unit.
  LikeForLikeRatio(benchmark::State& state, std::string referenceName,
                   std::function<void()> referenceUnit, int unitsPerBlock,
                   int referenceUnitsPerBlock = 0);

  // One unit of the measured path is done; at the end of a block the reference block runs.
  void unitDone();

  RatioFigures figures() const;

  // Counters <pathName>_us, <reference>_us, ratio_to_<reference>, ratio_to_<reference>_p25 and
  // _p75, and ratio_blocks; nothing when no block completed.
  void report(const std::string& pathName) const;

 private:
  using Clock = std::chrono::steady_clock;

  void runReferenceBlock();

  benchmark::State& state_;
  std::string referenceName_;
  std::function<void()> referenceUnit_;
  int unitsPerBlock_;
  int referenceUnitsPerBlock_;
  int unitsInBlock_ = 0;
  Clock::time_point blockStart_ = Clock::now();
  std::vector<double> pathBlocks_;
  std::vector<double> referenceBlocks_;
};

// For figures of alternating blocks in seconds (summarizeBlocks): counters <pathName>_ms and
// <referenceName>_ms, and <ratioName> with its spread (_p25, _p75).
void reportBlockRatio(benchmark::State& state, const RatioFigures& figures,
                      const std::string& pathName, const std::string& referenceName,
                      const std::string& ratioName);

// One copy of a frame of `bytes`, from the given sources in turn into destinations used in turn:
// give it the very buffers the measured path reads (and as many destinations as it writes), so
// the copy meets the same caches.
class FrameCopy {
 public:
  FrameCopy(std::vector<const std::uint8_t*> sources, std::size_t bytes, int destinations = 1);
  void once();

  // Runs body(i) once for every i in [0, count), possibly on several threads, and returns when
  // all have run.
  using Spread = std::function<void(int count, const std::function<void(int)>& body)>;
  // From now on each copy is cut into `slices` equal parts handed to `spread`: a path that runs
  // on worker threads is compared with the copy on those same workers.
  void spreadOver(int slices, Spread spread);
  std::size_t bytes() const { return bytes_; }

 private:
  std::vector<const std::uint8_t*> sources_;
  std::size_t bytes_;
  std::vector<std::vector<std::uint8_t>> destinations_;
  std::size_t count_ = 0;
  int slices_ = 1;
  Spread spread_;
};

// One read of two frames of `bytes` side by side, as any comparison of them reads them at the
// least (memcmp of equal frames reads both whole), from the pairs given in turn; spread over
// workers like FrameCopy. The reference for a path that compares two frames.
class FramePairRead {
 public:
  FramePairRead(std::vector<std::pair<const std::uint8_t*, const std::uint8_t*>> pairs,
                std::size_t bytes);
  void once();
  void spreadOver(int slices, FrameCopy::Spread spread);

 private:
  std::vector<std::pair<const std::uint8_t*, const std::uint8_t*>> pairs_;
  std::size_t bytes_;
  std::size_t count_ = 0;
  int slices_ = 1;
  FrameCopy::Spread spread_;
};

}  // namespace corvane::bench
