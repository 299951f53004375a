#include "platform/sim/sim_frame_checks.h"

#include "platform/sim/sim_colors.h"

namespace corvane::platform::sim {
namespace {

// Calls `visit` with the window id of every run of equal pixels that shows a window, row by row;
// stops when `visit` returns true.
template <class Visit>
bool forEachWindowRun(const PixelBuffer& frame, Visit visit) {
  for (int y = 0; y < frame.height(); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(
        frame.data() + static_cast<std::size_t>(y) * frame.bytesPerRow());
    const std::uint32_t* const end = row + frame.width();
    for (const std::uint32_t* run = row; run != end;) {
      const std::uint32_t pixel = *run;
      if (auto id = windowIdForColor(pixel); id && visit(*id)) return true;
      while (run != end && *run == pixel) ++run;
    }
  }
  return false;
}

}  // namespace

std::set<std::uint32_t> windowIdsInFrame(const PixelBuffer& frame) {
  std::set<std::uint32_t> ids;
  forEachWindowRun(frame, [&](std::uint32_t id) {
    ids.insert(id);
    return false;
  });
  return ids;
}

bool frameHasWindowPixel(const PixelBuffer& frame,
                         const std::function<bool(std::uint32_t windowID)>& matches) {
  return forEachWindowRun(frame, [&](std::uint32_t id) { return matches(id); });
}

}  // namespace corvane::platform::sim
