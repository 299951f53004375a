#include <gtest/gtest.h>

#include "verification/source_mask_layout.h"

namespace corvane::verification {
namespace {

using platform::Rect;
using platform::Size;
namespace Layout = SourceMaskLayoutModel;

// Labels measure half their font size per character, 1.2 font sizes high.
Size measure(const std::string& text, double fontSize) {
  return {static_cast<double>(text.size()) * fontSize * 0.5, fontSize * 1.2};
}

// A 1000 × 1000-point display at (100, 50): normalised = points / 1000.
SourceMaskScene scene(std::vector<Rect> pointRects, double scale = 1) {
  SourceMaskScene s{{{100, 50}, {1000, 1000}}, {{100, 50}, {1000, 1000}}, scale, {}};
  for (const Rect& r : pointRects) {
    model::ProtectedRedaction redaction;
    redaction.normalizedFrame = {{r.minX() / 1000, r.minY() / 1000},
                                 {r.width() / 1000, r.height() / 1000}};
    s.redactions.push_back(redaction);
  }
  return s;
}

// The text rect that, grown by the mask's margins at scale 1, gives a mask of w × h at (x, y).
Rect maskOf(double x, double y, double w, double h) {
  return {{x + 6, y + 3}, {w - 12, h - 6}};
}

TEST(SourceMaskLayoutTest, ThreeSizeClassesPlaceLockAndLabel) {
  const auto layout = Layout::layout(
      scene({maskOf(0, 0, 400, 100), maskOf(0, 300, 200, 40), maskOf(0, 500, 60, 20)}), measure);
  ASSERT_EQ(layout.masks.size(), 3u);
  EXPECT_EQ(layout.bounds, (Size{1000, 1000}));

  const auto& large = *layout.masks[0].content;
  EXPECT_EQ(layout.masks[0].rect, (Rect{{0, 0}, {400, 100}}));
  EXPECT_EQ(large.sizeClass, SourceMaskSizeClass::large);
  EXPECT_EQ(large.text, "Sensitive content hidden");
  const double largeTotal = 16 + 6 + 24 * 6.0;  // symbol, gap, text width
  EXPECT_DOUBLE_EQ(large.symbolRect.minX(), 200 - largeTotal / 2);
  EXPECT_EQ(large.symbolRect.size, (Size{16, 16}));
  EXPECT_DOUBLE_EQ(large.symbolRect.minY(), 50 - 8);
  EXPECT_DOUBLE_EQ(large.textRect.minX(), large.symbolRect.maxX() + 6);
  EXPECT_DOUBLE_EQ(large.textRect.minY(), 50 - 12 * 1.2 / 2);

  const auto& medium = *layout.masks[1].content;
  EXPECT_EQ(medium.sizeClass, SourceMaskSizeClass::medium);
  EXPECT_EQ(medium.text, "Hidden");
  EXPECT_DOUBLE_EQ(medium.symbolRect.minX(), 8);
  EXPECT_EQ(medium.symbolRect.size, (Size{14, 14}));
  EXPECT_DOUBLE_EQ(medium.textRect.minX(), 8 + 14 + 5);
  EXPECT_DOUBLE_EQ(medium.fontSize, 11);

  const auto& small = *layout.masks[2].content;
  EXPECT_EQ(small.sizeClass, SourceMaskSizeClass::small);
  EXPECT_FALSE(small.text);
  EXPECT_EQ(small.symbolRect, (Rect{{22, 502}, {16, 16}}));  // min(20, 60) - 4, centred
}

TEST(SourceMaskLayoutTest, NeighboursShareOneLabelAndTextThatDoesNotFitIsLeftOut) {
  const auto layout = Layout::layout(
      scene({maskOf(0, 0, 100, 30), maskOf(0, 30, 100, 30), maskOf(300, 0, 100, 30)}), measure);
  ASSERT_EQ(layout.masks.size(), 3u);
  EXPECT_EQ(layout.masks[0].content->text, "Hidden");
  // Its union with the first is 100 × 60: the lock alone, still 8 points from the left edge.
  EXPECT_FALSE(layout.masks[1].content->text);
  EXPECT_DOUBLE_EQ(layout.masks[1].content->symbolRect.minX(), 8);
  EXPECT_EQ(layout.masks[1].content->sizeClass, SourceMaskSizeClass::medium);
  // Far enough away to carry its own label.
  EXPECT_EQ(layout.masks[2].content->text, "Hidden");

  // A medium mask whose text would not fit (total > w - 8) shows the lock alone.
  auto wide = [](const std::string&, double) { return Size{80, 13}; };
  const auto cramped = Layout::maskContent({{0, 0}, {100, 30}}, true, wide);
  EXPECT_FALSE(cramped->text);
  EXPECT_DOUBLE_EQ(cramped->symbolRect.minX(), 8);
  EXPECT_FALSE(Layout::maskContent({{0, 0}, {100, 7.5}}, true, measure));
}

// A mask drawn over another would hide its lock from the capture check: masks that would
// overlap become one mask over both, again and again until none do; masks that only touch stay.
TEST(SourceMaskLayoutTest, OverlappingMasksAreDrawnAsOneOverBoth) {
  auto s = scene({maskOf(0, 0, 100, 30), maskOf(300, 0, 100, 30), maskOf(90, 20, 100, 30),
                  maskOf(180, 40, 100, 30), maskOf(0, 70, 100, 30)});
  const auto layout = Layout::layoutWithoutOverlaps(s, measure);
  ASSERT_EQ(layout.masks.size(), 3u);
  ASSERT_EQ(s.redactions.size(), 3u);
  EXPECT_EQ(layout.masks[0].rect, (Rect{{0, 0}, {280, 70}})) << "a chain of three merged";
  EXPECT_EQ(layout.masks[1].rect, (Rect{{300, 0}, {100, 30}}));
  EXPECT_EQ(layout.masks[2].rect, (Rect{{0, 70}, {100, 30}})) << "touching is not overlapping";
  for (std::size_t i = 0; i < layout.masks.size(); ++i) {
    EXPECT_EQ(layout.masks[i].redactionIndex, i);
    for (std::size_t j = i + 1; j < layout.masks.size(); ++j)
      EXPECT_TRUE(layout.masks[i].rect.intersection(layout.masks[j].rect).isEmpty());
  }
}

TEST(SourceMaskLayoutTest, BackingScaleShrinksMarginsCornersAndBorder) {
  const auto layout = Layout::layout(scene({{{200, 200}, {100, 20}}}, 2), measure);
  ASSERT_EQ(layout.masks.size(), 1u);
  const auto& mask = layout.masks[0];
  EXPECT_EQ(mask.rect, (Rect{{197, 198.5}, {106, 23}}));
  EXPECT_DOUBLE_EQ(mask.cornerRadius, 2);
  EXPECT_DOUBLE_EQ(mask.borderWidth, 0.5);
  // A flat mask keeps its corners under a third of its height.
  const auto flat = Layout::layout(scene({{{0, 100}, {100, 3}}}), measure);
  EXPECT_DOUBLE_EQ(flat.masks[0].cornerRadius, 3);
}

TEST(SourceMaskLayoutTest, OutsideTheDisplayIsClippedByTheViewAndPlacedOnTheDisplay) {
  SourceMaskScene s = scene({});
  model::ProtectedRedaction past;
  past.normalizedFrame = {{0.95, -0.05}, {0.2, 0.1}};
  model::ProtectedRedaction gone;
  gone.normalizedFrame = {{1.2, 0.5}, {0.1, 0.1}};
  s.redactions = {gone, past};
  // sourceRect itself does not clamp.
  EXPECT_EQ(Layout::sourceRect(past.normalizedFrame, s), (Rect{{950, -50}, {200, 100}}));
  EXPECT_EQ(Layout::sourceRect(past.normalizedFrame, SourceMaskScene{}), Rect{});

  const auto layout = Layout::layout(s, measure);
  ASSERT_EQ(layout.masks.size(), 1u);
  EXPECT_EQ(layout.masks[0].redactionIndex, 1u);
  EXPECT_EQ(layout.masks[0].rect, (Rect{{944, 0}, {56, 53}}));

  const auto placements = Layout::placements(layout, s);
  ASSERT_EQ(placements.size(), 1u);
  EXPECT_DOUBLE_EQ(placements[0].normalizedFrame.minX(), 0.944);
  EXPECT_DOUBLE_EQ(placements[0].normalizedFrame.maxX(), 1.0);
  const Rect& lock = layout.masks[0].content->symbolRect;
  ASSERT_TRUE(placements[0].normalizedAccentPoint);
  EXPECT_DOUBLE_EQ(placements[0].normalizedAccentPoint->x,
                   (lock.minX() + 0.5 * lock.width()) / 1000);
  EXPECT_DOUBLE_EQ(placements[0].normalizedAccentPoint->y,
                   (lock.minY() + 0.65 * lock.height()) / 1000);
}

}  // namespace
}  // namespace corvane::verification
