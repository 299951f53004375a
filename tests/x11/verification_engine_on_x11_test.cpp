#include <gtest/gtest.h>

#include <thread>

#include "platform/sim/scripted_text_recognizer.h"
#include "platform/x11/x11_desktop.h"
#include "runtime/virtual_run_loop.h"
#include "verification/legacy_source_protection_engine.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

TEST(VerificationEngineOnX11Test, ARunCapturesFramesIntoThePipelineAndPublishesNothingUnverified) {
  runtime::VirtualRunLoop loop;
  XvfbServer server(640, 480);
  ASSERT_TRUE(server.ok());
  setRootBackground(server.name(), kGreen);
  SecretOverPublicWindow scene(server.name(), "Editor");
  ASSERT_TRUE(scene.ok());

  auto desktop = openDesktop(server.name(), static_cast<std::int32_t>(getpid()), plainIdentities());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  verification::LegacySourceProtectionEngineServices services;
  services.desktop = desktop.value();
  services.ownBundleIdentifier = "org.example.Corvane";
  services.ownProcessIdentifier = static_cast<std::int32_t>(getpid());
  services.recorder = [](const std::string&, std::map<std::string, std::string>) {};
  services.textRecognizer = std::make_shared<sim::ScriptedTextRecognizer>();
  auto engine = verification::LegacySourceProtectionEngine::make(services);
  verification::LegacySourceProtectionConfiguration configuration;
  configuration.protectedAppBundleIDs = {"Secret"};
  configuration.sourceOverlayWindowIDs = {0x7fffffff};  // no such window on this server
  engine->configure(configuration);

  auto started = runtime::spawn(engine->start());
  ASSERT_TRUE(driveUntil(loop, [&] { return started.isDone(); }));
  ASSERT_EQ(engine->phase.value(), model::ProtectedSharePhase::analyzing)
      << engine->statusMessage.value();
  ASSERT_TRUE(engine->activeCaptureApplicationIdentities().size() >= 1u);
  EXPECT_EQ(engine->metrics.value().outputWidth, 640);

  ASSERT_TRUE(driveUntil(loop, [&] { return engine->hasPendingBaselineApproval(); }))
      << "the first frame of the X11 capture is analysed and waits for the user's review";
  EXPECT_GT(engine->receivedSampleCount.value(), 0);
  EXPECT_FALSE(engine->outputSurface()->snapshot()) << "nothing unverified is published";

  // The content query runs against the real server: the overlay window is missing, so the
  // output holds rather than trusting a capture without its masks.
  auto refresh = runtime::spawn(engine->refreshCaptureFilter());
  ASSERT_TRUE(driveUntil(loop, [&] { return refresh.isDone(); }));
  EXPECT_EQ(refresh.result(), (verification::CaptureFilterRefreshResult{false, false}));
  EXPECT_EQ(engine->statusMessage.value(),
            "Source mask surface is unavailable; holding the current protected output");

  auto stopped = runtime::spawn(engine->stop());
  ASSERT_TRUE(driveUntil(loop, [&] { return stopped.isDone(); }));
  EXPECT_EQ(engine->phase.value(), model::ProtectedSharePhase::idle);
  engine.reset();
  loop.runUntilIdle();
}

}  // namespace
}  // namespace corvane::platform::x11::testing
