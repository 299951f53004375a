#include <gtest/gtest.h>

#include "share_window/canvas_layout.h"
#include "share_window/keyboard_command.h"
#include "share_window/protected_share_window_view_model.h"

namespace corvane::share_window {
namespace {

using platform::Rect;
using platform::Size;
using P = ProtectedSharePresentation;
using S = ProtectedShareWindowStatus;

ProtectedShareWindowViewModel model(P presentation, S status,
                                    DirectShareTestState test = DirectShareTestState::idle()) {
  ProtectedShareWindowViewInput input;
  input.presentation = presentation;
  input.accessory.status = status;
  input.directShareTestState = test;
  return ProtectedShareWindowViewModel(input);
}

TEST(ProtectedShareWindowViewModelTest, OnlyLivePresentationsDrawTheOutput) {
  EXPECT_FALSE(model(P::none, S::off).drawsOutput());
  EXPECT_FALSE(model(P::preview, S::off).drawsOutput());
  EXPECT_FALSE(model(P::sessionWaiting, S::waitingForFirstFrame).drawsOutput());
  EXPECT_TRUE(model(P::live, S::live).drawsOutput());
  EXPECT_TRUE(model(P::liveHidden, S::live).drawsOutput());
  EXPECT_EQ(model(P::sessionWaiting, S::waitingForFirstFrame).placeholderTitle(),
            "Waiting for the first filtered frame");
  EXPECT_EQ(model(P::preview, S::off).placeholderTitle(), "Protected Share is off");
}

TEST(ProtectedShareWindowViewModelTest, StatusLineTexts) {
  struct Row {
    S status;
    const char* title;
    const char* symbol;
    StatusColor color;
  };
  const Row rows[] = {
      {S::live, "Live", "checkmark.shield.fill", StatusColor::privacyGreen},
      {S::paused, "Paused on the current frame", "pause.fill", StatusColor::warningAmber},
      {S::holding, "Holding the last safe frame", "lock.shield.fill", StatusColor::warningAmber},
      {S::switchingDesktop, "Switching desktop; holding the current frame",
       "arrow.left.and.right.circle.fill", StatusColor::warningAmber},
      {S::recordingMustRestart, "The screen size changed: restart the recording of this window",
       "exclamationmark.triangle.fill", StatusColor::warningAmber},
      {S::failed, "Protected Share stopped", "xmark.circle.fill", StatusColor::criticalRed},
      {S::off, "Protected Share off", "shield", StatusColor::secondary},
  };
  for (const auto& row : rows) {
    auto vm = model(P::live, row.status);
    EXPECT_EQ(vm.statusTitle(), row.title);
    EXPECT_EQ(vm.statusSymbol(), row.symbol);
    EXPECT_EQ(vm.statusColor(), row.color);
  }
}

TEST(ProtectedShareWindowViewModelTest, ControlsFollowThePresentation) {
  auto preview = model(P::preview, S::off);
  EXPECT_EQ(preview.primaryButton().title, "Start Protected Share");
  EXPECT_EQ(preview.primaryTint(), StatusColor::privacyGreen);
  EXPECT_FALSE(preview.fitButton().isVisible);
  EXPECT_FALSE(preview.hideButton().isVisible);

  auto waiting = model(P::sessionWaiting, S::waitingForFirstFrame);
  EXPECT_EQ(waiting.primaryButton().title, "Stop");
  EXPECT_EQ(waiting.primaryTint(), StatusColor::criticalRed);
  EXPECT_TRUE(waiting.primaryButton().isEnabled);
  EXPECT_FALSE(waiting.fitButton().isEnabled);
  EXPECT_FALSE(waiting.hideButton().isEnabled);
  EXPECT_FALSE(waiting.pauseButton().isEnabled);

  auto live = model(P::live, S::live);
  EXPECT_TRUE(live.fitButton().isEnabled);
  EXPECT_TRUE(live.fitButton().isSelected);
  EXPECT_FALSE(live.actualSizeButton().isSelected);
  EXPECT_TRUE(live.hideButton().isEnabled);
  EXPECT_EQ(live.pauseButton().title, "Pause");
  EXPECT_EQ(model(P::live, S::paused).pauseButton().systemImage, "play.fill");
  EXPECT_FALSE(model(P::live, S::switchingDesktop).pauseButton().isEnabled);
  EXPECT_FALSE(model(P::live, S::failed).hideButton().isEnabled);
  EXPECT_FALSE(model(P::liveHidden, S::live).hideButton().isEnabled);
  EXPECT_FALSE(model(P::live, S::live,
                     DirectShareTestState::withGeneration(DirectShareTestState::Kind::accepted, 1))
                   .hideButton()
                   .isEnabled);
}

TEST(ProtectedShareWindowViewModelTest, ResolutionPrefersTheMeasuredOutput) {
  ProtectedShareWindowViewInput input;
  input.presentation = P::live;
  EXPECT_EQ(ProtectedShareWindowViewModel(input).resolutionText(), "");
  input.viewport.pixelSize = {1920, 1080};
  EXPECT_EQ(ProtectedShareWindowViewModel(input).resolutionText(), "1920 \xC3\x97 1080");
  input.accessory.resolution = {2560, 1440};
  EXPECT_EQ(ProtectedShareWindowViewModel(input).resolutionText(), "2560 \xC3\x97 1440");
}

TEST(KeyboardCommandTest, SixDistinctShortcutsMapBackToTheirCommands) {
  for (auto command : kAllKeyboardCommands) {
    auto back = commandForShortcut(shortcutFor(command));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, command);
  }
  EXPECT_EQ(shortcutFor(ProtectedShareKeyboardCommand::stop), (KeyboardShortcut{true, true, "S"}));
  EXPECT_FALSE(commandForShortcut({false, true, "S"}).has_value());
  EXPECT_FALSE(commandForShortcut({true, true, "9"}).has_value());
}

void expectNear(const Rect& a, const Rect& b) {
  EXPECT_NEAR(a.minX(), b.minX(), 1e-6);
  EXPECT_NEAR(a.minY(), b.minY(), 1e-6);
  EXPECT_NEAR(a.width(), b.width(), 1e-6);
  EXPECT_NEAR(a.height(), b.height(), 1e-6);
}

TEST(CanvasLayoutTest, FitLetterboxesAndActualSizeHonoursDevicePixels) {
  ProtectedShareViewportState fit;
  expectNear(outputImageRect({1000, 1000}, {1920, 1080}, fit, 1.0),
             Rect{{0, 218.75}, {1000, 562.5}});
  ProtectedShareViewportState actual{ProtectedShareSizingMode::actual, {1920, 1080}, 1};
  EXPECT_EQ(outputImageRect({1200, 800}, {1920, 1080}, actual, 2.0),
            (Rect{{120, 130}, {960, 540}}));
  // Larger than the view: shrunk like fit.
  EXPECT_EQ(outputImageRect({960, 540}, {1920, 1080}, actual, 1.0), (Rect{{0, 0}, {960, 540}}));
  EXPECT_TRUE(outputImageRect({0, 0}, {1920, 1080}, fit, 1.0).isEmpty());
}

TEST(CanvasLayoutTest, CursorFollowsTheImageAndItsHotSpot) {
  capture::ProtectedCursorState cursor;
  EXPECT_FALSE(outputCursorRect({{0, 0}, {960, 540}}, cursor).has_value());
  cursor.image = std::make_shared<platform::PixelBuffer>(32, 32);
  cursor.pointSize = {32, 32};
  cursor.normalizedHotSpot = {0.25, 0.5};
  cursor.normalizedPosition = platform::Point{0.5, 0.5};
  cursor.sourceDisplaySize = Size{1920, 1080};
  auto rect = outputCursorRect({{100, 50}, {960, 540}}, cursor);
  ASSERT_TRUE(rect.has_value());
  EXPECT_EQ(rect->size, (Size{16, 16}));
  EXPECT_DOUBLE_EQ(rect->minX(), 100 + 480 - 4);
  EXPECT_DOUBLE_EQ(rect->minY(), 50 + 270 - 8);
  cursor.normalizedPosition = platform::Point{1.2, 0.5};
  EXPECT_FALSE(outputCursorRect({{100, 50}, {960, 540}}, cursor).has_value());
}

}  // namespace
}  // namespace corvane::share_window
