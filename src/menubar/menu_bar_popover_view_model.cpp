#include "menubar/menu_bar_popover_view_model.h"

namespace corvane::menubar {

using Tables = MenuBarPopoverTables;

std::string MenuBarPopoverViewModel::headerSubtitle() const {
  return firstMatch(Tables::headerSubtitle(), input_);
}

PopoverColor MenuBarPopoverViewModel::statusColor() const {
  return firstMatch(Tables::statusColor(), input_);
}

std::string MenuBarPopoverViewModel::summaryTitle() const {
  return firstMatch(Tables::summaryTitle(), input_);
}

std::string MenuBarPopoverViewModel::summaryDetail() const {
  return firstMatch(Tables::summaryDetail(), input_).resolved(input_);
}

std::string MenuBarPopoverViewModel::summarySystemImage() const {
  return firstMatch(Tables::summarySystemImage(), input_);
}

PopoverColor MenuBarPopoverViewModel::summaryColor() const {
  return firstMatch(Tables::summaryColor(), input_);
}

int MenuBarPopoverViewModel::excludedAppsCount() const {
  return input_.isDemoModeOn ? input_.hiddenAppsCount : input_.enabledProtectedAppsCount;
}

std::string MenuBarPopoverViewModel::notInstalledAppsNote() const {
  if (input_.notInstalledAppsCount <= 0) return {};
  return " \u00b7 " + std::to_string(input_.notInstalledAppsCount) + " not installed";
}

std::string MenuBarPopoverViewModel::shareStatusValue() const {
  return firstMatch(Tables::shareStatus(), input_).title;
}

std::string MenuBarPopoverViewModel::shareStatusSystemImage() const {
  return firstMatch(Tables::shareStatus(), input_).systemImage;
}

std::string MenuBarPopoverViewModel::primaryTitle() const {
  return firstMatch(Tables::primaryLabel(), input_).title;
}

std::string MenuBarPopoverViewModel::primarySystemImage() const {
  return firstMatch(Tables::primaryLabel(), input_).systemImage;
}

std::string MenuBarPopoverViewModel::primaryDetail() const {
  return firstMatch(Tables::primaryDetail(), input_);
}

std::string MenuBarPopoverViewModel::primaryTrailingSystemImage() const {
  return firstMatch(Tables::primaryTrailingSystemImage(), input_);
}

PopoverColor MenuBarPopoverViewModel::primaryForegroundColor() const {
  return firstMatch(Tables::primaryForegroundColor(), input_);
}

std::array<PopoverColor, 2> MenuBarPopoverViewModel::primaryGradientColors() const {
  return firstMatch(Tables::primaryGradientColors(), input_);
}

bool MenuBarPopoverViewModel::isPrimaryControlEnabled() const {
  return firstMatch(Tables::primaryControl(), input_).isEnabled;
}

PrimaryClick MenuBarPopoverViewModel::primaryClick() const {
  return firstMatch(Tables::primaryControl(), input_).click;
}

bool MenuBarPopoverViewModel::isEnabled(TileEnabled enabled) const {
  switch (enabled) {
    case TileEnabled::yes:
      return true;
    case TileEnabled::no:
      return false;
    case TileEnabled::unlessOutputRetained:
      return !input_.isOutputRetained;
  }
  return false;
}

std::string MenuBarPopoverViewModel::localVisibilityActionTitle() const {
  return firstMatch(Tables::localVisibilityTile(), input_).label.title;
}

std::string MenuBarPopoverViewModel::localVisibilityActionSystemImage() const {
  return firstMatch(Tables::localVisibilityTile(), input_).label.systemImage;
}

bool MenuBarPopoverViewModel::localVisibilityActionIsEnabled() const {
  return isEnabled(firstMatch(Tables::localVisibilityTile(), input_).enabled);
}

LocalVisibilityAction MenuBarPopoverViewModel::localVisibilityAction() const {
  return firstMatch(Tables::localVisibilityTile(), input_).action;
}

std::array<PopoverTile, 2> MenuBarPopoverViewModel::standardPrimaryActions() const {
  return {PopoverTile{localVisibilityActionTitle(), localVisibilityActionSystemImage(),
                      localVisibilityActionIsEnabled()},
          PopoverTile{"Settings", "slider.horizontal.3", true}};
}

FooterPreviewItem MenuBarPopoverViewModel::footerPreviewItem() const {
  return firstMatch(Tables::footerPreviewItem(), input_);
}

bool MenuBarPopoverViewModel::isFooterPreviewItemEnabled() const {
  const auto item = footerPreviewItem();
  return item.isButton && isEnabled(item.enabled);
}

}  // namespace corvane::menubar
