// A desktop test skips only when the desktop is not installed: an installed one that does not
// come up is a failure.
#include <gtest/gtest.h>

#include "support/x11/desktop_session.h"

namespace corvane::testing {
namespace {

TEST(DesktopSessionTest, OnlyAMissingProgramMeansItCannotRunAndOneEndingWhileStartingFails) {
  XvfbServer server(640, 480);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  {
    DesktopSession missing(server, {"missing", {"corvane-no-such-window-manager"}, {}, {}, false});
    EXPECT_TRUE(missing.cannotRun());
    EXPECT_FALSE(missing.ok());
  }
  DesktopSession crashing(server, {"crashing", {"sh", "-c", "exit 3"}, {}, {}, false});
  EXPECT_FALSE(crashing.cannotRun()) << crashing.failure();
  EXPECT_FALSE(crashing.ok());
  EXPECT_NE(crashing.failure().find("sh ended while starting"), std::string::npos)
      << crashing.failure();
}

}  // namespace
}  // namespace corvane::testing
