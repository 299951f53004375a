#pragma once

#include <memory>

namespace corvane::model {

// An sRGB colour with opacity, each part from 0 to 1.
struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double opacity = 1;

  Color withOpacity(double value) const { return {red, green, blue, value}; }
  bool operator==(const Color&) const = default;
};

// The three colours that follow the desktop's theme. The UI layer installs a provider that reads
// them from its toolkit; without one the palette uses a light theme's values.
class PaletteTheme {
 public:
  virtual ~PaletteTheme() = default;
  virtual Color controlBackground() const = 0;
  virtual Color separator() const = 0;
  virtual Color windowBackground() const = 0;
};

// Installs the theme provider (nullptr goes back to the built-in values); returns the previous.
std::shared_ptr<const PaletteTheme> installPaletteTheme(std::shared_ptr<const PaletteTheme> theme);

// The colours the views' texts and symbols take by name: three of the palette's fixed colours
// and the system's secondary label colour. The Qt layer maps them to its palette.
enum class StatusColor { privacyGreen, warningAmber, criticalRed, secondary };

// The application's colours.
struct Palette {
  static Color privacyGreen() { return {0.09, 0.62, 0.25, 1}; }
  static Color privacyGreenDark() { return {0.04, 0.43, 0.16, 1}; }
  static Color warningAmber() { return {0.95, 0.75, 0.12, 1}; }
  static Color criticalRed() { return {0.92, 0.18, 0.18, 1}; }
  // From the installed theme: control background, separator and window background.
  static Color panelSurface();
  static Color panelBorder();
  static Color appBackground();
};

}  // namespace corvane::model
