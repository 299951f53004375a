#pragma once

#include <cairo.h>

#include "platform/pixel_buffer.h"

namespace corvane::verification {

// A Cairo context drawing straight into a PixelBuffer's bytes: Cairo's ARGB32 keeps a pixel as
// a native-endian 0xAARRGGBB word, which on this little-endian target is our B, G, R, A byte
// order, premultiplied like our buffers.
class CairoImage {
 public:
  explicit CairoImage(platform::PixelBuffer& buffer);
  ~CairoImage();
  CairoImage(const CairoImage&) = delete;
  CairoImage& operator=(const CairoImage&) = delete;

  // False when Cairo refused the buffer (no drawing happens then).
  bool isValid() const;
  cairo_t* context() const { return context_; }

 private:
  cairo_surface_t* surface_ = nullptr;
  cairo_t* context_ = nullptr;
};

// Adds a rounded rectangle to the current path (radius clamped to half the shorter side).
void addRoundedRectangle(cairo_t* context, double x, double y, double width, double height,
                         double radius);

}  // namespace corvane::verification
