#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/screen_capture.h"
#include "platform/x11/x_connection.h"

namespace corvane::platform::x11 {

// The pointer's image (XFixes), hot spot and position, for the engine's own cursor. Holds a
// connection of its own; the calls may come from any thread and take turns on it.
class X11CursorSource final : public CursorSource {
 public:
  static runtime::Result<std::shared_ptr<X11CursorSource>> open(
      const std::string& displayName = {});

  std::optional<Point> cursorPosition() const override;
  CursorImage currentCursorImage() const override;

 private:
  explicit X11CursorSource(std::unique_ptr<XConnection> connection);

  mutable std::mutex mutex_;
  std::unique_ptr<XConnection> connection_;
  mutable CursorImage cached_;
};

}  // namespace corvane::platform::x11
