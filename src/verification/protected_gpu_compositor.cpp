#include "verification/protected_gpu_compositor.h"

#include <algorithm>
#include <cstring>

#include "verification/cairo_image.h"
#include "verification/mask_label_assets.h"
#include "verification/normalized_geometry.h"
#include "verification/pixel_rect.h"

namespace corvane::verification {

namespace {

using model::ProtectedRedaction;
using model::ProtectedRedactionScope;

constexpr double kReferenceWidth = 1512;
constexpr double kBorderRadius = 4;
constexpr double kFillRadius = 3;
constexpr double kLabelInset = 4;
constexpr double kLabelLeftMargin = 8;
constexpr double kMinimumLabelScale = 0.1;
// Mask sizes, in points, that decide the label.
constexpr double kSmallMaskWidth = 320;
constexpr double kSmallMaskHeight = 72;
constexpr double kCompactOnlyWidth = 96;
constexpr double kCompactOnlyHeight = 28;
constexpr double kNeighbourWidth = 120;
constexpr double kNeighbourHeight = 60;

struct MaskPlan {
  PixelRect rect;
  bool flat = false;  // an unverified change: fill only
  const MaskLabelAsset* label = nullptr;
  bool leftAligned = false;
};

// Where each mask goes and which label it carries. A small mask next to one that already shows a
// text label gets the lock alone, so neighbouring masks do not repeat the same words.
std::vector<MaskPlan> planMasks(const std::vector<ProtectedRedaction>& redactions,
                                bool includeSourceOverlays, int width, int height) {
  const double scale = ProtectedGPUCompositor::maskScale(width);
  std::vector<platform::Rect> placedLabels;  // in points
  std::vector<MaskPlan> plans;
  for (const auto& redaction : redactions) {
    if (redaction.scope == ProtectedRedactionScope::sourceOverlay && !includeSourceOverlays)
      continue;
    const auto rect = maskPixelRect(redaction.normalizedFrame, width, height);
    if (!rect) continue;
    MaskPlan plan;
    plan.rect = *rect;
    if (redaction.scope == ProtectedRedactionScope::unverifiedChange) {
      plan.flat = true;
      plans.push_back(plan);
      continue;
    }
    const double w = rect->width / scale;
    const double h = rect->height / scale;
    const bool small = w < kSmallMaskWidth || h < kSmallMaskHeight;
    MaskLabel label = MaskLabel::compact;
    if (small && (w < kCompactOnlyWidth || h < kCompactOnlyHeight)) {
      plan.leftAligned = false;
    } else {
      const platform::Rect points{{rect->x / scale, rect->y / scale}, {w, h}};
      const bool besideALabel =
          std::any_of(placedLabels.begin(), placedLabels.end(), [&](const platform::Rect& placed) {
            const auto both = unionRect(points, placed);
            return both.width() <= kNeighbourWidth && both.height() <= kNeighbourHeight;
          });
      if (besideALabel) {
        plan.leftAligned = small;
      } else {
        placedLabels.push_back(points);
        label = small ? MaskLabel::inlineText : MaskLabel::areaText;
        plan.leftAligned = small;
      }
    }
    plan.label = maskLabelAsset(label);
    plans.push_back(plan);
  }
  return plans;
}

void setColor(cairo_t* context, const ProtectedGPUCompositor::MaskColor& color) {
  cairo_set_source_rgb(context, color.red, color.green, color.blue);
}

void paintLabel(cairo_t* context, const MaskPlan& plan, double scale) {
  const MaskLabelAsset& asset = *plan.label;
  const PixelRect& r = plan.rect;
  const double fit = std::min((r.width - kLabelInset) / asset.pixelWidth,
                              (r.height - kLabelInset) / asset.pixelHeight);
  const double labelScale =
      std::min(std::max(fit, kMinimumLabelScale), scale / MaskLabelAsset::kScale);
  const double width = asset.pixelWidth * labelScale;
  const double height = asset.pixelHeight * labelScale;
  const double x = plan.leftAligned ? r.x + kLabelLeftMargin * scale : r.midX() - width / 2;
  const double y = r.midY() - height / 2;
  cairo_save(context);
  cairo_rectangle(context, r.x, r.y, r.width, r.height);
  cairo_clip(context);
  cairo_translate(context, x, y);
  cairo_scale(context, labelScale, labelScale);
  cairo_set_source_surface(context, asset.image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(context), CAIRO_FILTER_GOOD);
  cairo_paint(context);
  cairo_restore(context);
}

void paintMasks(cairo_t* context, const std::vector<MaskPlan>& plans, double scale) {
  for (const auto& plan : plans) {
    const PixelRect& r = plan.rect;
    if (plan.flat) {
      setColor(context, ProtectedGPUCompositor::kMaskFill);
      cairo_rectangle(context, r.x, r.y, r.width, r.height);
      cairo_fill(context);
      continue;
    }
    setColor(context, ProtectedGPUCompositor::kMaskBorder);
    addRoundedRectangle(context, r.x, r.y, r.width, r.height, kBorderRadius);
    cairo_fill(context);
    if (r.width > 2 && r.height > 2) {
      setColor(context, ProtectedGPUCompositor::kMaskFill);
      addRoundedRectangle(context, r.x + 1, r.y + 1, r.width - 2, r.height - 2, kFillRadius);
      cairo_fill(context);
    }
    if (plan.label) paintLabel(context, plan, scale);
  }
}

// Draws the masks shifted down by `dy` pixels, only inside `region`.
void paintMasksInside(platform::PixelBuffer& image, const std::vector<MaskPlan>& plans,
                      const PixelRect& region, int dy) {
  if (plans.empty() || region.isEmpty()) return;
  CairoImage canvas(image);
  if (!canvas.isValid()) return;
  cairo_t* context = canvas.context();
  cairo_rectangle(context, region.x, region.y, region.width, region.height);
  cairo_clip(context);
  cairo_translate(context, 0, dy);
  paintMasks(context, plans, ProtectedGPUCompositor::maskScale(image.width()));
}

void fillRect(platform::PixelBuffer& image, const PixelRect& rect,
              const ProtectedGPUCompositor::MaskColor& color) {
  CairoImage canvas(image);
  if (!canvas.isValid()) return;
  setColor(canvas.context(), color);
  cairo_rectangle(canvas.context(), rect.x, rect.y, rect.width, rect.height);
  cairo_fill(canvas.context());
}

// Puts the verified output with its covers (moved down by `dy` pixels) into `region` of
// `target`. Rows whose source lies outside the frame are left as they are.
void showVerifiedInside(platform::PixelBuffer& target, const platform::PixelBuffer& verified,
                        const std::vector<MaskPlan>& verifiedCovers, const PixelRect& region,
                        int dy) {
  if (region.isEmpty()) return;
  const std::size_t rowBytes = static_cast<std::size_t>(region.width) * 4;
  for (int y = region.y; y < region.maxY(); ++y) {
    const int from = y - dy;
    if (from < 0 || from >= verified.height()) continue;
    std::memcpy(target.mutableData() + static_cast<std::size_t>(y) * target.bytesPerRow() +
                    static_cast<std::size_t>(region.x) * 4,
                verified.data() + static_cast<std::size_t>(from) * verified.bytesPerRow() +
                    static_cast<std::size_t>(region.x) * 4,
                rowBytes);
  }
  paintMasksInside(target, verifiedCovers, region, dy);
}

}  // namespace

double ProtectedGPUCompositor::maskScale(int imageWidth) {
  return std::clamp(imageWidth / kReferenceWidth, 1.0, 2.0);
}

platform::SharedPixelBuffer ProtectedGPUCompositor::redactedImage(
    const platform::SharedPixelBuffer& source, const std::vector<ProtectedRedaction>& redactions,
    bool includeSourceOverlays) {
  if (!source || redactions.empty()) return source;
  const auto plans =
      planMasks(redactions, includeSourceOverlays, source->width(), source->height());
  if (plans.empty()) return source;
  auto output = std::make_shared<platform::PixelBuffer>(*source);
  CairoImage canvas(*output);
  if (!canvas.isValid()) return nullptr;  // never the frame without its covers
  paintMasks(canvas.context(), plans, maskScale(output->width()));
  return output;
}

platform::SharedPixelBuffer ProtectedGPUCompositor::guardedImage(
    const platform::SharedPixelBuffer& candidate, const platform::SharedPixelBuffer& verifiedOutput,
    const std::vector<ProtectedRedaction>& verifiedRedactions,
    const std::vector<platform::Rect>& changedRects, std::optional<int> verticalMotionPixels) {
  if (!candidate || !verifiedOutput || candidate->width() != verifiedOutput->width() ||
      candidate->height() != verifiedOutput->height())
    return verifiedOutput;
  const int width = candidate->width();
  const int height = candidate->height();
  std::vector<ProtectedRedaction> kept;
  for (const auto& redaction : verifiedRedactions) {
    if (redaction.scope != ProtectedRedactionScope::unverifiedChange) kept.push_back(redaction);
  }
  const auto covers = planMasks(kept, true, width, height);
  const PixelRect frame{0, 0, width, height};

  auto output = std::make_shared<platform::PixelBuffer>(*candidate);
  if (!CairoImage(*output).isValid()) return verifiedOutput;
  paintMasksInside(*output, covers, frame, 0);
  // Areas still unverified keep what was verified.
  for (const auto& redaction : verifiedRedactions) {
    if (redaction.scope != ProtectedRedactionScope::unverifiedChange) continue;
    if (const auto rect = maskPixelRect(redaction.normalizedFrame, width, height))
      showVerifiedInside(*output, *verifiedOutput, covers, *rect, 0);
  }
  for (const auto& changed : changedRects) {
    const auto rect = pixelRect(changed, width, height);
    if (!rect) continue;
    if (!verticalMotionPixels) {
      showVerifiedInside(*output, *verifiedOutput, covers, *rect, 0);
      continue;
    }
    // The rect shows the verified output moved by the motion, except the band the motion
    // uncovered (at the top for a downward motion), which stays dark. Every moved row has its
    // source inside the rect, so only the band needs the dark fill.
    const int motion = *verticalMotionPixels;
    const int band = std::min(std::abs(motion), rect->height);
    PixelRect moved = *rect;
    moved.height -= band;
    PixelRect uncovered = *rect;
    uncovered.height = band;
    if (motion > 0)
      moved.y += band;
    else
      uncovered.y = moved.maxY();
    if (!uncovered.isEmpty()) fillRect(*output, uncovered, kUncoveredBand);
    showVerifiedInside(*output, *verifiedOutput, covers, moved, motion);
  }
  if (!verticalMotionPixels) paintMasksInside(*output, covers, frame, 0);
  return output;
}

}  // namespace corvane::verification
