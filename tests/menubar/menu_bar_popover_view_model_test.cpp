#include <gtest/gtest.h>

#include <bitset>
#include <functional>
#include <string>
#include <vector>

#include "menu_bar_test_support.h"
#include "menubar/menu_bar_popover_actions.h"
#include "menubar/menu_bar_popover_view_model.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::menubar {
namespace {

using Name = PopoverColor::Name;
using Tables = MenuBarPopoverTables;

// The Boolean inputs of the tables, in a fixed order; bit i of a combination sets field i.
constexpr bool MenuBarPopoverInput::*kBooleans[] = {
    &MenuBarPopoverInput::isStartupInitializationComplete,
    &MenuBarPopoverInput::isInitialSetupComplete,
    &MenuBarPopoverInput::screenRecordingPermissionGranted,
    &MenuBarPopoverInput::isDemoModeOn,
    &MenuBarPopoverInput::isProtectedShareStopping,
    &MenuBarPopoverInput::isProtectedShareWindowHiddenLocally,
    &MenuBarPopoverInput::isScanning,
    &MenuBarPopoverInput::isProtectedShareHealthy,
    &MenuBarPopoverInput::isProtectedSharePreparing,
    &MenuBarPopoverInput::canHideProtectedShareWindowLocally,
    &MenuBarPopoverInput::isPublishingPaused,
    &MenuBarPopoverInput::isSourceContextTransitioning,
    &MenuBarPopoverInput::hasSourceContextRecoveryMessage,
    &MenuBarPopoverInput::isOutputRetained,
};
constexpr std::size_t kBooleanCount = std::size(kBooleans);

MenuBarPopoverInput combination(unsigned bits) {
  MenuBarPopoverInput input;
  for (std::size_t i = 0; i < kBooleanCount; ++i) input.*kBooleans[i] = (bits >> i) & 1u;
  return input;
}

// A table seen only through its conditions.
struct TableView {
  std::string name;
  std::vector<std::string> conditions;
  std::function<std::vector<bool>(const MenuBarPopoverInput&)> holds;
  std::function<std::size_t(const MenuBarPopoverInput&)> winner;
};

template <class Value>
TableView view(std::string name, const PopoverTable<Value>& table) {
  TableView result{std::move(name), {}, nullptr, nullptr};
  for (const auto& row : table) result.conditions.push_back(row.condition.name);
  result.holds = [&table](const MenuBarPopoverInput& input) {
    std::vector<bool> holds;
    for (const auto& row : table) holds.push_back(row.condition.holds(input));
    return holds;
  };
  result.winner = [&table](const MenuBarPopoverInput& input) { return winningRow(table, input); };
  return result;
}

std::vector<TableView> allTables() {
  return {view("headerSubtitle", Tables::headerSubtitle()),
          view("statusColor", Tables::statusColor()),
          view("summaryTitle", Tables::summaryTitle()),
          view("summaryDetail", Tables::summaryDetail()),
          view("summarySystemImage", Tables::summarySystemImage()),
          view("summaryColor", Tables::summaryColor()),
          view("shareStatus", Tables::shareStatus()),
          view("primaryLabel", Tables::primaryLabel()),
          view("primaryTrailingSystemImage", Tables::primaryTrailingSystemImage()),
          view("primaryDetail", Tables::primaryDetail()),
          view("primaryForegroundColor", Tables::primaryForegroundColor()),
          view("primaryGradientColors", Tables::primaryGradientColors()),
          view("primaryControl", Tables::primaryControl()),
          view("localVisibilityTile", Tables::localVisibilityTile()),
          view("footerPreviewItem", Tables::footerPreviewItem())};
}

TEST(MenuBarPopoverTablesTest, EveryBooleanCombinationHasExactlyOneWinningRowAndNoRowIsShadowed) {
  for (const auto& table : allTables()) {
    std::vector<int> wins(table.conditions.size(), 0);
    for (unsigned bits = 0; bits < (1u << kBooleanCount); ++bits) {
      const auto input = combination(bits);
      const auto holds = table.holds(input);
      const auto winner = table.winner(input);
      // The winner is the one row whose condition holds with none holding above it.
      int winners = 0;
      bool earlierHeld = false;
      for (std::size_t row = 0; row < holds.size(); ++row) {
        if (holds[row] && !earlierHeld) {
          ++winners;
          EXPECT_EQ(row, winner) << table.name << " " << std::bitset<kBooleanCount>(bits);
        }
        earlierHeld = earlierHeld || holds[row];
      }
      ASSERT_EQ(winners, 1) << table.name << " has no winning row for "
                            << std::bitset<kBooleanCount>(bits);
      ++wins[winner];
    }
    for (std::size_t row = 0; row < wins.size(); ++row) {
      EXPECT_GT(wins[row], 0) << table.name << " row " << row + 1 << " (" << table.conditions[row]
                              << ") never wins";
    }
  }
}

TEST(MenuBarPopoverTablesTest, TablesTestTheSameConditionsInTheirOwnOrders) {
  const auto conditionsOf = [](const std::string& name) {
    for (const auto& table : allTables()) {
      if (table.name == name) return table.conditions;
    }
    return std::vector<std::string>{};
  };
  // The summary title tests healthy before preparing; its symbol the other way round.
  EXPECT_EQ(
      conditionsOf("summaryTitle"),
      (std::vector<std::string>{
          "isStartupInitializationComplete is false", "isInitialSetupComplete is false",
          "screenRecordingPermissionGranted is false", "sourceContextRecoveryMessage is not nil",
          "isSourceContextTransitioning", "isPublishingPaused", "isProtectedShareHealthy",
          "isProtectedSharePreparing", "isDemoModeOn", "otherwise"}));
  EXPECT_EQ(
      conditionsOf("summarySystemImage"),
      (std::vector<std::string>{
          "isStartupInitializationComplete is false", "isInitialSetupComplete is false",
          "screenRecordingPermissionGranted is false", "sourceContextRecoveryMessage is not nil",
          "isSourceContextTransitioning", "isProtectedSharePreparing", "isProtectedShareHealthy",
          "isDemoModeOn", "otherwise"}));
  // The header looks at the session before start-up and setup.
  EXPECT_EQ(
      conditionsOf("headerSubtitle"),
      (std::vector<std::string>{
          "sourceContextRecoveryMessage is not nil", "isSourceContextTransitioning",
          "isPublishingPaused", "isProtectedSharePreparing",
          "isProtectedShareHealthy and isProtectedShareWindowHiddenLocally",
          "isProtectedShareHealthy", "isDemoModeOn", "isStartupInitializationComplete is false",
          "isInitialSetupComplete is false", "otherwise"}));
  EXPECT_EQ(conditionsOf("statusColor"),
            (std::vector<std::string>{"isSourceContextTransitioning", "isProtectedShareHealthy",
                                      "isProtectedSharePreparing", "isDemoModeOn",
                                      "isStartupInitializationComplete is false",
                                      "isInitialSetupComplete is false", "otherwise"}));
}

MenuBarPopoverInput ready() {
  MenuBarPopoverInput input;
  input.isStartupInitializationComplete = true;
  input.isInitialSetupComplete = true;
  input.screenRecordingPermissionGranted = true;
  input.statusMessage = "Protected Share is live";
  return input;
}

MenuBarPopoverInput live() {
  auto input = ready();
  input.isDemoModeOn = true;
  input.isProtectedShareHealthy = true;
  input.canHideProtectedShareWindowLocally = true;
  return input;
}

TEST(MenuBarPopoverViewModelTest, StatesReadAsTheyShould) {
  {  // Right after launch.
    const MenuBarPopoverViewModel model({});
    EXPECT_EQ(model.headerSubtitle(), "Preparing Corvane");
    EXPECT_EQ(model.statusColor(), PopoverColor::of(Name::secondaryLabel));
    EXPECT_EQ(model.summaryTitle(), "Preparing Corvane");
    EXPECT_EQ(model.summarySystemImage(), "hourglass");
    EXPECT_EQ(model.summaryColor(), PopoverColor::of(Name::systemGray));
    EXPECT_EQ(model.shareStatusValue(), "Preparing");
    EXPECT_EQ(model.primaryTitle(), "Preparing Corvane");
    EXPECT_EQ(model.primaryTrailingSystemImage(), "ellipsis");
    EXPECT_EQ(model.primaryForegroundColor(), PopoverColor::of(Name::white));
    EXPECT_EQ(model.primaryGradientColors()[1], PopoverColor::of(Name::systemGray, 0.78));
    EXPECT_FALSE(model.isPrimaryControlEnabled());
    EXPECT_EQ(model.statusGlowOpacityNow(), 0);
  }
  {  // Setup incomplete: black on amber; the summary writes "setup" in lower case.
    auto input = ready();
    input.isInitialSetupComplete = false;
    const MenuBarPopoverViewModel model(input);
    EXPECT_EQ(model.headerSubtitle(), "Complete Setup");
    EXPECT_EQ(model.summaryTitle(), "Complete setup");
    EXPECT_EQ(model.primaryTitle(), "Complete Setup");
    EXPECT_EQ(model.primaryDetail(), "Finish the three Setup checks");
    EXPECT_EQ(model.primaryTrailingSystemImage(), "chevron.right");
    EXPECT_EQ(model.primaryForegroundColor(), PopoverColor::of(Name::black));
    EXPECT_EQ(model.primaryClick(), PrimaryClick::showSetup);
  }
  {  // Screen Recording missing while idle: the primary control still starts.
    auto input = ready();
    input.screenRecordingPermissionGranted = false;
    const MenuBarPopoverViewModel model(input);
    EXPECT_EQ(model.summaryTitle(), "Screen Recording required");
    EXPECT_EQ(model.summaryDetail(), "Allow access in Settings, then return to Corvane.");
    EXPECT_EQ(model.shareStatusValue(), "Permission Needed");
    EXPECT_EQ(model.primaryTitle(), "Start Protected Share");
    EXPECT_EQ(model.headerSubtitle(), Tables::idleLine);
    EXPECT_TRUE(model.showsPermissionRow());
  }
  {  // Live, then live with the preview hidden, then paused.
    auto input = live();
    const MenuBarPopoverViewModel model(input);
    EXPECT_EQ(model.headerSubtitle(), "Protected Share is active");
    EXPECT_EQ(model.summarySystemImage(), "checkmark.shield.fill");
    EXPECT_EQ(model.summaryDetail(), "Protected Share is live");
    EXPECT_EQ(model.primaryTitle(), "Stop Protected Share");
    EXPECT_EQ(model.primaryDetail(), "Stop sharing and restore desktop state");
    EXPECT_EQ(model.primaryGradientColors()[0], PopoverColor::of(Name::criticalRed));
    EXPECT_EQ(model.statusGlowOpacityNow(), 0.45);
    EXPECT_EQ(model.localVisibilityActionTitle(), "Hide Preview");
    input.isProtectedShareWindowHiddenLocally = true;
    EXPECT_EQ(MenuBarPopoverViewModel(input).headerSubtitle(),
              "Protected output live; preview hidden");
    EXPECT_EQ(MenuBarPopoverViewModel(input).footerPreviewItem().label.title, "Preview hidden");
    input.isPublishingPaused = true;
    EXPECT_EQ(MenuBarPopoverViewModel(input).shareStatusSystemImage(), "pause.fill");
    EXPECT_EQ(MenuBarPopoverViewModel(input).summaryColor(), PopoverColor::of(Name::privacyGreen));
  }
  {  // Preparing and healthy at once.
    auto input = live();
    input.isProtectedSharePreparing = true;
    const MenuBarPopoverViewModel model(input);
    EXPECT_EQ(model.headerSubtitle(), "Preparing Protected Share");
    EXPECT_EQ(model.summaryTitle(), "Protected Share live");
    EXPECT_EQ(model.summarySystemImage(), "rectangle.dashed.badge.record");
    EXPECT_EQ(model.shareStatusValue(), "Live");
    EXPECT_EQ(model.primaryTitle(), "Cancel Protected Share");
  }
  {  // Idle with the output retained.
    auto input = ready();
    input.isOutputRetained = true;
    const MenuBarPopoverViewModel model(input);
    EXPECT_EQ(model.primaryTitle(), "Protected Output Retained");
    EXPECT_FALSE(model.isPrimaryControlEnabled());
    EXPECT_EQ(model.localVisibilityActionTitle(), "Output Hidden");
    EXPECT_FALSE(model.localVisibilityActionIsEnabled());
    EXPECT_FALSE(model.isFooterPreviewItemEnabled());
    input.isDemoModeOn = true;
    EXPECT_EQ(MenuBarPopoverViewModel(input).primaryDetail(),
              "Stops capture while retaining the last safe frame");
    EXPECT_TRUE(MenuBarPopoverViewModel(input).isPrimaryControlEnabled());
  }
}

TEST(MenuBarPopoverViewModelTest, ExcludedAppsTokenCountsEnabledAppsWhenNoSessionRuns) {
  auto input = ready();
  input.enabledProtectedAppsCount = 6;
  input.hiddenAppsCount = 0;  // what the controller holds before any session and after a stop
  EXPECT_EQ(MenuBarPopoverViewModel(input).excludedAppsCount(), 6);
  input = live();
  input.enabledProtectedAppsCount = 7;  // one enabled after the start: the session did not take it
  input.hiddenAppsCount = 6;
  EXPECT_EQ(MenuBarPopoverViewModel(input).excludedAppsCount(), 6);
}

class MenuBarPopoverActionsTest : public ::testing::Test {
 protected:
  runtime::VirtualRunLoop loop;
  std::shared_ptr<testing::FakeMenuBarController> controller =
      std::make_shared<testing::FakeMenuBarController>();
  int setupShown = 0;
  MenuBarPopoverActions actions{controller, [this] { ++setupShown; }, [] {}};

  std::vector<std::string> callsAfter(const std::function<void()>& act) {
    controller->calls.clear();
    act();
    return controller->calls;
  }
};

TEST_F(MenuBarPopoverActionsTest, PrimaryControlActsByState) {
  using Calls = std::vector<std::string>;
  controller->input = ready();
  EXPECT_EQ(callsAfter([&] { actions.primary(); }),
            (Calls{"openProtectedShareWindow", "toggleDemoMode"}));
  controller->input = live();
  EXPECT_EQ(callsAfter([&] { actions.primary(); }), (Calls{"toggleDemoMode"}));
  // Setup incomplete only opens setup, even during a session.
  controller->input.isInitialSetupComplete = false;
  EXPECT_EQ(callsAfter([&] { actions.primary(); }), Calls{});
  EXPECT_EQ(setupShown, 1);
  // Disabled: scanning, stopping.
  controller->input = live();
  controller->input.isScanning = true;
  EXPECT_EQ(callsAfter([&] { actions.primary(); }), Calls{});
  controller->input = live();
  controller->input.isProtectedShareStopping = true;
  EXPECT_EQ(callsAfter([&] { actions.primary(); }), Calls{});
  EXPECT_EQ(callsAfter([&] { actions.stop(); }), Calls{});
  EXPECT_EQ(callsAfter([&] { actions.restore(); }), Calls{});
  controller->input.isProtectedShareStopping = false;
  EXPECT_EQ(callsAfter([&] { actions.restore(); }), (Calls{"stopDemoMode"}));
}

TEST_F(MenuBarPopoverActionsTest, TilesAndFooterFollowThePreviewState) {
  using Calls = std::vector<std::string>;
  controller->input = live();
  EXPECT_EQ(callsAfter([&] { actions.localVisibility(); }),
            (Calls{"requestHideProtectedShareWindowLocally"}));
  controller->input.isProtectedShareWindowHiddenLocally = true;
  EXPECT_EQ(callsAfter([&] { actions.localVisibility(); }),
            (Calls{"showProtectedShareLiveWindow"}));
  // The footer's label is no button while the preview is hidden.
  EXPECT_EQ(callsAfter([&] { actions.openPreview(); }), Calls{});
  controller->input = ready();
  EXPECT_EQ(callsAfter([&] { actions.localVisibility(); }), (Calls{"openProtectedShareWindow"}));
  EXPECT_EQ(callsAfter([&] { actions.openPreview(); }), (Calls{"openProtectedShareWindow"}));
  controller->input.isOutputRetained = true;
  EXPECT_EQ(callsAfter([&] { actions.localVisibility(); }), Calls{});
  EXPECT_EQ(callsAfter([&] { actions.openPreview(); }), Calls{});
  // Once the controller is gone nothing happens.
  std::weak_ptr<testing::FakeMenuBarController> weak = controller;
  controller.reset();
  EXPECT_TRUE(weak.expired());
  actions.primary();
  actions.stop();
}

}  // namespace
}  // namespace corvane::menubar
