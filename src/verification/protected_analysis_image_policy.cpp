#include "verification/protected_analysis_image_policy.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "verification/normalized_geometry.h"
#include "verification/pixel_rect.h"

namespace corvane::verification {

namespace {

platform::SharedPixelBuffer crop(const platform::PixelBuffer& source, const PixelRect& rect) {
  auto image = std::make_shared<platform::PixelBuffer>(rect.width, rect.height);
  const std::size_t rowBytes = static_cast<std::size_t>(rect.width) * 4;
  for (int row = 0; row < rect.height; ++row) {
    std::memcpy(image->mutableData() + static_cast<std::size_t>(row) * image->bytesPerRow(),
                source.data() + static_cast<std::size_t>(rect.y + row) * source.bytesPerRow() +
                    static_cast<std::size_t>(rect.x) * 4,
                rowBytes);
  }
  // What shows of each window within the crop travels with it.
  if (const auto& windows = source.windowAreas()) {
    platform::WindowAreas areas;
    for (const auto& window : *windows) {
      auto& shown = areas.emplace_back();
      for (const auto& area : window) {
        const PixelRect inside =
            PixelRect{area.x, area.y, area.width, area.height}.intersection(rect);
        if (!inside.isEmpty())
          shown.push_back({inside.x - rect.x, inside.y - rect.y, inside.width, inside.height});
      }
    }
    image->setWindowAreas(std::move(areas));
  }
  return image;
}

struct PixmanImageDeleter {
  void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanImageDeleter>;

}  // namespace

std::vector<ProtectedAnalysisRegionImage> ProtectedAnalysisImagePolicy::nativeRegionImages(
    const platform::PixelBuffer& source,
    const std::vector<platform::Rect>& normalizedTopLeftRegions) {
  std::vector<ProtectedAnalysisRegionImage> images;
  if (source.width() < 1 || source.height() < 1) return images;
  for (const auto& region : normalizedTopLeftRegions) {
    const auto rect = pixelRectOfClipped(region, source.width(), source.height());
    if (!rect) continue;
    images.push_back({crop(source, *rect), region.standardized().intersection(kUnitRect), {}});
  }
  return images;
}

platform::SharedPixelBuffer ProtectedAnalysisImagePolicy::limitedToLongEdge(
    const platform::SharedPixelBuffer& source, int longEdgeLimit) {
  if (!source || source->width() < 1 || source->height() < 1 || longEdgeLimit < 1) return nullptr;
  const int longer = std::max(source->width(), source->height());
  if (longer <= longEdgeLimit) return source;
  const double factor = static_cast<double>(longEdgeLimit) / longer;
  const int width = std::max(static_cast<int>(std::lround(source->width() * factor)), 1);
  const int height = std::max(static_cast<int>(std::lround(source->height() * factor)), 1);
  auto scaled = std::make_shared<platform::PixelBuffer>(width, height);

  // pixman reads the source through a transform from destination to source pixels; it never
  // writes it.
  PixmanImage from(pixman_image_create_bits(
      PIXMAN_a8r8g8b8, source->width(), source->height(),
      reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(source->data())),
      source->bytesPerRow()));
  PixmanImage to(pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height,
                                          reinterpret_cast<std::uint32_t*>(scaled->mutableData()),
                                          scaled->bytesPerRow()));
  if (!from || !to) return nullptr;
  pixman_transform_t transform;
  pixman_transform_init_scale(
      &transform, pixman_double_to_fixed(static_cast<double>(source->width()) / width),
      pixman_double_to_fixed(static_cast<double>(source->height()) / height));
  if (!pixman_image_set_transform(from.get(), &transform)) return nullptr;
  pixman_image_set_filter(from.get(), PIXMAN_FILTER_BILINEAR, nullptr, 0);
  pixman_image_set_repeat(from.get(), PIXMAN_REPEAT_PAD);
  pixman_image_composite32(PIXMAN_OP_SRC, from.get(), nullptr, to.get(), 0, 0, 0, 0, 0, 0, width,
                           height);
  // The windows the frame shows travel with it, at its new scale: the analysis reads each apart.
  if (const auto& windows = source->windowAreas()) {
    platform::WindowAreas areas;
    for (const auto& window : *windows) {
      auto& shown = areas.emplace_back();
      for (const auto& area : window) {
        const auto rect = pixelRect(normalizedRect({area.x, area.y, area.width, area.height},
                                                   source->width(), source->height()),
                                    width, height);
        if (rect) shown.push_back({rect->x, rect->y, rect->width, rect->height});
      }
    }
    scaled->setWindowAreas(std::move(areas));
  }
  return scaled;
}

}  // namespace corvane::verification
