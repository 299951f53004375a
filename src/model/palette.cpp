#include "model/palette.h"

#include <mutex>

namespace corvane::model {
namespace {

// Light-theme values, used until the UI installs its theme (and in headless runs).
class BuiltInTheme final : public PaletteTheme {
 public:
  Color controlBackground() const override { return {1.0, 1.0, 1.0, 1}; }
  Color separator() const override { return {0.0, 0.0, 0.0, 0.1}; }
  Color windowBackground() const override { return {0.93, 0.93, 0.93, 1}; }
};

struct ThemeSlot {
  std::mutex mutex;
  std::shared_ptr<const PaletteTheme> theme;
};

ThemeSlot& themeSlot() {
  static ThemeSlot slot;
  return slot;
}

std::shared_ptr<const PaletteTheme> currentTheme() {
  static const auto builtIn = std::make_shared<BuiltInTheme>();
  auto& slot = themeSlot();
  std::lock_guard lock(slot.mutex);
  if (slot.theme) return slot.theme;
  return builtIn;
}

}  // namespace

std::shared_ptr<const PaletteTheme> installPaletteTheme(std::shared_ptr<const PaletteTheme> theme) {
  auto& slot = themeSlot();
  std::lock_guard lock(slot.mutex);
  auto previous = std::move(slot.theme);
  slot.theme = std::move(theme);
  return previous;
}

Color Palette::panelSurface() {
  return currentTheme()->controlBackground();
}

Color Palette::panelBorder() {
  return currentTheme()->separator();
}

Color Palette::appBackground() {
  return currentTheme()->windowBackground();
}

}  // namespace corvane::model
