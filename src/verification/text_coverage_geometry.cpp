#include "verification/text_coverage_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "verification/analysis_image_preparation.h"
#include "verification/normalized_geometry.h"

namespace corvane::verification {

using platform::Rect;

double TextCoverageGeometry::recognizedCoverage(const Rect& rect,
                                                const std::vector<Rect>& recognizedFrames) {
  if (!(rect.width() > 0 && rect.height() > 0)) return 0;
  const double dx = std::max(0.12 * rect.width(), 0.004);
  const double dy = std::max(0.25 * rect.height(), 0.003);
  std::vector<Rect> pieces;
  for (const Rect& frame : recognizedFrames) {
    const Rect piece = grown(frame, dx, dy).intersection(rect);
    if (!piece.isEmpty()) pieces.push_back(piece);
  }
  if (pieces.empty()) return 0;

  const double covered = coveredArea(pieces);
  return std::min(covered / (rect.width() * rect.height()), 1.0);
}

std::vector<Rect> TextCoverageGeometry::unverifiedCharacterRuns(
    const std::vector<Rect>& characterBoxes) {
  std::vector<Rect> runs;
  if (characterBoxes.empty()) return runs;
  Rect run = characterBoxes.front();
  int runCount = 1;
  auto closeRun = [&] {
    if (runCount >= 3) runs.push_back(run);
  };
  for (std::size_t i = 1; i < characterBoxes.size(); ++i) {
    const Rect& previous = characterBoxes[i - 1];
    const Rect& box = characterBoxes[i];
    const double height = std::max(previous.height(), box.height());
    const double gap = box.minX() - previous.maxX();
    const double drift = std::abs(centre(box).y - centre(previous).y);
    // Written so that an undefined value (NaN) closes the run.
    if (gap <= 1.5 * height && drift <= 0.75 * height) {
      run = unionRect(run, box);
      ++runCount;
    } else {
      closeRun();
      run = box;
      runCount = 1;
    }
  }
  closeRun();
  return runs;
}

std::vector<Rect> TextCoverageGeometry::uncoveredCharacterRuns(
    const std::vector<Rect>& recognizedTextFrames,
    const std::vector<DetectedTextRegion>& detectedTextRegions) {
  std::vector<Rect> uncovered;
  for (const DetectedTextRegion& region : detectedTextRegions) {
    if (recognizedCoverage(region.frame, recognizedTextFrames) >= kRegionCoveredFraction) continue;
    if (region.characterFrames.empty()) {
      uncovered.push_back(region.frame);
      continue;
    }
    std::vector<Rect> characters;
    for (const Rect& character : region.characterFrames) {
      if (recognizedCoverage(character, recognizedTextFrames) < kCharacterCoveredFraction) {
        characters.push_back(character);
      }
    }
    if (characters.empty()) continue;
    std::stable_sort(characters.begin(), characters.end(),
                     [](const Rect& a, const Rect& b) { return a.minX() < b.minX(); });
    const std::vector<Rect> runs = unverifiedCharacterRuns(characters);
    const bool runsAccountForEveryCharacter =
        !runs.empty() && std::all_of(characters.begin(), characters.end(), [&](const Rect& c) {
          return recognizedCoverage(c, runs) >= kCharacterCoveredFraction;
        });
    if (runsAccountForEveryCharacter) {
      uncovered.insert(uncovered.end(), runs.begin(), runs.end());
    } else {
      uncovered.push_back(region.frame);
    }
  }
  return uncovered;
}

Rect TextCoverageGeometry::rowOfLine(const Rect& line, double rowHeight,
                                     const std::vector<DetectedTextRegion>& words) {
  // Written so that an undefined height (NaN) keeps the box.
  if (!(line.height() > kRowsOfATallLine * rowHeight)) return line;
  std::vector<Rect> lying;
  std::vector<Rect> neighbours;  // the bands of the rows whose words the box cuts through
  for (const DetectedTextRegion& word : words) {
    const Rect inside = word.frame.intersection(line);
    if (inside.isEmpty()) continue;
    if (inside.area() >= kShareOfAWordInItsLine * word.frame.area())
      lying.push_back(inside);
    else if (word.frame.height() <= kRowsOfATallLine * rowHeight)
      neighbours.push_back(word.frame);
  }
  std::vector<Rect> own;
  for (const Rect& word : lying) {
    const double middle = centre(word).y;
    if (std::none_of(neighbours.begin(), neighbours.end(), [&](const Rect& band) {
          return middle > band.minY() && middle < band.maxY();
        }))
      own.push_back(word);
  }
  auto tallest = [](const std::vector<Rect>& rects) {
    double height = 0;
    for (const Rect& r : rects) height = std::max(height, r.height());
    return height;
  };
  // A word of the line's own row that the box cut (a glyph of the row below joined to it) makes
  // its own row look like a neighbour's: the words left then miss the row's tall ones.
  const std::vector<Rect>& row = tallest(own) >= kTallestWordsKept * tallest(lying) ? own : lying;
  if (row.empty()) return line;
  Rect band = row.front();
  for (const Rect& word : row) band = unionRect(band, word);
  return Rect{{line.minX(), band.minY()}, {line.width(), band.height()}};
}

bool TextCoverageGeometry::shouldRunFallbackOCR(const std::vector<Rect>& rects,
                                                std::size_t maximumRegionCount,
                                                double maximumCoveredArea) {
  if (rects.empty() || rects.size() > maximumRegionCount) return false;
  double area = 0;
  for (const Rect& r : rects) area += std::max(r.width(), 0.0) * std::max(r.height(), 0.0);
  return area <= maximumCoveredArea;
}

std::vector<Rect> TextCoverageGeometry::coalescedFallbackRegions(std::vector<Rect> rects,
                                                                 int maximumRegions) {
  if (maximumRegions < 1) return {};
  std::vector<Rect> kept;
  for (const Rect& r : rects) {
    const Rect clip = clippedToUnit(r);
    if (!clip.isEmpty()) kept.push_back(clip);
  }
  std::stable_sort(kept.begin(), kept.end(), isBeforeInReadingOrder);
  constexpr double kTouching = 0.004;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    for (std::size_t j = i + 1; j < kept.size();) {
      if (grown(kept[i], kTouching, kTouching).intersects(grown(kept[j], kTouching, kTouching))) {
        kept[i] = unionRect(kept[i], kept[j]);
        kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(j));
        j = i + 1;
      } else {
        ++j;
      }
    }
  }
  while (kept.size() > static_cast<std::size_t>(maximumRegions)) {
    std::size_t bestI = 0, bestJ = 1;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < kept.size(); ++i) {
      for (std::size_t j = i + 1; j < kept.size(); ++j) {
        const double dx = centre(kept[i]).x - centre(kept[j]).x;
        const double dy = centre(kept[i]).y - centre(kept[j]).y;
        const double distance = dx * dx + dy * dy;
        if (distance < best) {
          best = distance;
          bestI = i;
          bestJ = j;
        }
      }
    }
    kept[bestI] = unionRect(kept[bestI], kept[bestJ]);
    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(bestJ));
  }
  return kept;
}

bool TextCoverageGeometry::regionHasVisibleStructure(const platform::PixelBuffer& image,
                                                     const Rect& regionOfInterest) {
  const double W = image.width();
  const double H = image.height();
  const int x0 = std::max(0, static_cast<int>(std::floor(regionOfInterest.minX() * W)));
  const int y0 = std::max(0, static_cast<int>(std::floor((1 - regionOfInterest.maxY()) * H)));
  const int x1 = std::min(image.width(), static_cast<int>(std::ceil(regionOfInterest.maxX() * W)));
  const int y1 =
      std::min(image.height(), static_cast<int>(std::ceil((1 - regionOfInterest.minY()) * H)));
  const int w = x1 - x0;
  const int h = y1 - y0;
  if (w <= 0 || h <= 0) return true;

  const int sampleWidth = std::clamp(w, 1, 256);
  const int sampleHeight = std::clamp(
      static_cast<int>(std::lround(static_cast<double>(h) / std::max(w, 1) * sampleWidth)), 1, 128);
  const auto sample = scaledImage(image, {x0, y0, w, h}, sampleWidth, sampleHeight);
  if (!sample) return true;

  std::vector<int> grey(static_cast<std::size_t>(sampleWidth) * sampleHeight);
  for (int y = 0; y < sampleHeight; ++y) {
    for (int x = 0; x < sampleWidth; ++x) {
      const std::uint32_t p = sample->pixel(x, y);
      const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      grey[static_cast<std::size_t>(y) * sampleWidth + x] = (r * 299 + g * 587 + b * 114) / 1000;
    }
  }
  const auto [lowest, highest] = std::minmax_element(grey.begin(), grey.end());
  if (*highest - *lowest < 6) return false;

  const int product = sampleWidth * sampleHeight;
  const int threshold = product >= 6000 ? product / 2000 : 3;
  int edges = 0;
  auto at = [&](int x, int y) { return grey[static_cast<std::size_t>(y) * sampleWidth + x]; };
  for (int y = 0; y < sampleHeight; ++y) {
    if (y > 0 && std::abs(at(0, y) - at(0, y - 1)) >= 5 && ++edges >= threshold) return true;
    if (w < 2) continue;
    for (int x = 1; x < sampleWidth; ++x) {
      if (std::abs(at(x, y) - at(x - 1, y)) >= 5 && ++edges >= threshold) return true;
      if (y > 0 && std::abs(at(x, y) - at(x, y - 1)) >= 5 && ++edges >= threshold) return true;
    }
  }
  return false;
}

}  // namespace corvane::verification
