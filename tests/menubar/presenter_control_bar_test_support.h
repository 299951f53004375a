#pragma once

#include <memory>
#include <string>
#include <vector>

#include "menubar/counting_defaults.h"
#include "menubar/presenter_control_bar_manager.h"
#include "model/in_memory_defaults_store.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_window_system.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::menubar::testing {

inline platform::Screen screen(std::uint32_t id, platform::Rect frame, platform::Rect visible,
                               bool isMain) {
  platform::Screen s;
  s.displayID = id;
  s.name = "Display " + std::to_string(id);
  s.frame = frame;
  s.visibleFrame = visible;
  s.isMain = isMain;
  return s;
}

// The main display, 1920×1080 with a 32-point top panel, and a second display to its right whose
// origin is offset (1920, 200) and whose height differs: 1280×720 with a 40-point dock below.
inline platform::Screen mainScreen() {
  return screen(1, {{0, 0}, {1920, 1080}}, {{0, 32}, {1920, 1048}}, true);
}
inline platform::Screen secondScreen() {
  return screen(2, {{1920, 200}, {1280, 720}}, {{1920, 200}, {1280, 680}}, false);
}

struct BarFixture {
  BarFixture()
      : windows(std::make_shared<platform::sim::SimWindowSystem>(
            std::vector<platform::Screen>{mainScreen(), secondScreen()})),
        desktop(platform::sim::SimDesktop::make()),
        defaults(std::make_shared<CountingDefaultsSuite>()) {}

  std::shared_ptr<PresenterControlBarManager> makeManager() {
    return std::make_shared<PresenterControlBarManager>(windows, desktop, defaults, nullptr);
  }

  platform::sim::SimWindow& panel(const PresenterControlBarManager& manager) {
    return static_cast<platform::sim::SimWindow&>(*manager.panel());
  }

  // The frontmost application with windows at these frames.
  void frontmostWindows(const std::vector<platform::Rect>& frames) {
    const auto pid = desktop->launchApplication({"org.example.Editor", "Editor"}).value();
    for (const auto& frame : frames) {
      ASSERT_TRUE(desktop->addWindow(pid, platform::sim::SimWindowSpec{frame}).ok());
    }
    ASSERT_TRUE(desktop->activate(pid));
  }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<platform::sim::SimWindowSystem> windows;
  std::shared_ptr<platform::sim::SimDesktop> desktop;
  std::shared_ptr<CountingDefaultsSuite> defaults;
};

}  // namespace corvane::menubar::testing
