#pragma once

namespace corvane::menubar {

// A colour of the tray popover: one of the application's palette colours or a desktop colour,
// at an opacity. The view turns it into a real colour (the desktop ones from its theme).
struct PopoverColor {
  enum class Name {
    privacyGreen,
    privacyGreenDark,
    warningAmber,
    criticalRed,
    systemGray,
    systemRed,
    secondaryLabel,
    white,
    black,
  };

  Name name = Name::privacyGreen;
  double opacity = 1;

  static constexpr PopoverColor of(Name name, double opacity = 1) { return {name, opacity}; }
  bool operator==(const PopoverColor&) const = default;
};

}  // namespace corvane::menubar
