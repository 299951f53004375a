#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "platform/sim/sim_window_system.h"
#include "verification/source_redaction_overlay_content.h"

namespace corvane::verification::testing {

// Draws a layout the way the overlay view does, coarsely: the fill, a lighter border, the lock's
// body in the accent and labels as light blocks; transparent elsewhere.
class DrawnMasks final : public platform::sim::SimDrawableContent {
 public:
  platform::SharedPixelBuffer render(platform::Size size) const override {
    auto image = std::make_shared<platform::PixelBuffer>(static_cast<int>(size.width),
                                                         static_cast<int>(size.height));
    image->fill(0);
    for (const auto& mask : layout.masks) {
      paint(*image, mask.rect, 0xff484a49);
      paint(*image,
            {{mask.rect.minX() + 1, mask.rect.minY() + 1},
             {mask.rect.width() - 2, mask.rect.height() - 2}},
            0xff202322);
      if (!mask.content) continue;
      const platform::Rect& lock = mask.content->symbolRect;
      const double s = lock.width();
      paint(*image,
            {{lock.minX() + s * 5.5 / 24, lock.minY() + s * 10.5 / 24}, {s * 13 / 24, s * 10 / 24}},
            0xff14be6a);
      if (mask.content->text) paint(*image, mask.content->textRect, 0xffdadada);
    }
    return image;
  }
  static void paint(platform::PixelBuffer& image, const platform::Rect& r, std::uint32_t argb) {
    for (int y = std::max(0, static_cast<int>(std::round(r.minY())));
         y < std::min(image.height(), static_cast<int>(std::round(r.maxY()))); ++y)
      for (int x = std::max(0, static_cast<int>(std::round(r.minX())));
           x < std::min(image.width(), static_cast<int>(std::round(r.maxX()))); ++x)
        image.setPixel(x, y, argb);
  }
  SourceMaskLayout layout;
};

class FakeContent final : public SourceRedactionOverlayContent {
 public:
  std::shared_ptr<platform::ContentView> contentView() const override { return view; }
  void setLayout(SourceMaskLayout layout) override {
    view->layout = std::move(layout);
    ++layouts;
  }
  platform::Size measureLabel(const std::string& text, double fontSize) const override {
    return {static_cast<double>(text.size()) * fontSize * 0.5, fontSize * 1.2};
  }
  std::shared_ptr<DrawnMasks> view = std::make_shared<DrawnMasks>();
  int layouts = 0;
};

// An overlay content for the simulated window system: what it is given to draw is drawn into the
// simulated desktop's captures.
inline SourceRedactionOverlayContentFactory drawnMasksFactory() {
  return [] { return std::make_shared<FakeContent>(); };
}

}  // namespace corvane::verification::testing
