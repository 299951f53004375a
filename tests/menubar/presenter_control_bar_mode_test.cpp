#include <gtest/gtest.h>

#include "menubar/presenter_control_bar_mode.h"

namespace corvane::menubar {
namespace {

using Live = PresenterControlBarMode::ProtectedShareLive;

PresenterControlBarMode live(Live payload) {
  return PresenterControlBarMode::protectedShareLive(std::move(payload));
}

struct ModeTexts {
  const char* name;
  PresenterControlBarMode mode;
  std::string title;
  std::string subtitle;
  std::string statusSummary;
};

TEST(PresenterControlBarModeTest, EveryModeReadsItsTexts) {
  const ModeTexts rows[] = {
      {"preparing", PresenterControlBarMode::preparing(), "Preparing Protected Share",
       "Connecting the filtered display", "Filtered capture is connecting"},
      {"sealed", PresenterControlBarMode::sourceSealed(), "Protected Share interrupted",
       "Protected output unavailable", "Stop and restart the session"},
      {"recovery and switching", live({0, 3, true, true, true, true, "Notes"}),
       "Desktop update needs attention", "Last protected frame held",
       "Retry the desktop update or stop sharing"},
      {"switching", live({0, 3, true, true, true, false, "Notes"}), "Switching desktop",
       "Last protected frame held", "Updating the active desktop"},
      {"paused while holding an excluded app", live({0, 2, true, true, false, false, "Vault"}),
       "Protected Share paused", "Vault excluded from Protected Share", "2 apps excluded"},
      {"paused", live({0, 0, true, false, false, false, "Notes"}), "Protected Share paused",
       "Filtered display live", "0 apps excluded"},
      {"holding an excluded app", live({0, 1, false, true, false, false, "Vault"}),
       "Vault excluded", "Vault excluded from Protected Share", "1 apps excluded"},
      {"holding with an empty name", live({0, 5, false, true, false, false, ""}), " excluded",
       " excluded from Protected Share", "5 apps excluded"},
      {"live", live({4, 12, false, false, false, false, "Notes"}), "Protected Share live",
       "Filtered display live", "12 apps excluded"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.mode.title(), row.title);
    EXPECT_EQ(row.mode.subtitle(), row.subtitle);
    EXPECT_EQ(row.mode.statusSummary(), row.statusSummary);
  }
}

TEST(PresenterControlBarModeTest, EqualWhenTheCaseAndEveryPayloadValueAreEqual) {
  const Live base{0, 3, false, false, false, false, "Notes"};
  Live otherCount = base;
  otherCount.redactionCount = 1;
  // The count shows in no text, yet the values differ.
  EXPECT_EQ(live(base).title(), live(otherCount).title());
  EXPECT_NE(live(base), live(otherCount));
  EXPECT_EQ(live(base), live(base));
  EXPECT_EQ(PresenterControlBarMode(), PresenterControlBarMode::preparing());
  EXPECT_NE(PresenterControlBarMode::preparing(), PresenterControlBarMode::sourceSealed());
  EXPECT_NE(PresenterControlBarMode::sourceSealed(), live(base));
  EXPECT_EQ(PresenterControlBarMode::preparing().live(), nullptr);
}

}  // namespace
}  // namespace corvane::menubar
