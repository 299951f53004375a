#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/sim/sim_window_system.h"
#include "runtime/virtual_run_loop.h"
#include "share_window/protected_share_window_manager.h"

namespace corvane::share_window::testing {

// The content the manager attaches; counts redraw requests.
class RecordingContentView final : public platform::ContentView {
 public:
  void setNeedsDisplay() override { ++redraws; }
  int redraws = 0;
};

// A controller that records what the window asked of it.
class RecordingController final : public ProtectedShareWindowController {
 public:
  std::shared_ptr<capture::ProtectedOutputSurface> protectedOutputSurface() override {
    return surface;
  }
  void handleKeyboardCommand(ProtectedShareKeyboardCommand command) override {
    commands.push_back(command);
  }
  void toggleDemoMode() override { ++toggles; }
  void stopDemoMode() override { ++stops; }
  void togglePublishingPaused() override { ++pauseToggles; }
  void requestHideProtectedShareWindowLocally() override { ++hideRequests; }
  void showProtectedShareLiveWindow() override { ++showRequests; }

  std::shared_ptr<capture::ProtectedOutputSurface> surface;
  std::vector<ProtectedShareKeyboardCommand> commands;
  int toggles = 0, stops = 0, pauseToggles = 0, hideRequests = 0, showRequests = 0;
};

inline platform::Screen makeScreen(std::uint32_t id, platform::Rect frame, bool isMain,
                                   double scale = 1.0) {
  platform::Screen screen;
  screen.displayID = id;
  screen.name = "Display " + std::to_string(id);
  screen.frame = frame;
  // A panel of 32 points along the top, like a desktop's top bar.
  screen.visibleFrame =
      platform::Rect{{frame.minX(), frame.minY() + 32}, {frame.width(), frame.height() - 32}};
  screen.backingScaleFactor = scale;
  screen.isMain = isMain;
  return screen;
}

// One 2560×1440 main display and a 1920×1080 display to its right.
struct ShareWindowFixture {
  ShareWindowFixture()
      : windows(std::make_shared<platform::sim::SimWindowSystem>(
            std::vector<platform::Screen>{makeScreen(1, {{0, 0}, {2560, 1440}}, true),
                                          makeScreen(2, {{2560, 0}, {1920, 1080}}, false)})),
        controller(std::make_shared<RecordingController>()),
        manager(std::make_shared<ProtectedShareWindowManager>(
            windows,
            [this](ProtectedShareWindowManager&,
                   const std::shared_ptr<ProtectedShareWindowController>&)
                -> std::shared_ptr<platform::ContentView> {
              if (!provideContent) return nullptr;
              content = std::make_shared<RecordingContentView>();
              return content;
            })) {}

  platform::sim::SimWindow& window() {
    return static_cast<platform::sim::SimWindow&>(*manager->window());
  }

  // A live session on `display` with a 1920×1080 frame published.
  void goLive(std::optional<std::uint32_t> display = std::nullopt) {
    ASSERT_TRUE(manager->beginSession(controller, display));
    ASSERT_TRUE(manager->publishLiveFrame({1920, 1080}));
  }

  runtime::VirtualRunLoop loop;
  bool provideContent = true;
  std::shared_ptr<RecordingContentView> content;
  std::shared_ptr<platform::sim::SimWindowSystem> windows;
  std::shared_ptr<RecordingController> controller;
  std::shared_ptr<ProtectedShareWindowManager> manager;
};

}  // namespace corvane::share_window::testing
