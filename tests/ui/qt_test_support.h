#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <functional>
#include <memory>

#include "platform/sim/sim_desktop.h"
#include "runtime/runtime.h"
#include "ui/qt_main_executor.h"
#include "ui/qt_palette_theme.h"

namespace corvane::ui::testing {

// One QApplication for the whole test program, on whatever platform QT_QPA_PLATFORM names.
inline QApplication& testApplication() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    auto* created = new QApplication(argc, argv);
    installQtPaletteTheme();
    return created;
  }();
  return *app;
}

// The Qt loop as the main actor for the length of a test.
class QtRuntimeFixture {
 public:
  QtRuntimeFixture()
      : app_(testApplication()),
        executor_(std::make_unique<QtMainExecutor>()),
        runtime_(runtime::RuntimeServices{executor_.get(), runtime::threadQueueFactory()}) {}

  // Runs Qt's loop until `done` holds or `seconds` pass; true when it held.
  bool processUntil(const std::function<bool()>& done, double seconds = 5.0) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
      if (timer.elapsed() > seconds * 1000) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }
  void processFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) QApplication::processEvents(QEventLoop::AllEvents, 10);
  }

  QtMainExecutor& executor() { return *executor_; }

 private:
  QApplication& app_;
  std::unique_ptr<QtMainExecutor> executor_;
  runtime::ScopedRuntime runtime_;
};

// The desktop behind windows on Qt's offscreen platform: one 800×600 display (the size of Qt's
// offscreen screen), number 1. Needs the runtime installed (a QtRuntimeFixture).
inline std::shared_ptr<platform::sim::SimDesktop> offscreenDesktop() {
  auto desktop = platform::sim::SimDesktop::make();
  (void)desktop->addDisplay(
      platform::sim::SimDesktop::makeDisplay(1, platform::Rect{{0, 0}, {800, 600}}, 1, true));
  return desktop;
}

// How far apart two colours are, channel by channel.
inline int colourDistance(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
         std::abs(qBlue(a) - qBlue(b));
}

// Whether any pixel of the image is within `tolerance` of `colour`.
inline int countPixelsNear(const QImage& image, QRgb colour, int tolerance = 24) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  int count = 0;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) {
      if (colourDistance(line[x], colour) <= tolerance) ++count;
    }
  }
  return count;
}

}  // namespace corvane::ui::testing
