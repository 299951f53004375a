#pragma once

#include <string>

#include "model/palette.h"
#include "share_window/direct_share_test_state.h"
#include "share_window/protected_share_window_manager.h"
#include "share_window/titlebar_accessory.h"
#include "share_window/viewport_state.h"

namespace corvane::share_window {

using StatusColor = model::StatusColor;

// Everything the output view shows, taken together at one moment.
struct ProtectedShareWindowViewInput {
  ProtectedSharePresentation presentation = ProtectedSharePresentation::none;
  ProtectedShareAccessoryState accessory;
  ProtectedShareViewportState viewport;
  DirectShareTestState directShareTestState;
};

struct ButtonModel {
  std::string title;
  std::string systemImage;
  bool isEnabled = false;
  bool isVisible = true;
  bool isSelected = false;
  std::string help;

  bool operator==(const ButtonModel&) const = default;
};

// The output view's texts, symbols, colours and enabled states: pure functions of the input.
class ProtectedShareWindowViewModel {
 public:
  explicit ProtectedShareWindowViewModel(ProtectedShareWindowViewInput input)
      : input_(std::move(input)) {}

  // The canvas draws the output surface only in these presentations; otherwise it draws the
  // placeholder and never a frame.
  bool drawsOutput() const;
  std::string placeholderTitle() const;
  std::string placeholderDetail() const;

  std::string statusTitle() const;
  std::string statusSymbol() const;
  StatusColor statusColor() const;
  // "1920 × 1080" once the output has a size; empty before.
  std::string resolutionText() const;

  ButtonModel fitButton() const;
  ButtonModel actualSizeButton() const;
  ButtonModel moveButton() const;
  ButtonModel pauseButton() const;
  ButtonModel hideButton() const;
  // Stop during a session; Start in the preview.
  ButtonModel primaryButton() const;
  // Red for Stop, green for Start.
  StatusColor primaryTint() const;

 private:
  bool isSession() const;
  bool isLiveVisible() const;

  ProtectedShareWindowViewInput input_;
};

}  // namespace corvane::share_window
