#include "verification/mask_label_assets.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "verification/cairo_image.h"
#include "verification/protected_gpu_compositor.h"

namespace corvane::verification {

namespace {

constexpr const char* kLabelFontFamily = "DejaVu Sans";
constexpr double kTextGap = 6;
constexpr double kMinimumFontSize = 11;

struct LabelSpec {
  const char* text;  // null: the lock alone
  double iconSize;   // points
  double fontSize;   // points
};

LabelSpec specFor(MaskLabel label) {
  switch (label) {
    case MaskLabel::compact:
      return {nullptr, 20, 0};
    case MaskLabel::inlineText:
      return {"Hidden", 14, 11};
    case MaskLabel::areaText:
      return {"Sensitive content hidden", 16, 12};
  }
  return {nullptr, 20, 0};
}

void selectLabelFont(cairo_t* context, double fontSize) {
  cairo_select_font_face(context, kLabelFontFamily, CAIRO_FONT_SLANT_NORMAL,
                         CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(context, std::max(fontSize, kMinimumFontSize));
}

struct TextMetrics {
  double width = 0;
  double ascent = 0;
  double descent = 0;
};

std::optional<TextMetrics> measure(const LabelSpec& spec) {
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* context = cairo_create(scratch);
  selectLabelFont(context, spec.fontSize);
  cairo_text_extents_t text;
  cairo_font_extents_t font;
  cairo_text_extents(context, spec.text, &text);
  cairo_font_extents(context, &font);
  const bool ok = cairo_status(context) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(context);
  cairo_surface_destroy(scratch);
  if (!ok) return std::nullopt;
  return TextMetrics{text.x_advance, font.ascent, font.descent};
}

// The lock, in points with the origin at the top left: a stroked shackle behind a filled body.
void drawLock(cairo_t* context, double iconSize, double logicalHeight) {
  const double s = iconSize;
  const double offset = (logicalHeight - s) / 2;
  // Shapes are given from the bottom edge up; flip each into top-left coordinates.
  auto fromBottom = [&](double y, double height) { return logicalHeight - (y + offset) - height; };
  const auto& accent = ProtectedGPUCompositor::kMaskAccent;
  cairo_set_source_rgba(context, accent.red, accent.green, accent.blue, 1.0);
  addRoundedRectangle(context, 0.27 * s, fromBottom(0.46 * s, 0.42 * s), 0.46 * s, 0.42 * s,
                      0.23 * s);
  cairo_set_line_width(context, std::max(0.11 * s, 1.4));
  cairo_stroke(context);
  addRoundedRectangle(context, 0.14 * s, fromBottom(0.08 * s, 0.53 * s), 0.72 * s, 0.53 * s,
                      0.12 * s);
  cairo_set_fill_rule(context, CAIRO_FILL_RULE_WINDING);
  cairo_fill(context);
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};

struct BuiltAsset {
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> image;
  MaskLabelAsset asset;
};

std::optional<BuiltAsset> build(MaskLabel label) {
  const LabelSpec spec = specFor(label);
  TextMetrics metrics;
  if (spec.text) {
    const auto measured = measure(spec);
    if (!measured) return std::nullopt;
    metrics = *measured;
  }
  const double gap = spec.text ? kTextGap : 0;
  const double logicalWidth = std::ceil(spec.iconSize + gap + metrics.width);
  const double logicalHeight = std::max(spec.iconSize, 20.0);
  const double scale = MaskLabelAsset::kScale;
  const int pixelWidth = std::max(static_cast<int>(std::ceil(scale * logicalWidth)), 1);
  const int pixelHeight = std::max(static_cast<int>(std::ceil(scale * logicalHeight)), 1);

  BuiltAsset built;
  built.image.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight));
  if (cairo_surface_status(built.image.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
  cairo_t* context = cairo_create(built.image.get());
  cairo_scale(context, scale, scale);
  drawLock(context, spec.iconSize, logicalHeight);
  if (spec.text) {
    selectLabelFont(context, spec.fontSize);
    cairo_set_source_rgba(context, 0.92, 0.92, 0.92, 0.92);
    const double baselineFromBottom =
        metrics.descent + (logicalHeight - metrics.ascent - metrics.descent) / 2;
    cairo_move_to(context, spec.iconSize + kTextGap, logicalHeight - baselineFromBottom);
    cairo_show_text(context, spec.text);
  }
  const bool ok = cairo_status(context) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(context);
  if (!ok) return std::nullopt;
  cairo_surface_flush(built.image.get());
  built.asset = MaskLabelAsset{built.image.get(), pixelWidth, pixelHeight};
  return built;
}

}  // namespace

const MaskLabelAsset* maskLabelAsset(MaskLabel label) {
  static std::once_flag once;
  static std::array<std::optional<BuiltAsset>, 3> assets;
  std::call_once(once, [] {
    for (auto label : {MaskLabel::compact, MaskLabel::inlineText, MaskLabel::areaText})
      assets[static_cast<int>(label)] = build(label);
  });
  const auto& built = assets[static_cast<int>(label)];
  return built ? &built->asset : nullptr;
}

}  // namespace corvane::verification
