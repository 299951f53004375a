#include "verification/source_mask_layout.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "verification/normalized_geometry.h"
#include "verification/source_mask_visual_style.h"

namespace corvane::verification::SourceMaskLayoutModel {

namespace {

namespace style = SourceMaskVisualStyle;
using platform::Point;
using platform::Rect;
using platform::Size;

constexpr double kMinimumContentSide = 8;
constexpr double kLabelMargin = 8;
constexpr Size kSharedLabelBox{120, 60};

bool isLarge(double w, double h) {
  return w >= 320 && h >= 72;
}
bool mayCarryLabel(double w, double h) {
  return isLarge(w, h) || (w >= 96 && h >= 28);
}

Point normalizedOnDisplay(Point viewPoint, const SourceMaskScene& scene) {
  const Rect& display = scene.displayFrame;
  return {(viewPoint.x + scene.panelFrame.minX() - display.minX()) / display.width(),
          (viewPoint.y + scene.panelFrame.minY() - display.minY()) / display.height()};
}

// The redactions of the first two drawn masks that overlap, the earlier one first.
std::optional<std::pair<std::size_t, std::size_t>> firstOverlappingRedactions(
    const SourceMaskLayout& layout) {
  for (std::size_t i = 0; i < layout.masks.size(); ++i) {
    for (std::size_t j = i + 1; j < layout.masks.size(); ++j) {
      if (!layout.masks[i].rect.intersection(layout.masks[j].rect).isEmpty())
        return std::pair{layout.masks[i].redactionIndex, layout.masks[j].redactionIndex};
    }
  }
  return std::nullopt;
}

}  // namespace

Rect sourceRect(const Rect& normalized, const SourceMaskScene& scene) {
  const Rect& display = scene.displayFrame;
  if (display.isEmpty()) return {};
  return Rect{{display.minX() + normalized.minX() * display.width() - scene.panelFrame.minX(),
               display.minY() + normalized.minY() * display.height() - scene.panelFrame.minY()},
              {normalized.width() * display.width(), normalized.height() * display.height()}};
}

std::optional<SourceMaskContentLayout> maskContent(const Rect& r, bool showLabel,
                                                   const SourceMaskLabelMeasurer& measure) {
  const double w = r.width();
  const double h = r.height();
  if (w < kMinimumContentSide || h < kMinimumContentSide) return std::nullopt;

  SourceMaskContentLayout content;
  double symbolSize = 0;
  double gap = 0;
  bool centred = true;
  if (isLarge(w, h)) {
    content.sizeClass = SourceMaskSizeClass::large;
    symbolSize = 16;
    content.fontSize = 12;
    if (showLabel) content.text = largeLabel;
  } else if (w >= 96 && h >= 28) {
    content.sizeClass = SourceMaskSizeClass::medium;
    symbolSize = 14;
    content.fontSize = 11;
    centred = false;
    if (showLabel) content.text = mediumLabel;
  } else {
    content.sizeClass = SourceMaskSizeClass::small;
    symbolSize = std::min(std::max(std::min(w, h) - 4, 8.0), 20.0);
    content.fontSize = 11;
  }

  Size textSize;
  if (content.text) {
    textSize = measure ? measure(*content.text, content.fontSize) : Size{};
    gap = content.sizeClass == SourceMaskSizeClass::large ? 6 : 5;
  }
  const double total = symbolSize + gap + textSize.width;
  const double symbolX = centred ? (r.minX() + r.width() / 2) - total / 2 : r.minX() + kLabelMargin;
  const double midY = r.minY() + r.height() / 2;
  content.symbolRect = Rect{{symbolX, midY - symbolSize / 2}, {symbolSize, symbolSize}};

  if (content.text && total <= w - kLabelMargin) {
    content.textRect =
        Rect{{content.symbolRect.maxX() + gap, midY - textSize.height / 2}, textSize};
  } else {
    content.text.reset();
  }
  return content;
}

SourceMaskLayout layout(const SourceMaskScene& scene, const SourceMaskLabelMeasurer& measure) {
  SourceMaskLayout result;
  result.bounds = scene.panelFrame.size;
  const Rect bounds{{0, 0}, result.bounds};
  const double s = scene.backingScale > 0 ? scene.backingScale : 1;
  std::vector<Rect> labelledAreas;

  for (std::size_t i = 0; i < scene.redactions.size(); ++i) {
    const Rect source = sourceRect(scene.redactions[i].normalizedFrame, scene);
    const Rect r = grown(source, style::horizontalGrowthPixels / s, style::verticalGrowthPixels / s)
                       .intersection(bounds);
    if (r.isEmpty()) continue;

    SourceMaskDrawing mask;
    mask.redactionIndex = i;
    mask.rect = r;
    mask.cornerRadius = std::min(style::cornerRadiusPixels / s, r.height() / 3);
    mask.borderWidth = style::borderWidthPixels / s;

    bool showLabel = false;
    if (mayCarryLabel(r.width(), r.height())) {
      const bool sharesSmallBox =
          std::any_of(labelledAreas.begin(), labelledAreas.end(), [&](const Rect& area) {
            const Rect both = unionRect(r, area);
            return both.width() <= kSharedLabelBox.width && both.height() <= kSharedLabelBox.height;
          });
      showLabel = !sharesSmallBox;
      if (showLabel) labelledAreas.push_back(r);
    }
    mask.content = maskContent(r, showLabel, measure);
    result.masks.push_back(std::move(mask));
  }
  return result;
}

SourceMaskLayout layoutWithoutOverlaps(SourceMaskScene& scene,
                                       const SourceMaskLabelMeasurer& measure) {
  SourceMaskLayout result = layout(scene, measure);
  while (const auto pair = firstOverlappingRedactions(result)) {
    auto& kept = scene.redactions[pair->first];
    kept.normalizedFrame =
        unionRect(kept.normalizedFrame, scene.redactions[pair->second].normalizedFrame);
    scene.redactions.erase(scene.redactions.begin() + static_cast<std::ptrdiff_t>(pair->second));
    result = layout(scene, measure);
  }
  return result;
}

std::vector<SourceMaskPlacement> placements(const SourceMaskLayout& layout,
                                            const SourceMaskScene& scene) {
  std::vector<SourceMaskPlacement> result;
  if (scene.displayFrame.isEmpty()) return result;
  result.reserve(layout.masks.size());
  for (const auto& mask : layout.masks) {
    SourceMaskPlacement placement;
    const Point topLeft = normalizedOnDisplay(mask.rect.origin, scene);
    const Point bottomRight = normalizedOnDisplay({mask.rect.maxX(), mask.rect.maxY()}, scene);
    placement.normalizedFrame =
        Rect{topLeft, {bottomRight.x - topLeft.x, bottomRight.y - topLeft.y}};
    if (mask.content) {
      const Rect& symbol = mask.content->symbolRect;
      placement.normalizedAccentPoint =
          normalizedOnDisplay({symbol.minX() + style::lockBodyCentre.x * symbol.width(),
                               symbol.minY() + style::lockBodyCentre.y * symbol.height()},
                              scene);
    }
    result.push_back(placement);
  }
  return result;
}

}  // namespace corvane::verification::SourceMaskLayoutModel
