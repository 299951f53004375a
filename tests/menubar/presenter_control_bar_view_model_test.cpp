#include <gtest/gtest.h>

#include "menubar/presenter_control_bar_view_model.h"

namespace corvane::menubar {
namespace {

using model::Palette;
using Live = PresenterControlBarMode::ProtectedShareLive;
using Style = PresenterControlBarTextStyle;

PresenterControlBarMode live(bool paused, bool holding, bool switching, bool recovery) {
  return PresenterControlBarMode::protectedShareLive(
      Live{0, 2, paused, holding, switching, recovery, "Vault"});
}

// Every preview slot set, preview shown and fitted.
PresenterControlBarViewInput allSlots(PresenterControlBarMode mode) {
  PresenterControlBarViewInput input;
  input.mode = std::move(mode);
  input.hasPreviewVisibilityAction = true;
  input.hasFitPreviewAction = true;
  input.hasActualSizePreviewAction = true;
  input.hasMovePreviewAction = true;
  return input;
}

struct StatusRow {
  const char* name;
  PresenterControlBarMode mode;
  std::string symbol;
  model::Color tint;
  Style subtitle;
  std::string word;
  PresenterControlBarControl secondary;
};

TEST(PresenterControlBarViewModelTest, StatusSymbolTintSubtitleWordAndSecondaryControl) {
  const PresenterControlBarControl none{};
  const PresenterControlBarControl retry{true, "arrow.clockwise", "",
                                         "Retry active desktop update"};
  const PresenterControlBarControl resume{true, "play.fill", "", "Resume protected output"};
  const PresenterControlBarControl pause{true, "pause.fill", "", "Pause on the current frame"};
  const StatusRow rows[] = {
      {"preparing", PresenterControlBarMode::preparing(), "rectangle.dashed.badge.record",
       Palette::privacyGreen(), Style::secondary, "Preparing", none},
      {"sealed", PresenterControlBarMode::sourceSealed(), "lock.shield.fill",
       Palette::warningAmber(), Style::secondary, "Attention", none},
      {"recovery while switching", live(true, true, true, true), "exclamationmark.triangle.fill",
       Palette::warningAmber(), Style::warningAmber, "Retry update", retry},
      {"recovery only", live(false, false, false, true), "exclamationmark.triangle.fill",
       Palette::privacyGreen(), Style::secondary, "Retry update", retry},
      {"switching", live(true, false, true, false), "arrow.left.and.right.circle.fill",
       Palette::warningAmber(), Style::warningAmber, "Switching", none},
      {"paused and holding", live(true, true, false, false), "checkmark.shield.fill",
       Palette::privacyGreen(), Style::warningAmber, "Paused", resume},
      {"paused", live(true, false, false, false), "checkmark.shield.fill", Palette::privacyGreen(),
       Style::secondary, "Paused", resume},
      {"holding", live(false, true, false, false), "checkmark.shield.fill", Palette::privacyGreen(),
       Style::warningAmber, "Excluded", pause},
      {"live", live(false, false, false, false), "checkmark.shield.fill", Palette::privacyGreen(),
       Style::secondary, "Live", pause},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const PresenterControlBarViewModel model(allSlots(row.mode));
    EXPECT_EQ(model.statusSymbol(), row.symbol);
    EXPECT_EQ(model.statusTint(), row.tint);
    EXPECT_EQ(model.subtitleStyle(), row.subtitle);
    EXPECT_EQ(model.statusWord(), row.word);
    EXPECT_EQ(model.secondaryControl(), row.secondary);
    // The collapse, expand and stop controls are in every mode.
    EXPECT_TRUE(model.collapseControl().isShown);
    EXPECT_TRUE(model.expandControl().isShown);
    EXPECT_TRUE(model.primaryControl().isShown);
    EXPECT_TRUE(model.compactStopControl().isShown);
    EXPECT_EQ(model.compactStopControl().systemImage, model.primaryControl().systemImage);
    EXPECT_EQ(model.compactStopControl().help, model.primaryControl().help);
  }
}

TEST(PresenterControlBarViewModelTest, PrimaryControlCancelsWhilePreparingAndStopsOtherwise) {
  const PresenterControlBarControl cancel{true, "xmark", "Cancel", "Cancel"};
  const PresenterControlBarControl stopSealed{true, "arrow.counterclockwise", "Stop", "Stop"};
  const PresenterControlBarControl stopLive{true, "stop.fill", "Stop", "Stop"};
  EXPECT_EQ(
      PresenterControlBarViewModel(allSlots(PresenterControlBarMode::preparing())).primaryControl(),
      cancel);
  EXPECT_EQ(PresenterControlBarViewModel(allSlots(PresenterControlBarMode::sourceSealed()))
                .primaryControl(),
            stopSealed);
  EXPECT_EQ(PresenterControlBarViewModel(allSlots(live(true, true, true, true))).primaryControl(),
            stopLive);
}

TEST(PresenterControlBarViewModelTest, PreviewControlsOnlyLiveWithTheirSlotsAndAShownPreview) {
  // Not live: none of the preview controls, whatever the slots hold.
  for (const auto& mode :
       {PresenterControlBarMode::preparing(), PresenterControlBarMode::sourceSealed()}) {
    const PresenterControlBarViewModel model(allSlots(mode));
    EXPECT_FALSE(model.previewSizeMenu().isShown);
    EXPECT_FALSE(model.movePreviewControl().isShown);
    EXPECT_FALSE(model.previewVisibilityControl().isShown);
  }

  auto input = allSlots(live(false, false, false, false));
  PresenterControlBarViewModel shown(input);
  EXPECT_TRUE(shown.previewSizeMenu().isShown);
  EXPECT_EQ(shown.previewSizeMenu().title, "Fit");
  EXPECT_EQ(shown.previewSizeMenu().help, "Preview size, fit");
  EXPECT_EQ(shown.movePreviewControl(),
            (PresenterControlBarControl{true, "arrow.up.and.down.and.arrow.left.and.right", "",
                                        "Move Preview"}));
  EXPECT_EQ(shown.previewVisibilityControl(),
            (PresenterControlBarControl{true, "eye.slash", "", "Hide Preview"}));

  // A hidden preview leaves only its Show control.
  input.isPreviewHidden = true;
  PresenterControlBarViewModel hidden(input);
  EXPECT_FALSE(hidden.previewSizeMenu().isShown);
  EXPECT_FALSE(hidden.movePreviewControl().isShown);
  EXPECT_EQ(hidden.previewVisibilityControl(),
            (PresenterControlBarControl{true, "eye", "", "Show Preview"}));

  // Actual size shows in the menu's label and accessibility label only.
  input.isPreviewHidden = false;
  input.isPreviewActualSize = true;
  PresenterControlBarViewModel actual(input);
  EXPECT_EQ(actual.previewSizeMenu().title, "100%");
  EXPECT_EQ(actual.previewSizeMenu().help, "Preview size, actual size");
  const std::vector<PresenterControlBarMenuItem> items{{"Fit Preview", "viewfinder"},
                                                       {"Actual Size (100%)", "1.magnifyingglass"}};
  EXPECT_EQ(actual.previewSizeMenuItems(), items);

  // With one of the two sizing slots, no menu at all; an empty slot leaves its control out.
  input.hasActualSizePreviewAction = false;
  input.hasMovePreviewAction = false;
  input.hasPreviewVisibilityAction = false;
  PresenterControlBarViewModel partial(input);
  EXPECT_FALSE(partial.previewSizeMenu().isShown);
  EXPECT_FALSE(partial.movePreviewControl().isShown);
  EXPECT_FALSE(partial.previewVisibilityControl().isShown);
  // The secondary control does not depend on its slot.
  EXPECT_TRUE(partial.secondaryControl().isShown);
}

}  // namespace
}  // namespace corvane::menubar
