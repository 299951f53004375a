#include "like_for_like.h"

#include <algorithm>
#include <cstring>

namespace corvane::bench {

LikeForLikeRatio::LikeForLikeRatio(benchmark::State& state, std::string referenceName,
                                   std::function<void()> referenceUnit, int unitsPerBlock,
                                   int referenceUnitsPerBlock)
    : state_(state),
      referenceName_(std::move(referenceName)),
      referenceUnit_(std::move(referenceUnit)),
      unitsPerBlock_(std::max(1, unitsPerBlock)),
      referenceUnitsPerBlock_(referenceUnitsPerBlock > 0 ? referenceUnitsPerBlock
                                                         : unitsPerBlock_) {
  // The first reference block, before the benchmark's timer starts: every path block then has
  // one on either side.
  runReferenceBlock();
  blockStart_ = Clock::now();
}

void LikeForLikeRatio::runReferenceBlock() {
  const auto start = Clock::now();
  for (int unit = 0; unit < referenceUnitsPerBlock_; ++unit) referenceUnit_();
  referenceBlocks_.push_back(std::chrono::duration<double>(Clock::now() - start).count());
}

void LikeForLikeRatio::unitDone() {
  if (++unitsInBlock_ < unitsPerBlock_) return;
  const auto pathEnd = Clock::now();
  pathBlocks_.push_back(std::chrono::duration<double>(pathEnd - blockStart_).count());
  state_.PauseTiming();
  const auto referenceStart = Clock::now();
  for (int unit = 0; unit < referenceUnitsPerBlock_; ++unit) referenceUnit_();
  referenceBlocks_.push_back(std::chrono::duration<double>(Clock::now() - referenceStart).count());
  state_.ResumeTiming();
  unitsInBlock_ = 0;
  blockStart_ = Clock::now();
}

RatioFigures LikeForLikeRatio::figures() const {
  return summarizeBlocks(pathBlocks_, referenceBlocks_, unitsPerBlock_, referenceUnitsPerBlock_);
}

void LikeForLikeRatio::report(const std::string& pathName) const {
  const RatioFigures result = figures();
  // Google Benchmark's first probing runs can be shorter than a block: they report no ratio.
  if (result.blocks == 0) return;
  const std::string ratio = "ratio_to_" + referenceName_;
  state_.counters[pathName + "_us"] = result.pathSeconds * 1e6;
  state_.counters[referenceName_ + "_us"] = result.referenceSeconds * 1e6;
  state_.counters[ratio] = result.ratio;
  state_.counters[ratio + "_p25"] = result.ratioLow;
  state_.counters[ratio + "_p75"] = result.ratioHigh;
  state_.counters["ratio_blocks"] = result.blocks;
}

void reportBlockRatio(benchmark::State& state, const RatioFigures& figures,
                      const std::string& pathName, const std::string& referenceName,
                      const std::string& ratioName) {
  state.counters[pathName + "_ms"] = figures.pathSeconds * 1000.0;
  state.counters[referenceName + "_ms"] = figures.referenceSeconds * 1000.0;
  state.counters[ratioName] = figures.ratio;
  state.counters[ratioName + "_p25"] = figures.ratioLow;
  state.counters[ratioName + "_p75"] = figures.ratioHigh;
}

FrameCopy::FrameCopy(std::vector<const std::uint8_t*> sources, std::size_t bytes, int destinations)
    : sources_(std::move(sources)), bytes_(bytes) {
  for (int i = 0; i < std::max(1, destinations); ++i) destinations_.emplace_back(bytes, 0);
}

void FrameCopy::spreadOver(int slices, Spread spread) {
  slices_ = std::max(1, slices);
  spread_ = std::move(spread);
}

void FrameCopy::once() {
  auto& to = destinations_[count_ % destinations_.size()];
  const std::uint8_t* from = sources_[count_ % sources_.size()];
  if (spread_) {
    const std::size_t slice = (bytes_ + static_cast<std::size_t>(slices_) - 1) / slices_;
    spread_(slices_, [&](int i) {
      const std::size_t begin = std::min(bytes_, slice * static_cast<std::size_t>(i));
      std::memcpy(to.data() + begin, from + begin, std::min(bytes_, begin + slice) - begin);
    });
  } else {
    std::memcpy(to.data(), from, bytes_);
  }
  benchmark::DoNotOptimize(to.data());
  benchmark::ClobberMemory();
  ++count_;
}

FramePairRead::FramePairRead(std::vector<std::pair<const std::uint8_t*, const std::uint8_t*>> pairs,
                             std::size_t bytes)
    : pairs_(std::move(pairs)), bytes_(bytes) {}

void FramePairRead::spreadOver(int slices, FrameCopy::Spread spread) {
  slices_ = std::max(1, slices);
  spread_ = std::move(spread);
}

void FramePairRead::once() {
  const std::uint8_t* first = pairs_[count_ % pairs_.size()].first;
  const std::uint8_t* second = pairs_[count_ % pairs_.size()].second;
  const std::size_t slices = spread_ ? static_cast<std::size_t>(slices_) : 1;
  const std::size_t slice = (bytes_ + slices - 1) / slices;
  std::vector<int> differences(slices, 0);
  auto compare = [&](int i) {
    const std::size_t begin = std::min(bytes_, slice * static_cast<std::size_t>(i));
    differences[static_cast<std::size_t>(i)] =
        std::memcmp(first + begin, second + begin, std::min(bytes_, begin + slice) - begin);
  };
  if (spread_)
    spread_(slices_, compare);
  else
    compare(0);
  benchmark::DoNotOptimize(differences.data());
  benchmark::ClobberMemory();
  ++count_;
}

}  // namespace corvane::bench
