#include "verification/analysis_image_preparation.h"

#include <algorithm>
#include <cmath>

#include <cairo.h>

namespace corvane::verification {
namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

// Cairo's view of a buffer's bytes; it only reads through a source surface.
Surface surfaceOver(const platform::PixelBuffer& image) {
  Surface surface(cairo_image_surface_create_for_data(const_cast<unsigned char*>(image.data()),
                                                      CAIRO_FORMAT_ARGB32, image.width(),
                                                      image.height(), image.bytesPerRow()));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return surface;
}

}  // namespace

std::shared_ptr<platform::PixelBuffer> scaledImage(const platform::PixelBuffer& image,
                                                   PixelRect source, int width, int height) {
  if (width < 1 || height < 1 || source.width < 1 || source.height < 1) return nullptr;
  auto scaled = std::make_shared<platform::PixelBuffer>(width, height);
  Surface from = surfaceOver(image);
  Surface to = surfaceOver(*scaled);
  if (!from || !to) return nullptr;
  Context context(cairo_create(to.get()));
  cairo_scale(context.get(), static_cast<double>(width) / source.width,
              static_cast<double>(height) / source.height);
  cairo_set_source_surface(context.get(), from.get(), -source.x, -source.y);
  cairo_pattern_set_filter(cairo_get_source(context.get()), CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(cairo_get_source(context.get()), CAIRO_EXTEND_PAD);
  cairo_set_operator(context.get(), CAIRO_OPERATOR_SOURCE);
  cairo_rectangle(context.get(), 0, 0, source.width, source.height);
  cairo_fill(context.get());
  if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_surface_flush(to.get());
  return scaled;
}

platform::SharedPixelBuffer visionOptimizedImage(platform::SharedPixelBuffer image,
                                                 int maximumDimension) {
  if (!image) return image;
  const int longest = std::max(image->width(), image->height());
  if (maximumDimension < 1 || maximumDimension >= longest) return image;
  const double scale = static_cast<double>(maximumDimension) / longest;
  const int width = std::max(1, static_cast<int>(std::lround(image->width() * scale)));
  const int height = std::max(1, static_cast<int>(std::lround(image->height() * scale)));
  auto scaled = scaledImage(*image, {0, 0, image->width(), image->height()}, width, height);
  if (!scaled) return image;
  return scaled;
}

}  // namespace corvane::verification
