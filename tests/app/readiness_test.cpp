#include <gtest/gtest.h>

#include <set>

#include "app/protected_share_readiness.h"

namespace corvane::app {
namespace {

using model::HealthState;
using model::ProtectedSharePhase;

constexpr const char* kDenial = "Screen capture is not allowed. Log in to an X11 session.";

ProtectedShareReadinessInputs granted() {
  ProtectedShareReadinessInputs in;
  in.screenRecordingPermissionGranted = true;
  return in;
}

ProtectedShareReadinessInputs session(ProtectedSharePhase phase, bool frame) {
  auto in = granted();
  in.isDemoModeOn = true;
  in.phase = phase;
  in.hasRenderedFrame = frame;
  return in;
}

struct Row {
  const char* name;
  ProtectedShareReadinessInputs inputs;
  HealthState state;
  const char* detail;
  bool healthy;
  bool preparing;
};

TEST(ReadinessTest, ProtectedShareRowForEachEnginePhase) {
  auto paused = session(ProtectedSharePhase::sharing, true);
  paused.isPublishingPaused = true;
  auto startingFlag = granted();
  startingFlag.isProtectedShareStarting = true;
  auto failedWithError = session(ProtectedSharePhase::failed, false);
  failedWithError.lastError = "Screen capture stopped updating.";
  auto denied = ProtectedShareReadinessInputs{};
  denied.screenCaptureDenialReason = kDenial;
  auto permissionRequired = granted();
  permissionRequired.phase = ProtectedSharePhase::permissionRequired;
  auto afterSession = session(ProtectedSharePhase::sharing, false);
  afterSession.isDemoModeOn = false;

  const std::vector<Row> rows{
      {"idle", granted(), HealthState::inactive,
       "Open the window, then start Protected Share before sharing.", false, false},
      {"starting flag only", startingFlag, HealthState::inactive,
       "Waiting for the first filtered frame.", false, true},
      {"engine starting", session(ProtectedSharePhase::starting, false), HealthState::inactive,
       "Waiting for the first filtered frame.", false, true},
      // A frame while the engine is still starting or already stopping is not healthy.
      {"frame while starting", session(ProtectedSharePhase::starting, true), HealthState::inactive,
       "Open the window, then start Protected Share before sharing.", false, false},
      {"frame while stopping", session(ProtectedSharePhase::stopping, true), HealthState::inactive,
       "Open the window, then start Protected Share before sharing.", false, false},
      {"sharing", session(ProtectedSharePhase::sharing, true), HealthState::pass,
       "Filtered frames are being published to the Protected Share window.", true, false},
      {"analyzing", session(ProtectedSharePhase::analyzing, true), HealthState::pass,
       "Filtered frames are being published to the Protected Share window.", true, false},
      {"paused", paused, HealthState::pass, "Output is paused on the current frame.", true, false},
      {"failed without error", session(ProtectedSharePhase::failed, false), HealthState::fail,
       "Protected Share stopped. Stop the meeting-app share and restart Corvane.", false, false},
      {"failed with error", failedWithError, HealthState::fail, "Screen capture stopped updating.",
       false, false},
      {"permission required", permissionRequired, HealthState::fail,
       "Grant Screen Recording and restart Corvane before sharing.", false, false},
      {"capture denied", denied, HealthState::fail, kDenial, false, false},
      // After the session only the controller's own starting flag counts.
      {"sharing after the session", afterSession, HealthState::inactive,
       "Open the window, then start Protected Share before sharing.", false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ProtectedShareReadiness readiness(row.inputs);
    EXPECT_EQ(readiness.isProtectedShareHealthy(), row.healthy);
    EXPECT_EQ(readiness.isProtectedSharePreparing(), row.preparing);
    const auto items = readiness.healthItems();
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[1].title, "Protected Share");
    EXPECT_EQ(items[1].state, row.state);
    EXPECT_EQ(items[1].detail, row.detail);
    EXPECT_EQ(items[2].state, row.healthy ? HealthState::pass : HealthState::inactive);
    EXPECT_EQ(items[0].state,
              row.inputs.screenRecordingPermissionGranted ? HealthState::pass : HealthState::fail);
  }
}

TEST(ReadinessTest, UpdateAndOperationsRowsForEachBuildKind) {
  model::ProductionConfiguration complete;
  complete.crashReportingDSN = "https://key@crash.example.com/1";
  complete.updateFeedURL = "https://updates.example.com/appcast.xml";
  complete.sparklePublicEDKey = "key";
  complete.privacyURL = "https://example.com/privacy";
  complete.supportURL = "https://example.com/support";
  ASSERT_TRUE(complete.missingItems().empty());

  auto missingTwo = complete;
  missingTwo.privacyURL.reset();
  missingTwo.supportURL.reset();

  auto releaseUpdatesOff = complete;
  releaseUpdatesOff.automaticUpdatesEnabled = false;
  releaseUpdatesOff.updateFeedURL.reset();

  model::ProductionConfiguration beta;
  beta.isBetaRelease = true;
  beta.crashReportingEnabled = false;
  beta.automaticUpdatesEnabled = false;
  beta.privacyURL = "https://example.com/privacy";
  beta.supportURL = "https://example.com/support";
  beta.betaDetailsURL = "https://example.com/beta";
  ASSERT_TRUE(beta.betaMissingItems().empty());

  struct BuildRow {
    const char* name;
    model::ProductionConfiguration configuration;
    const char* updateDetail;
    HealthState updateState;
    const char* operationsTitle;
    HealthState operationsState;
  };
  const std::vector<BuildRow> builds{
      {"complete release", complete, "Update feed and signing key are configured.",
       HealthState::pass, "Production Ops", HealthState::pass},
      {"release missing two", missingTwo, "Update feed and signing key are configured.",
       HealthState::pass, "Production Ops", HealthState::fail},
      {"release without updates", releaseUpdatesOff,
       "Automatic updates are intentionally disabled for this signed beta.", HealthState::fail,
       "Production Ops", HealthState::fail},
      {"beta", beta, "Automatic updates are intentionally disabled for this signed beta.",
       HealthState::pass, "Beta Operations", HealthState::pass},
  };
  std::set<std::string> confirmations;
  for (const auto& build : builds) {
    SCOPED_TRACE(build.name);
    auto in = granted();
    in.productionConfiguration = build.configuration;
    const auto items = ProtectedShareReadiness(in).healthItems();
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[3].title, "Diagnostics");
    EXPECT_EQ(items[4].title, "Secure Updates");
    EXPECT_EQ(items[4].detail, build.updateDetail);
    EXPECT_EQ(items[4].state, build.updateState);
    EXPECT_EQ(items[5].title, build.operationsTitle);
    EXPECT_EQ(items[5].state, build.operationsState);
    if (build.operationsState == HealthState::pass) confirmations.insert(items[5].detail);
  }
  auto in = granted();
  in.productionConfiguration = missingTwo;
  EXPECT_EQ(ProtectedShareReadiness(in).healthItems()[5].detail,
            "Missing: Privacy URL, Support URL");
  EXPECT_EQ(confirmations.size(), 2u);  // one sentence for release builds, one for beta builds
}

TEST(ReadinessTest, DiagnosticsRowKeepsItsTextUnlessEventsOrSettingsAreLost) {
  auto in = granted();
  auto row = ProtectedShareReadiness(in).healthItems()[3];
  EXPECT_EQ(row.title, "Diagnostics");
  EXPECT_EQ(row.detail,
            "Local event logs contain metadata only; captured screen content is never written.");
  EXPECT_EQ(row.state, HealthState::pass);
  in.lostDiagnosticEvents = 3;
  row = ProtectedShareReadiness(in).healthItems()[3];
  EXPECT_EQ(row.detail, "3 events could not be written to the local event log.");
  EXPECT_EQ(row.state, HealthState::warn);
  in.settingsSaveError = "Read-only file system.";
  row = ProtectedShareReadiness(in).healthItems()[3];
  EXPECT_EQ(row.state, HealthState::fail) << "a setting that cannot be saved says so first";
}

TEST(ReadinessTest, StartHideAndDisplayName) {
  auto in = session(ProtectedSharePhase::sharing, true);
  in.isStartupInitializationComplete = true;
  in.isInitialSetupComplete = true;
  ProtectedShareReadiness ready(in);
  EXPECT_TRUE(ready.canStartProtectedShare());
  EXPECT_TRUE(ready.canHideProtectedShareWindowLocally());
  EXPECT_TRUE(ready.isDirectShareTestOutputEligible());

  auto legacy = in;
  legacy.isLegacyAppRunning = true;
  EXPECT_FALSE(ProtectedShareReadiness(legacy).canStartProtectedShare());
  auto retained = in;
  retained.directShareTestState = share_window::DirectShareTestState::withGeneration(
      share_window::DirectShareTestState::Kind::accepted, 3);
  EXPECT_FALSE(ProtectedShareReadiness(retained).canHideProtectedShareWindowLocally());
  auto holding = in;
  holding.hasSourceContextRecoveryMessage = true;
  EXPECT_FALSE(ProtectedShareReadiness(holding).isDirectShareTestOutputEligible());

  model::ProtectionOptions options;
  const std::vector<model::CaptureDisplay> displays{{4, "HDMI-1", "1920 x 1080 pt @1x"}};
  EXPECT_EQ(selectedCaptureDisplayName(options, displays), "Main display");
  options.selectedDisplayID = 4;
  EXPECT_EQ(selectedCaptureDisplayName(options, displays), "HDMI-1");
  options.selectedDisplayID = 5;
  EXPECT_EQ(selectedCaptureDisplayName(options, displays), "Selected display");
}

}  // namespace
}  // namespace corvane::app
