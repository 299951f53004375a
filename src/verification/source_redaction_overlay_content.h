#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/geometry.h"
#include "platform/window_system.h"
#include "verification/source_mask_layout.h"

namespace corvane::verification {

// What the overlay panel hosts: a view that draws a mask layout and measures its labels in the
// font it draws them with. The Qt widget in the app; a recording twin in tests.
class SourceRedactionOverlayContent {
 public:
  virtual ~SourceRedactionOverlayContent() = default;
  // The view to put in the panel.
  virtual std::shared_ptr<platform::ContentView> contentView() const = 0;
  // Draws `layout` from the next redraw on.
  virtual void setLayout(SourceMaskLayout layout) = 0;
  virtual platform::Size measureLabel(const std::string& text, double fontSize) const = 0;
};

using SourceRedactionOverlayContentFactory =
    std::function<std::shared_ptr<SourceRedactionOverlayContent>()>;

}  // namespace corvane::verification
