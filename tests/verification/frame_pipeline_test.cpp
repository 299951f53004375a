#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "frame_images.h"
#include "runtime/virtual_run_loop.h"
#include "verification/protected_frame_pipeline.h"
#include "verification/protected_gpu_compositor.h"

namespace corvane::verification {
namespace {

using model::ProtectedRedaction;
using testing::copyOf;
using testing::texturedFrame;

constexpr int kWidth = 640;   // 10 tile columns
constexpr int kHeight = 384;  // 6 tile rows

// `base` with the given 64-pixel tiles changed by `delta` levels (up, or down where up would
// overflow) in every channel but alpha.
std::shared_ptr<platform::PixelBuffer> withTilesChanged(const platform::PixelBuffer& base,
                                                        std::vector<std::pair<int, int>> tiles,
                                                        int delta = 40) {
  auto frame = copyOf(base);
  for (auto [column, row] : tiles) {
    for (int y = row * 64; y < row * 64 + 64; ++y) {
      for (int x = column * 64; x < column * 64 + 64; ++x) {
        auto* pixel =
            frame->mutableData() + static_cast<std::size_t>(y) * frame->bytesPerRow() + x * 4;
        for (int channel = 0; channel < 3; ++channel) {
          const int value = pixel[channel];
          pixel[channel] =
              static_cast<std::uint8_t>(value + delta <= 255 ? value + delta : value - delta);
        }
      }
    }
  }
  return frame;
}

class FramePipelineTest : public ::testing::Test {
 protected:
  explicit FramePipelineTest(bool withDetector = true) {
    pipeline = ProtectedFramePipeline::make(
        surface, nullptr, [this] { ++supersedeCount; },
        [this](SharedAnalysisCandidate candidate) { candidates.push_back(std::move(candidate)); },
        withDetector ? FrameChangeDetector::make(64, std::make_shared<runtime::WorkerThreads>(2))
                     : nullptr,
        queue);
    pipeline->reset(1, 1);
    loop.runUntilIdle();
  }

  void ingest(const platform::SharedPixelBuffer& pixels, std::uint64_t sequence,
              double interval = 0, bool paused = false, std::uint64_t generation = 1,
              std::optional<platform::Point> cursor = platform::Point{0.5, 0.5}) {
    capture::ProtectedCapturedFrame frame;
    frame.pixelBuffer = pixels;
    frame.sequence = sequence;
    frame.timestamp = static_cast<double>(sequence) / 1e6;
    pipeline->ingest(frame, generation, 1, interval, paused, cursor);
    loop.runUntilIdle();
  }

  // Commits and returns whether the frame reached the output (nothing: no completion ran).
  std::optional<bool> commit(const SharedAnalysisCandidate& candidate,
                             std::vector<ProtectedRedaction> redactions = {}) {
    std::optional<bool> published;
    pipeline->commit(candidate, std::move(redactions), [&](bool result) { published = result; });
    loop.runUntilIdle();
    return published;
  }

  // A first frame, committed as the verified baseline.
  void startWith(const platform::SharedPixelBuffer& frame, std::uint64_t sequence = 1000,
                 std::vector<ProtectedRedaction> redactions = {}) {
    ingest(frame, sequence);
    ASSERT_EQ(candidates.size(), 1u);
    ASSERT_EQ(commit(candidates.back(), std::move(redactions)), true);
  }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<runtime::VirtualSerialQueue> queue =
      loop.makeQueue(kProtectedShareFramesQueueLabel);
  std::shared_ptr<capture::ProtectedOutputSurface> surface =
      std::make_shared<capture::ProtectedOutputSurface>();
  std::shared_ptr<ProtectedFramePipeline> pipeline;
  std::vector<SharedAnalysisCandidate> candidates;
  int supersedeCount = 0;
  platform::SharedPixelBuffer first = texturedFrame(kWidth, kHeight);
};

TEST_F(FramePipelineTest, FirstFrameIsAFullFrameCandidateThatCannotBeSuperseded) {
  platform::SharedPixelBuffer large = texturedFrame(4000, 2000);
  ingest(large, 1000);
  ASSERT_EQ(candidates.size(), 1u);
  const auto& candidate = *candidates[0];
  EXPECT_EQ(candidate.analysisImage->width(), 3072);
  EXPECT_EQ(candidate.analysisImage->height(), 1536);
  EXPECT_TRUE(candidate.nativeRegionImages.empty());
  EXPECT_TRUE(candidate.requiresVerifiedPublication);
  EXPECT_EQ(candidate.changedRects, std::vector<platform::Rect>{kUnitRect});
  EXPECT_EQ(candidate.changeSignature, FrameChangeDetector::kSignatureStart);
  EXPECT_FALSE(surface->snapshot()) << "nothing is shown before the first commit";

  loop.advance(2.0);
  ingest(withTilesChanged(*large, {{3, 3}}), 2000);
  EXPECT_EQ(supersedeCount, 0);
  EXPECT_EQ(candidates.size(), 1u);
}

TEST_F(FramePipelineTest, AHeldFrameThenACommitReachTheOutputUnderTheNewerSequence) {
  startWith(first);
  EXPECT_EQ(surface->sequence(), 1000u);
  const auto change = withTilesChanged(*first, {{2, 2}});
  ingest(change, 2000);
  ASSERT_EQ(candidates.size(), 2u);
  const auto inFlight = candidates[1];
  EXPECT_EQ(inFlight->changedTileCount, 1);
  EXPECT_FALSE(inFlight->requiresVerifiedPublication);
  ASSERT_EQ(inFlight->nativeRegionImages.size(), 1u) << "a small change is read at native size";
  EXPECT_EQ(inFlight->analysisImage, inFlight->sourceImage) << "640 pixels need no scaling";
  const auto shownBefore = surface->snapshot()->image;
  EXPECT_EQ(surface->sequence(), 2000u) << "the verified output is held under the new frame";

  // A newer frame changed only below the threshold: the output is held under its sequence.
  ingest(withTilesChanged(*first, {{2, 2}, {7, 1}}, 1), 3000);
  EXPECT_EQ(surface->sequence(), 3000u);
  EXPECT_EQ(surface->snapshot()->image, shownBefore);
  EXPECT_EQ(candidates.size(), 2u);

  ProtectedRedaction cover;
  cover.normalizedFrame = {{0.2, 0.35}, {0.1, 0.1}};
  EXPECT_EQ(commit(inFlight, {cover}), true);
  const auto shown = surface->snapshot();
  EXPECT_EQ(shown->sequence, 3000u);
  EXPECT_NE(shown->image, shownBefore);
  EXPECT_EQ(shown->image->pixel(300, 300), change->pixel(300, 300));
  const auto fill = ProtectedGPUCompositor::kMaskFill;
  EXPECT_NEAR(shown->image->pixel(126, 170) >> 16 & 0xff, fill.red * 255, 1);

  EXPECT_EQ(commit(inFlight), false) << "a candidate is committed once";
  EXPECT_EQ(surface->snapshot()->revision, shown->revision);
}

// A small change across the edge of two side-by-side windows is read on a native crop in parts
// that keep to the windows: each part lies within one window, and together they cover the change.
TEST_F(FramePipelineTest, TheNativeCropsOfAChangeAreReadInPartsThatKeepToTheWindows) {
  startWith(first);
  std::mt19937 random(7);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("round " + std::to_string(i));
    const int edge = std::uniform_int_distribution<int>(270, 370)(random);
    const int rightHeight = std::uniform_int_distribution<int>(160, kHeight)(random);
    auto change = withTilesChanged(*first, {{4, 2}, {5, 2}}, 30 + 30 * i);
    change->setWindowAreas({{{0, 0, edge, kHeight}}, {{edge, 0, kWidth - edge, rightHeight}}});
    ingest(change, 2000 + 1000 * static_cast<std::uint64_t>(i));
    ASSERT_EQ(candidates.size(), 2u + i);
    std::vector<platform::Rect> parts;
    for (const auto& crop : candidates.back()->nativeRegionImages) {
      for (const auto& part : crop.parts)
        parts.push_back(mappedOut(part, crop.normalizedTopLeftFrame));
    }
    ASSERT_FALSE(parts.empty());
    const double cut = static_cast<double>(edge) / kWidth;
    const double pixel = 1.0 / kWidth;
    bool left = false, right = false;
    for (const auto& part : parts) {
      EXPECT_TRUE(part.maxX() <= cut + pixel || part.minX() >= cut - pixel)
          << part.minX() << " to " << part.maxX() << " crosses " << cut;
      left = left || part.maxX() <= cut + pixel;
      right = right || part.minX() >= cut - pixel;
    }
    EXPECT_TRUE(left && right);
    const platform::Point corners[] = {{256.5 / kWidth, 128.5 / kHeight},
                                       {383.5 / kWidth, 191.5 / kHeight},
                                       {(edge - 0.5) / kWidth, 150.0 / kHeight},
                                       {(edge + 0.5) / kWidth, 150.0 / kHeight}};
    for (const auto& point : corners) {
      EXPECT_TRUE(std::any_of(parts.begin(), parts.end(),
                              [&](const auto& part) { return part.contains(point); }))
          << point.x << "," << point.y;
    }
    ASSERT_EQ(commit(candidates.back()), true);
  }
}

TEST_F(FramePipelineTest, NothingToAnalyseHoldsTheOutputUntilAnAuditAsksForAFullFrame) {
  startWith(first);
  const auto revision = surface->revision();
  ingest(withTilesChanged(*first, {{1, 1}}, 2), 2000);
  EXPECT_EQ(candidates.size(), 1u) << "two levels are not a meaningful change";
  EXPECT_EQ(surface->sequence(), 2000u);
  EXPECT_EQ(surface->revision(), revision);

  pipeline->requestFullFrameAudit(9);
  ingest(copyOf(*first), 3000);
  ASSERT_EQ(candidates.size(), 2u);
  EXPECT_TRUE(candidates[1]->isPeriodicAudit);
  EXPECT_EQ(candidates[1]->fullFrameAuditRequestID, 9u);
  EXPECT_EQ(candidates[1]->changedRects, std::vector<platform::Rect>{kUnitRect});
}

TEST_F(FramePipelineTest, StalePausedAndRepeatedFramesAreDroppedAndTheNewestWaitingFrameWins) {
  queue->hold();
  ingest(first, 1000);
  ingest(withTilesChanged(*first, {{0, 0}}), 2000);
  queue->release();
  loop.runUntilIdle();
  ASSERT_EQ(candidates.size(), 1u);
  EXPECT_EQ(candidates[0]->sourceFrame.sequence, 2000u);
  ASSERT_EQ(commit(candidates[0]), true);

  ingest(withTilesChanged(*first, {{5, 5}}), 2000);
  ingest(withTilesChanged(*first, {{5, 5}}), 3000, 0, false, /*generation=*/7);
  const auto cursor = surface->cursorState();
  ingest(withTilesChanged(*first, {{5, 5}}), 4000, 0, /*paused=*/true, 1,
         platform::Point{0.1, 0.1});
  EXPECT_EQ(candidates.size(), 1u);
  EXPECT_EQ(surface->sequence(), 2000u);
  EXPECT_EQ(surface->cursorState().revision, cursor.revision) << "a paused frame moves nothing";
}

TEST_F(FramePipelineTest, ANormalChangeWaitsForTheAnalysisIntervalAndTheNewestFrameReplacesIt) {
  startWith(first);
  loop.advance(0.1);
  ingest(withTilesChanged(*first, {{1, 1}}), 2000, 0.45);
  ingest(withTilesChanged(*first, {{8, 4}}), 3000, 0.45);
  EXPECT_EQ(candidates.size(), 1u);
  loop.advance(0.34);
  EXPECT_EQ(candidates.size(), 1u);
  loop.advance(0.02);
  ASSERT_EQ(candidates.size(), 2u);
  EXPECT_EQ(candidates[1]->sourceFrame.sequence, 3000u);
  EXPECT_EQ(candidates[1]->changedRects,
            (std::vector<platform::Rect>{{{0.8, 4.0 / 6}, {0.1, 1.0 / 6}}}));
}

TEST_F(FramePipelineTest, AnIntervalThatRoundsToNoTimeLeftOffersTheCandidateInsteadOfWaiting) {
  const auto start = loop.uptime();
  startWith(first);
  loop.advance(0.3);
  // A hair more than the time since the last candidate: a retry after the remainder would come
  // due at this very instant, again and again.
  const double interval = std::nextafter(loop.uptime() - start, 1.0);
  ingest(withTilesChanged(*first, {{1, 1}}), 2000, interval);
  EXPECT_EQ(candidates.size(), 2u);
}

TEST_F(FramePipelineTest, ALongAnalysisIsSupersededOnceAndTheNextCandidateMustComplete) {
  startWith(first);
  ingest(withTilesChanged(*first, {{1, 1}}), 2000);
  ASSERT_EQ(candidates.size(), 2u);
  loop.advance(0.5);
  ingest(withTilesChanged(*first, {{2, 1}}), 3000);
  EXPECT_EQ(supersedeCount, 0) << "not before 0.75 s";
  loop.advance(0.3);
  ingest(withTilesChanged(*first, {{3, 1}}), 4000);
  ingest(withTilesChanged(*first, {{4, 1}}), 5000);
  EXPECT_EQ(supersedeCount, 1);

  pipeline->reject(candidates[1]);
  loop.runUntilIdle();
  ASSERT_EQ(candidates.size(), 3u) << "the waiting frame is taken up at once";
  EXPECT_EQ(candidates[2]->sourceFrame.sequence, 5000u);
  loop.advance(1.0);
  ingest(withTilesChanged(*first, {{6, 1}}), 6000);
  EXPECT_EQ(supersedeCount, 1);
}

TEST_F(FramePipelineTest, ABroadChangeWaitsForVerificationUnlessItIsAScroll) {
  startWith(first);
  const auto revision = surface->revision();
  ingest(testing::solidFrame(kWidth, kHeight, 0xff102030), 2000);
  ASSERT_EQ(candidates.size(), 2u);
  EXPECT_TRUE(candidates[1]->requiresVerifiedPublication);
  EXPECT_EQ(surface->revision(), revision);
  EXPECT_EQ(surface->sequence(), 1000u) << "a broad change is not held under its sequence either";
  pipeline->reject(candidates[1]);
  loop.runUntilIdle();

  ingest(testing::scrolled(*first, 24), 3000);
  EXPECT_EQ(surface->revision(), revision + 1);
  EXPECT_EQ(surface->sequence(), 3000u);
  const auto guarded = surface->snapshot()->image;
  EXPECT_EQ(guarded->pixel(100, 200), first->pixel(100, 176)) << "the verified output, moved";
}

TEST_F(FramePipelineTest, ACommitOrRejectOfAnyButTheCandidateInFlightChangesNothing) {
  ingest(first, 1000);
  ASSERT_EQ(candidates.size(), 1u);
  const auto stale = candidates[0];
  pipeline->reset(2, 1);
  loop.runUntilIdle();
  EXPECT_EQ(commit(stale), false);
  EXPECT_FALSE(surface->snapshot());

  ingest(first, 1000, 0, false, 2);
  ASSERT_EQ(candidates.size(), 2u);
  EXPECT_EQ(commit(stale), false);
  pipeline->reject(stale);
  loop.runUntilIdle();
  ingest(withTilesChanged(*first, {{1, 1}}), 2000, 0, false, 2);
  EXPECT_EQ(candidates.size(), 2u) << "the new candidate is still in flight";
  EXPECT_EQ(commit(candidates[1]), true);
  EXPECT_EQ(candidates.size(), 3u) << "then the waiting frame follows";
}

TEST_F(FramePipelineTest, LiveRedactionsThatUncoverAreMergedUntilAFullFrameIsVerified) {
  ProtectedRedaction a;
  a.normalizedFrame = {{0.1, 0.1}, {0.2, 0.2}};
  startWith(first, 1000, {a});
  const auto revision = surface->revision();
  auto isCovered = [&](int x, int y) {
    return (surface->snapshot()->image->pixel(x, y) & 0xffffff) != (first->pixel(x, y) & 0xffffff);
  };
  ASSERT_TRUE(isCovered(120, 80));

  ProtectedRedaction b;
  b.normalizedFrame = {{0.5, 0.5}, {0.1, 0.1}};
  pipeline->updateLiveRedactions({b}, std::nullopt);
  loop.runUntilIdle();
  EXPECT_EQ(surface->revision(), revision + 1);
  EXPECT_EQ(surface->sequence(), 1000u);
  EXPECT_TRUE(isCovered(120, 80)) << "the old cover stays";
  EXPECT_TRUE(isCovered(350, 210));

  ingest(copyOf(*first), 2000);
  ASSERT_EQ(candidates.size(), 2u) << "an unchanged frame is analysed whole";
  EXPECT_TRUE(candidates[1]->isRedactionRemovalRefresh);
  EXPECT_EQ(candidates[1]->changedRects, std::vector<platform::Rect>{kUnitRect});
  ASSERT_EQ(commit(candidates[1], {b}), true);
  EXPECT_FALSE(isCovered(120, 80)) << "a verified full frame may uncover";

  ProtectedRedaction larger;
  larger.normalizedFrame = {{0.4, 0.4}, {0.3, 0.3}};
  pipeline->updateLiveRedactions({larger}, 1);
  pipeline->updateLiveRedactions({a}, 5);  // another source context: ignored
  loop.runUntilIdle();
  EXPECT_TRUE(isCovered(280, 160));
  EXPECT_FALSE(isCovered(120, 80));
  ingest(copyOf(*first), 3000);
  EXPECT_EQ(candidates.size(), 2u) << "a cover that only grew needs no refresh";
}

class FramePipelineWithoutDetectorTest : public FramePipelineTest {
 protected:
  FramePipelineWithoutDetectorTest() : FramePipelineTest(false) {}
};

TEST_F(FramePipelineWithoutDetectorTest, EveryFrameIsAFullFrameCandidateSignedWithItsSequence) {
  startWith(first);
  ingest(copyOf(*first), 2000);
  ASSERT_EQ(candidates.size(), 2u);
  EXPECT_EQ(candidates[1]->changeSignature, 2000u);
  EXPECT_TRUE(candidates[1]->requiresVerifiedPublication);
  EXPECT_EQ(candidates[1]->changedRects, std::vector<platform::Rect>{kUnitRect});
}

}  // namespace
}  // namespace corvane::verification
