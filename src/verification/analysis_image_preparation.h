#pragma once

#include <memory>

#include "platform/pixel_buffer.h"
#include "verification/pixel_rect.h"

namespace corvane::verification {

// The `source` part of `image` drawn into a new width × height image with Cairo's good filter;
// null when Cairo cannot make the surfaces.
std::shared_ptr<platform::PixelBuffer> scaledImage(const platform::PixelBuffer& image,
                                                   PixelRect source, int width, int height);

// The image that text recognition sees: the same image when its longer side is at most
// `maximumDimension` (or the limit is below 1), else a copy scaled down to fit (each side at
// least one pixel). The same image too when scaling fails.
platform::SharedPixelBuffer visionOptimizedImage(platform::SharedPixelBuffer image,
                                                 int maximumDimension);

}  // namespace corvane::verification
