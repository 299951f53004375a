#pragma once

#include <array>

#include "model/palette.h"

namespace corvane::app {

// One token of the shield: a short label with its symbol.
struct SourceGuardToken {
  const char* title;
  const char* systemImage;
};

// The shield's fixed texts, symbols and colours, top to bottom. The display name between the
// title and the message is the guarded display's, shown as it is.
struct SourceGuardViewModel {
  static constexpr const char* badgeSymbol = "rectangle.stack.badge.minus";
  static constexpr const char* title = "Protected Share Interrupted";
  static constexpr const char* message = "Stop this session before trying again.";
  static constexpr std::array<SourceGuardToken, 3> tokens{{
      {"Output Not Live", "exclamationmark.triangle.fill"},
      {"Check Share Target", "rectangle.on.rectangle.angled"},
      {"Local Session", "lock.shield.fill"},
  }};
  static constexpr const char* stopTitle = "Stop Protected Share";
  static constexpr const char* stopSymbol = "stop.fill";
  static constexpr const char* stopAccessibilityHint = "Stops the current Protected Share session";

  // The background runs from the top-left corner to the bottom-right one.
  static constexpr model::Color backgroundStart{0.012, 0.018, 0.02, 1};
  static constexpr model::Color backgroundEnd{0.03, 0.044, 0.044, 1};
  static constexpr double badgeFillOpacity = 0.13;
  static constexpr double messageOpacity = 0.68;
  static constexpr double tokenTextOpacity = 0.82;
  static constexpr double tokenFillOpacity = 0.08;
  static constexpr double tokenStrokeOpacity = 0.14;
};

}  // namespace corvane::app
