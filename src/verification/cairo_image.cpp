#include "verification/cairo_image.h"

#include <algorithm>
#include <cmath>

namespace corvane::verification {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "Cairo's ARGB32 matches BGRA bytes only on little-endian machines");

CairoImage::CairoImage(platform::PixelBuffer& buffer) {
  if (buffer.width() < 1 || buffer.height() < 1 ||
      cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, buffer.width()) != buffer.bytesPerRow())
    return;
  surface_ =
      cairo_image_surface_create_for_data(buffer.mutableData(), CAIRO_FORMAT_ARGB32, buffer.width(),
                                          buffer.height(), buffer.bytesPerRow());
  context_ = cairo_create(surface_);
}

CairoImage::~CairoImage() {
  if (context_) cairo_destroy(context_);
  if (surface_) {
    cairo_surface_flush(surface_);
    cairo_surface_destroy(surface_);
  }
}

bool CairoImage::isValid() const {
  return context_ && cairo_status(context_) == CAIRO_STATUS_SUCCESS &&
         cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS;
}

void addRoundedRectangle(cairo_t* context, double x, double y, double width, double height,
                         double radius) {
  const double r = std::clamp(radius, 0.0, std::min(width, height) / 2);
  cairo_new_sub_path(context);
  cairo_arc(context, x + width - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(context, x + width - r, y + height - r, r, 0, M_PI / 2);
  cairo_arc(context, x + r, y + height - r, r, M_PI / 2, M_PI);
  cairo_arc(context, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(context);
}

}  // namespace corvane::verification
