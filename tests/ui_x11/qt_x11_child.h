#pragma once

// Include after every Qt header: Xlib's macros clash with Qt's names.
#include <QtGui/qwindowdefs.h>

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main/qt_x11_display.h"
#include "platform/x11/x11_window_states.h"
#include "support/x11/xvfb_server.h"
#include "ui/qt_test_support.h"

namespace corvane::ui::testing {

// What the X server holds for a Qt window, read on Qt's own connection.
inline bool isX11Session() {
  return wiring::qtX11Display() != nullptr;
}
inline bool isViewableOnX11(WId window) {
  Display* display = wiring::qtX11Display();
  return display != nullptr && platform::x11::isViewable(display, static_cast<Window>(window));
}
inline std::vector<std::string> netWmStatesOnX11(WId window) {
  Display* display = wiring::qtX11Display();
  if (display == nullptr) return {};
  return platform::x11::netWmStateNames(display, static_cast<Window>(window));
}
inline std::optional<unsigned long> desktopOnX11(WId window) {
  Display* display = wiring::qtX11Display();
  if (display == nullptr) return std::nullopt;
  return platform::x11::windowDesktop(display, static_cast<Window>(window));
}

// Runs the tests matching `childFilter` of this executable in a child process on Qt's xcb
// platform on `server` (the rest of the suite keeps its own platform), with `childVariable` set
// so they know to run, and `extraEnvironment` ("NAME=value"); true when they all passed.
// (Any of the test servers: Xvfb, Xorg with its dummy driver.)
template <class Server>
bool runQtChildOn(const Server& server, const std::string& childFilter, const char* childVariable,
                  std::vector<std::string> extraEnvironment = {}) {
  extraEnvironment.push_back("QT_QPA_PLATFORM=xcb");
  extraEnvironment.push_back("DISPLAY=" + server.name());
  extraEnvironment.push_back(std::string(childVariable) + "=1");
  const pid_t child = corvane::testing::spawnProgram(
      {"/proc/self/exe", "--gtest_filter=" + childFilter}, extraEnvironment);
  if (child <= 0) return false;
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The fixture of tests that run only in such a child: Qt starts on the private server's DISPLAY.
template <const char* const* ChildVariable>
class QtX11ChildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv(*ChildVariable) == nullptr) GTEST_SKIP() << "runs only under its own Xvfb";
    // Only now, on the private server: Qt's xcb platform needs its DISPLAY.
    qt_ = std::make_unique<QtRuntimeFixture>();
  }
  bool processUntil(const std::function<bool()>& done,
                    double seconds = corvane::testing::kPatientWaitSeconds) {
    return qt_->processUntil(done, seconds);
  }
  void processFor(int milliseconds) { qt_->processFor(milliseconds); }

  std::unique_ptr<QtRuntimeFixture> qt_;
};

}  // namespace corvane::ui::testing
