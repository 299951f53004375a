#pragma once

#include <memory>

#include "platform/permissions.h"
#include "platform/screen_capture.h"
#include "platform/screens.h"
#include "platform/workspace.h"

namespace corvane::platform {

// The desktop the application runs on: one value holding every desktop service, built once by
// the composition root (the X session) or handed out by the simulated desktop in tests. Owners
// keep the pieces they need; nothing else reaches for a desktop service.
struct Desktop {
  std::shared_ptr<ScreenCapture> capture;
  std::shared_ptr<Screens> screens;
  std::shared_ptr<Workspace> workspace;
  std::shared_ptr<Permissions> permissions;
  std::shared_ptr<CursorSource> cursorSource;
  std::shared_ptr<InputIdleness> inputIdleness;

  // Every service is present.
  bool isComplete() const {
    return capture && screens && workspace && permissions && cursorSource && inputIdleness;
  }
};

}  // namespace corvane::platform
