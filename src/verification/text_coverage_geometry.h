#pragma once

#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::verification {

// One text area found by text-rectangle detection, with a box per character.
struct DetectedTextRegion {
  platform::Rect frame;
  std::vector<platform::Rect> characterFrames;
};

// Whether what recognition read accounts for what detection saw, and where it does not. All
// rectangles share one normalised space chosen by the caller.
struct TextCoverageGeometry {
  static constexpr double kRegionCoveredFraction = 0.68;
  static constexpr double kCharacterCoveredFraction = 0.55;

  // How much of `rect` the recognised frames cover (0 to 1); the frames are grown first by a
  // margin proportional to `rect`.
  static double recognizedCoverage(const platform::Rect& rect,
                                   const std::vector<platform::Rect>& recognizedFrames);

  // Character boxes (sorted by minX) chained into runs along a line; runs of fewer than three
  // characters are dropped.
  static std::vector<platform::Rect> unverifiedCharacterRuns(
      const std::vector<platform::Rect>& characterBoxes);

  // The parts of the detected regions that no recognised frame accounts for.
  static std::vector<platform::Rect> uncoveredCharacterRuns(
      const std::vector<platform::Rect>& recognizedTextFrames,
      const std::vector<DetectedTextRegion>& detectedTextRegions);

  // The part of a line's box that its own row of text fills. A box taller than
  // `kRowsOfATallLine` rows of `rowHeight` took in pixels of a neighbouring row: it is narrowed,
  // top and bottom, to the detected words that lie in it (`kShareOfAWordInItsLine` of their area
  // or more). The box holds every glyph of its own row, so its row's words lie wholly in it; a
  // word of a row's height that it cuts through belongs to the neighbouring row whose edge it
  // took in, however much of that row it reached, and so does a smaller word ("*", "to") lying in
  // it level with such a word. When the words left are all shorter than `kTallestWordsKept` of
  // the tallest lying in the box (a word of its own row was cut, by a glyph joined from the next
  // row), every word lying in it counts. A box no taller than that, or in which no word lies, is
  // returned as it is.
  static constexpr double kRowsOfATallLine = 1.3;
  static constexpr double kShareOfAWordInItsLine = 0.9;
  static constexpr double kTallestWordsKept = 0.8;
  static platform::Rect rowOfLine(const platform::Rect& line, double rowHeight,
                                  const std::vector<DetectedTextRegion>& words);

  static bool shouldRunFallbackOCR(const std::vector<platform::Rect>& rects,
                                   std::size_t maximumRegionCount, double maximumCoveredArea);

  // The rectangles clipped to the unit square, touching ones merged, then the closest pairs
  // merged until at most `maximumRegions` remain.
  static std::vector<platform::Rect> coalescedFallbackRegions(std::vector<platform::Rect> rects,
                                                              int maximumRegions);

  // Whether the region (bottom-left normalised) of the image shows more than flat colour. A
  // region outside the image counts as structured, so it is never waved through.
  static bool regionHasVisibleStructure(const platform::PixelBuffer& image,
                                        const platform::Rect& regionOfInterest);
};

}  // namespace corvane::verification
