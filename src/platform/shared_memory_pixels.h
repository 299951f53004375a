#pragma once

#include <memory>

#include "platform/pixel_buffer.h"

namespace corvane::platform {

// A width × height buffer in a SysV shared-memory segment of its own (sharedMemory() names it),
// so the X server can read or write its pixels in place; nothing when no segment can be made.
// The segment is marked for removal at once: it goes when the last process lets go of it.
std::shared_ptr<PixelBuffer> makeSharedMemoryPixels(int width, int height);

}  // namespace corvane::platform
