#pragma once

// One screen a real application rendered, with its truth: where the application put each planted
// line (a terminal's cell grid, a page's element rectangles), narrowed to the ink the application
// drew there. Secrets and plain lines are scored as the screen corpus scores them; benign
// near-misses are kept apart so that they are counted on their own.

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/real_application/planted_text.h"
#include "support/tesseract_analyzer.h"
#include "support/text_corpus_screens.h"
#include "verification/structured_text_heuristics.h"

namespace corvane::testing::real_application {

struct RealApplicationScreen {
  CorpusScreen screen;                 // secrets and plain lines
  std::vector<ScreenLine> nearMisses;  // benign look-alikes
  bool desktop = false;                // a whole desktop under a window manager
};

// The smallest rectangle within `box` holding every pixel that differs from the box's most
// common colour (its background); nothing when no pixel does.
inline std::optional<platform::Rect> inkWithin(const platform::PixelBuffer& image,
                                               const platform::Rect& box) {
  const int x0 = std::max(0, static_cast<int>(box.minX()));
  const int y0 = std::max(0, static_cast<int>(box.minY()));
  const int x1 = std::min(image.width(), static_cast<int>(box.maxX() + 0.5));
  const int y1 = std::min(image.height(), static_cast<int>(box.maxY() + 0.5));
  if (x1 <= x0 || y1 <= y0) return std::nullopt;
  std::map<std::uint32_t, int> counts;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) ++counts[image.pixel(x, y) & 0xFFFFFFu];
  std::uint32_t background = 0;
  int most = -1;
  for (const auto& [colour, count] : counts) {
    if (count > most) most = count, background = colour;
  }
  auto distance = [background](std::uint32_t colour) {
    int sum = 0;
    for (int shift : {0, 8, 16})
      sum += std::abs(static_cast<int>((colour >> shift) & 0xFF) -
                      static_cast<int>((background >> shift) & 0xFF));
    return sum;
  };
  int minX = x1, minY = y1, maxX = -1, maxY = -1;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (distance(image.pixel(x, y) & 0xFFFFFFu) < 96) continue;
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
  }
  if (maxX < 0) return std::nullopt;
  return platform::Rect{{double(minX), double(minY)},
                        {double(maxX - minX + 1), double(maxY - minY + 1)}};
}

// Records a planted line the application laid out in `lineBox` (its secret in `secretBox`), as
// pixels of the screen's image; a line of which no ink shows is left out and counted in
// `unseen`.
inline void placeLine(RealApplicationScreen& screen, const PlantedLine& planted,
                      const platform::Rect& lineBox, const platform::Rect& secretBox, int pixelSize,
                      int& unseen) {
  const auto ink = inkWithin(*screen.screen.image, lineBox);
  const auto secretInk = planted.role == LineRole::secret
                             ? inkWithin(*screen.screen.image, secretBox)
                             : std::optional<platform::Rect>{};
  if (!ink || (planted.role == LineRole::secret && !secretInk)) {
    ++unseen;
    return;
  }
  ScreenLine line;
  line.text = planted.text();
  line.pixelSize = pixelSize;
  line.textBox = *ink;
  line.plain = planted.role != LineRole::secret;
  if (planted.role == LineRole::secret) {
    line.secret = planted.kind;
    line.secretBox = *secretInk;
  }
  auto& into = planted.role == LineRole::nearMiss ? screen.nearMisses : screen.screen.lines;
  into.push_back(std::move(line));
}

// What one analysis did on one screen: the screen corpus's score, secrets on whole desktops, and
// near-misses masked: those the structured-text checks do not flag, and apart from them those
// they flag (a key's marker read in the text: covered as unverified by design).
struct RealApplicationScore {
  ScreenScore lines;
  ScreenScore::Tally desktopSecrets;
  ScreenScore::Tally nearMisses;
  ScreenScore::Tally flaggedNearMisses;
  std::vector<std::string> maskedNearMisses;

  void add(const RealApplicationScore& other) {
    lines.add(other.lines);
    for (auto [into, from] : {std::pair{&desktopSecrets, &other.desktopSecrets},
                              std::pair{&nearMisses, &other.nearMisses},
                              std::pair{&flaggedNearMisses, &other.flaggedNearMisses}}) {
      into->total += from->total;
      into->masked += from->masked;
    }
    maskedNearMisses.insert(maskedNearMisses.end(), other.maskedNearMisses.begin(),
                            other.maskedNearMisses.end());
  }
};

inline RealApplicationScore scoreRealApplicationScreen(
    const RealApplicationScreen& screen, const model::ProtectedFrameAnalysisResult& result) {
  RealApplicationScore score;
  score.lines = scoreScreen(screen.screen, result);
  if (screen.desktop) score.desktopSecrets = score.lines.secrets;
  CorpusScreen nearMisses = screen.screen, flagged = screen.screen;
  nearMisses.lines.clear();
  flagged.lines.clear();
  const auto kinds = corpusPreferences().enabledKinds;
  for (const ScreenLine& line : screen.nearMisses) {
    const std::string normalized =
        verification::StructuredTextHeuristics::normalizedConfusableStructuredText(line.text);
    const bool flaggedByChecks = verification::StructuredTextHeuristics::isSuspiciousStructuredText(
        line.text, normalized, kinds);
    (flaggedByChecks ? flagged : nearMisses).lines.push_back(line);
  }
  const ScreenScore near = scoreScreen(nearMisses, result);
  score.nearMisses = near.plainLines;
  score.maskedNearMisses = near.falselyMasked;
  score.flaggedNearMisses = scoreScreen(flagged, result).plainLines;
  return score;
}

}  // namespace corvane::testing::real_application
