#pragma once

#include <string>
#include <vector>

#include "menubar/presenter_control_bar_mode.h"
#include "model/palette.h"

namespace corvane::menubar {

class PresenterControlBarState;

// Everything the bar's view shows, taken together at one moment: the published fields and which
// of the preview slots are set (the other slots never change what is drawn).
struct PresenterControlBarViewInput {
  PresenterControlBarMode mode;
  bool isCollapsed = false;
  bool isPreviewHidden = false;
  bool isPreviewActualSize = false;
  bool hasPreviewVisibilityAction = false;
  bool hasFitPreviewAction = false;
  bool hasActualSizePreviewAction = false;
  bool hasMovePreviewAction = false;

  static PresenterControlBarViewInput from(const PresenterControlBarState& state);
};

// How a text is coloured: the default text colour, the secondary style, or the amber warning.
enum class PresenterControlBarTextStyle { primary, secondary, warningAmber };

// One control of the bar: whether it is drawn, its symbol and its title (empty for icon
// buttons), and the text that is both its hover help and its accessibility label.
struct PresenterControlBarControl {
  bool isShown = false;
  std::string systemImage;
  std::string title;
  std::string help;

  bool operator==(const PresenterControlBarControl&) const = default;
};

// One item of the preview size menu.
struct PresenterControlBarMenuItem {
  std::string title;
  std::string systemImage;
  bool operator==(const PresenterControlBarMenuItem&) const = default;
};

// The bar's texts, symbols, tints and visible controls: pure functions of the input. The first
// matching row of each table wins.
class PresenterControlBarViewModel {
 public:
  explicit PresenterControlBarViewModel(PresenterControlBarViewInput input)
      : input_(std::move(input)) {}

  bool isCollapsed() const { return input_.isCollapsed; }

  // Both layouts.
  std::string statusSymbol() const;
  model::Color statusTint() const;
  PresenterControlBarControl primaryControl() const;

  // The expanded layout, left to right: grip, status symbol, the three texts, the size menu,
  // Move Preview, Show/Hide Preview, the secondary control, collapse, the primary control.
  std::string title() const { return input_.mode.title(); }
  std::string subtitle() const { return input_.mode.subtitle(); }
  std::string statusSummary() const { return input_.mode.statusSummary(); }
  PresenterControlBarTextStyle subtitleStyle() const;
  PresenterControlBarControl previewSizeMenu() const;
  std::vector<PresenterControlBarMenuItem> previewSizeMenuItems() const;
  PresenterControlBarControl movePreviewControl() const;
  PresenterControlBarControl previewVisibilityControl() const;
  PresenterControlBarControl secondaryControl() const;
  PresenterControlBarControl collapseControl() const;

  // The collapsed layout: status symbol, status word, expand, compact stop; the context menu
  // holds "Move to next corner".
  std::string statusWord() const;
  PresenterControlBarControl expandControl() const;
  PresenterControlBarControl compactStopControl() const;
  static constexpr const char* moveToNextCornerTitle = "Move to next corner";

  static constexpr const char* accessibilityLabel = "Protected Share controls";
  static constexpr const char* gripSymbol = "line.3.horizontal";

 private:
  bool showsPreviewControls() const;

  PresenterControlBarViewInput input_;
};

}  // namespace corvane::menubar
