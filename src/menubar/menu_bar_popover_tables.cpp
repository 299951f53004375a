#include "menubar/menu_bar_popover_tables.h"

namespace corvane::menubar {

namespace {

using Input = MenuBarPopoverInput;
using Name = PopoverColor::Name;

constexpr PopoverCondition otherwise{"otherwise", [](const Input&) { return true; }};
constexpr PopoverCondition startupIncomplete{
    "isStartupInitializationComplete is false",
    [](const Input& s) { return !s.isStartupInitializationComplete; }};
constexpr PopoverCondition setupIncomplete{
    "isInitialSetupComplete is false", [](const Input& s) { return !s.isInitialSetupComplete; }};
constexpr PopoverCondition startupCompleteSetupIncomplete{
    "isStartupInitializationComplete and isInitialSetupComplete is false",
    [](const Input& s) { return s.isStartupInitializationComplete && !s.isInitialSetupComplete; }};
constexpr PopoverCondition permissionMissing{
    "screenRecordingPermissionGranted is false",
    [](const Input& s) { return !s.screenRecordingPermissionGranted; }};
constexpr PopoverCondition recoveryPending{
    "sourceContextRecoveryMessage is not nil",
    [](const Input& s) { return s.hasSourceContextRecoveryMessage; }};
constexpr PopoverCondition transitioning{
    "isSourceContextTransitioning", [](const Input& s) { return s.isSourceContextTransitioning; }};
constexpr PopoverCondition paused{"isPublishingPaused",
                                  [](const Input& s) { return s.isPublishingPaused; }};
constexpr PopoverCondition preparing{"isProtectedSharePreparing",
                                     [](const Input& s) { return s.isProtectedSharePreparing; }};
constexpr PopoverCondition healthy{"isProtectedShareHealthy",
                                   [](const Input& s) { return s.isProtectedShareHealthy; }};
constexpr PopoverCondition healthyAndHidden{
    "isProtectedShareHealthy and isProtectedShareWindowHiddenLocally", [](const Input& s) {
      return s.isProtectedShareHealthy && s.isProtectedShareWindowHiddenLocally;
    }};
constexpr PopoverCondition demoOn{"isDemoModeOn", [](const Input& s) { return s.isDemoModeOn; }};
constexpr PopoverCondition demoOff{"isDemoModeOn is false",
                                   [](const Input& s) { return !s.isDemoModeOn; }};
constexpr PopoverCondition stopping{"isProtectedShareStopping",
                                    [](const Input& s) { return s.isProtectedShareStopping; }};
constexpr PopoverCondition scanning{"isScanning", [](const Input& s) { return s.isScanning; }};
constexpr PopoverCondition retained{"output retained",
                                    [](const Input& s) { return s.isOutputRetained; }};
constexpr PopoverCondition idleAndRetained{
    "isDemoModeOn is false and output retained",
    [](const Input& s) { return !s.isDemoModeOn && s.isOutputRetained; }};
constexpr PopoverCondition hiddenLocally{"isProtectedShareWindowHiddenLocally", [](const Input& s) {
                                           return s.isProtectedShareWindowHiddenLocally;
                                         }};
constexpr PopoverCondition canHideLocally{"canHideProtectedShareWindowLocally", [](const Input& s) {
                                            return s.canHideProtectedShareWindowLocally;
                                          }};

constexpr PopoverColor color(Name name, double opacity = 1) {
  return PopoverColor::of(name, opacity);
}

}  // namespace

const PopoverTable<std::string>& MenuBarPopoverTables::headerSubtitle() {
  static const PopoverTable<std::string> table{
      {recoveryPending, "Desktop update paused; protected frame held"},
      {transitioning, "Switching desktop; protected frame held"},
      {paused, "Protected Share is paused"},
      {preparing, "Preparing Protected Share"},
      {healthyAndHidden, "Protected output live; preview hidden"},
      {healthy, "Protected Share is active"},
      {demoOn, "Protected Share needs attention"},
      {startupIncomplete, "Preparing Corvane"},
      {setupIncomplete, "Complete Setup"},
      {otherwise, idleLine},
  };
  return table;
}

const PopoverTable<PopoverColor>& MenuBarPopoverTables::statusColor() {
  static const PopoverTable<PopoverColor> table{
      {transitioning, color(Name::warningAmber)},
      {healthy, color(Name::privacyGreen)},
      {preparing, color(Name::privacyGreen)},
      {demoOn, color(Name::warningAmber)},
      {startupIncomplete, color(Name::secondaryLabel)},
      {setupIncomplete, color(Name::warningAmber)},
      {otherwise, color(Name::privacyGreen)},
  };
  return table;
}

const PopoverTable<std::string>& MenuBarPopoverTables::summaryTitle() {
  static const PopoverTable<std::string> table{
      {startupIncomplete, "Preparing Corvane"},
      {setupIncomplete, "Complete setup"},
      {permissionMissing, "Screen Recording required"},
      {recoveryPending, "Desktop update needs attention"},
      {transitioning, "Last protected frame held"},
      {paused, "Protected Share paused"},
      {healthy, "Protected Share live"},
      {preparing, "Connecting display capture"},
      {demoOn, "Protected Share needs attention"},
      {otherwise, idleLine},
  };
  return table;
}

const PopoverTable<PopoverText>& MenuBarPopoverTables::summaryDetail() {
  static const PopoverTable<PopoverText> table{
      {startupIncomplete, {startupNote}},
      {setupIncomplete, {"Review excluded apps and confirm the protected share target."}},
      {permissionMissing, {"Allow access in Settings, then return to Corvane."}},
      {demoOn, PopoverText::statusMessage()},
      {otherwise, {idleSummaryDetail}},
  };
  return table;
}

const PopoverTable<std::string>& MenuBarPopoverTables::summarySystemImage() {
  static const PopoverTable<std::string> table{
      {startupIncomplete, "hourglass"},
      {setupIncomplete, "checklist"},
      {permissionMissing, "record.circle"},
      {recoveryPending, "exclamationmark.triangle.fill"},
      {transitioning, "arrow.left.and.right.circle.fill"},
      {preparing, "rectangle.dashed.badge.record"},
      {healthy, "checkmark.shield.fill"},
      {demoOn, "exclamationmark.triangle.fill"},
      {otherwise, idleSummarySystemImage},
  };
  return table;
}

const PopoverTable<PopoverColor>& MenuBarPopoverTables::summaryColor() {
  static const PopoverTable<PopoverColor> table{
      {startupIncomplete, color(Name::systemGray)},
      {setupIncomplete, color(Name::warningAmber)},
      {permissionMissing, color(Name::warningAmber)},
      {transitioning, color(Name::warningAmber)},
      {healthy, color(Name::privacyGreen)},
      {preparing, color(Name::privacyGreen)},
      {demoOn, color(Name::warningAmber)},
      {otherwise, color(Name::privacyGreen)},
  };
  return table;
}

const PopoverTable<LabelledSymbol>& MenuBarPopoverTables::shareStatus() {
  static const PopoverTable<LabelledSymbol> table{
      {startupIncomplete, {"Preparing", "hourglass"}},
      {setupIncomplete, {"Setup Required", "checklist"}},
      {permissionMissing, {"Permission Needed", "exclamationmark.triangle.fill"}},
      {paused, {"Paused", "pause.fill"}},
      {healthy, {"Live", "checkmark.circle.fill"}},
      {preparing, {"Connecting", "arrow.triangle.2.circlepath"}},
      {demoOn, {"Attention", "exclamationmark.triangle.fill"}},
      {otherwise, {"Ready", "circle"}},
  };
  return table;
}

const PopoverTable<LabelledSymbol>& MenuBarPopoverTables::primaryLabel() {
  static const PopoverTable<LabelledSymbol> table{
      {startupIncomplete, {"Preparing Corvane", "hourglass"}},
      {setupIncomplete, {"Complete Setup", "checklist"}},
      {idleAndRetained, {"Protected Output Retained", "lock.rectangle.stack.fill"}},
      {stopping, {"Stopping Protected Share", "hourglass"}},
      {preparing, {"Cancel Protected Share", "xmark"}},
      {demoOn, {"Stop Protected Share", "stop.fill"}},
      {otherwise, {"Start Protected Share", "play.fill"}},
  };
  return table;
}

const PopoverTable<std::string>& MenuBarPopoverTables::primaryTrailingSystemImage() {
  static const PopoverTable<std::string> table{
      {startupIncomplete, "ellipsis"},
      {setupIncomplete, "chevron.right"},
      {otherwise, "rectangle.on.rectangle.angled"},
  };
  return table;
}

const PopoverTable<std::string>& MenuBarPopoverTables::primaryDetail() {
  static const PopoverTable<std::string> table{
      {startupIncomplete, startupNote},
      {setupIncomplete, "Finish the three Setup checks"},
      {idleAndRetained, "Stop the host share, then confirm below"},
      {stopping, "Finishing the active capture session"},
      {preparing, "Waiting for the first filtered frame"},
      {demoOff, idlePrimaryDetail},
      {retained, "Stops capture while retaining the last safe frame"},
      {otherwise, "Stop sharing and restore desktop state"},
  };
  return table;
}

const PopoverTable<PopoverColor>& MenuBarPopoverTables::primaryForegroundColor() {
  static const PopoverTable<PopoverColor> table{
      {startupCompleteSetupIncomplete, color(Name::black)},
      {otherwise, color(Name::white)},
  };
  return table;
}

const PopoverTable<std::array<PopoverColor, 2>>& MenuBarPopoverTables::primaryGradientColors() {
  static const PopoverTable<std::array<PopoverColor, 2>> table{
      {startupIncomplete, {color(Name::systemGray), color(Name::systemGray, 0.78)}},
      {setupIncomplete, {color(Name::warningAmber), color(Name::warningAmber, 0.82)}},
      {demoOn, {color(Name::criticalRed), color(Name::systemRed, 0.82)}},
      {otherwise, {color(Name::privacyGreen), color(Name::privacyGreenDark)}},
  };
  return table;
}

const PopoverTable<PrimaryControlBehaviour>& MenuBarPopoverTables::primaryControl() {
  static const PopoverTable<PrimaryControlBehaviour> table{
      {startupIncomplete, {false, PrimaryClick::nothing}},
      {scanning, {false, PrimaryClick::nothing}},
      {stopping, {false, PrimaryClick::nothing}},
      {idleAndRetained, {false, PrimaryClick::nothing}},
      {setupIncomplete, {true, PrimaryClick::showSetup}},
      {demoOff, {true, PrimaryClick::openWindowThenToggle}},
      {otherwise, {true, PrimaryClick::toggle}},
  };
  return table;
}

const PopoverTable<LocalVisibilityTile>& MenuBarPopoverTables::localVisibilityTile() {
  static const PopoverTable<LocalVisibilityTile> table{
      {hiddenLocally,
       {{"Show Preview", "eye"},
        TileEnabled::unlessOutputRetained,
        LocalVisibilityAction::showLiveWindow}},
      {canHideLocally,
       {{"Hide Preview", "eye.slash"},
        TileEnabled::yes,
        LocalVisibilityAction::requestHideLocally}},
      {retained,
       {{"Output Hidden", "eye.slash.fill"}, TileEnabled::no, LocalVisibilityAction::openWindow}},
      {otherwise,
       {{"Share Window", "rectangle.on.rectangle.angled"},
        TileEnabled::yes,
        LocalVisibilityAction::openWindow}},
  };
  return table;
}

const PopoverTable<FooterPreviewItem>& MenuBarPopoverTables::footerPreviewItem() {
  static const PopoverTable<FooterPreviewItem> table{
      {hiddenLocally, {{"Preview hidden", "eye.slash"}, false, TileEnabled::no}},
      {otherwise,
       {{"Open Preview", "rectangle.on.rectangle.angled"},
        true,
        TileEnabled::unlessOutputRetained}},
  };
  return table;
}

}  // namespace corvane::menubar
