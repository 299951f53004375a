#pragma once

#include <cairo.h>

namespace corvane::verification {

// The labels drawn on masks: a green lock, with "Hidden" or "Sensitive content hidden" beside
// it for the two text variants. Drawn once per process at 2 pixels per point and only scaled
// afterwards; read-only once built, so any thread may draw them.
enum class MaskLabel { compact, inlineText, areaText };

struct MaskLabelAsset {
  cairo_surface_t* image = nullptr;  // ARGB32, premultiplied
  int pixelWidth = 0;
  int pixelHeight = 0;
  static constexpr double kScale = 2;  // pixels per point
};

// Null when the label could not be drawn; the mask then goes without a label.
const MaskLabelAsset* maskLabelAsset(MaskLabel label);

}  // namespace corvane::verification
