// The sensitive-text engine end to end on a private X server: a notes application drawing text
// with Cairo, real Tesseract, the real source-mask overlay kept in the capture, and an owner that
// approves the baseline and draws the masks the engine asks for. The Qt part runs in a child
// process on Qt's xcb platform.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>

#include "model/enum_coding.h"
#include "platform/linux/ocr/tesseract_text_recognizer.h"
#include "support/test_artifacts.h"
#include "support/verification_engine_owner.h"
#include "ui/qt_test_support.h"
#include "ui/qt_window_system.h"
#include "ui/verification/source_redaction_overlay_view.h"
#include "verification/legacy_source_protection_engine.h"
#include "verification/source_mask_visual_style.h"
#include "verification/source_redaction_overlay_manager.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "platform/x11/x11_desktop.h"
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"
#include "verification_x11/x11_capture_helpers.h"

namespace corvane::ui {
namespace {

using model::ProtectedSharePhase;
using verification::LegacySourceProtectionEngine;

constexpr const char* const kChildVariable = "CORVANE_VERIFICATION_E2E_CHILD";
constexpr const char* kSecret = "sk-live4f9a8b7c6d5e3f2a";
constexpr int kTextPixels = 28;
constexpr int kNotesX = 40, kNotesY = 40;

// Where the secret typed after "Deploy key " on line 2 of the notes page lies on the screen, in
// pixels: a little more than its ink (monospace advances are 0.6 em).
platform::Rect secretBand() {
  const double advance = kTextPixels * 0.6;
  const double baseline = kNotesY + kTextPixels * (1.5 * 2 + 1.75);
  return {{kNotesX + kTextPixels + advance * 11.5, baseline - kTextPixels},
          {advance * 22.5, kTextPixels * 1.45}};
}

// Whether any pixel of `band` is ink of the notes' text (black; masks are never that dark).
bool showsInk(const platform::PixelBuffer& frame, const platform::Rect& band) {
  for (int y = static_cast<int>(band.minY()); y < static_cast<int>(band.maxY()); ++y) {
    for (int x = static_cast<int>(band.minX()); x < static_cast<int>(band.maxX()); ++x) {
      const std::uint32_t p = frame.pixel(x, y);
      if (((p >> 16) & 0xff) < 20 && ((p >> 8) & 0xff) < 20 && (p & 0xff) < 20) return true;
    }
  }
  return false;
}

// The share of the pixels of `band` that are the masks' fill.
double maskedShare(const platform::PixelBuffer& frame, const platform::Rect& band) {
  const auto& fill = verification::SourceMaskVisualStyle::maskFill8;
  int masked = 0, all = 0;
  for (int y = static_cast<int>(band.minY()); y < static_cast<int>(band.maxY()); ++y) {
    for (int x = static_cast<int>(band.minX()); x < static_cast<int>(band.maxX()); ++x) {
      const std::uint32_t p = frame.pixel(x, y);
      ++all;
      masked += std::abs(static_cast<int>((p >> 16) & 0xff) - fill.red) <= 3 &&
                std::abs(static_cast<int>((p >> 8) & 0xff) - fill.green) <= 3 &&
                std::abs(static_cast<int>(p & 0xff) - fill.blue) <= 3;
    }
  }
  return all > 0 ? static_cast<double>(masked) / all : 0;
}

// What the engine published last, with its output left as a picture.
std::string describe(const LegacySourceProtectionEngine& engine) {
  std::string text;
  if (const auto& frame = engine.renderedFrame.value()) {
    for (const auto& r : frame->redactions) {
      const auto& box = r.normalizedFrame;
      text += "\n  " + std::string(model::rawValue(r.scope)) + " " +
              std::string(model::rawValue(r.kind)) + " at " + std::to_string(box.minX()) + ", " +
              std::to_string(box.minY()) + " size " + std::to_string(box.width()) + " × " +
              std::to_string(box.height());
    }
  }
  if (const auto output = engine.outputSurface()->snapshot()) {
    const auto& image = *output->image;
    QImage(image.data(), image.width(), image.height(), image.bytesPerRow(), QImage::Format_RGB32)
        .save(QString::fromStdString(
            corvane::testing::artifactPath("verification-end-to-end.png").string()));
  }
  return text;
}

TEST(VerificationEndToEndOnX11, SecretTypedIntoAnApplicationIsMaskedAtItsSourceAndCertified) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 720);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  EXPECT_TRUE(testing::runQtChildOn(server, "VerificationEndToEndX11Child.*", kChildVariable));
}

// The engine's event log, written from the main actor and the analysis queue.
class EventLog {
 public:
  model::EventRecorder recorder() {
    return [this](const std::string& event, std::map<std::string, std::string>) {
      std::lock_guard lock(mutex_);
      names_.push_back(event);
    };
  }
  int count(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(names_.begin(), names_.end(), name));
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> names_;
};

using VerificationEndToEndX11Child = testing::QtX11ChildTest<&kChildVariable>;

TEST_F(VerificationEndToEndX11Child, RunsFromBaselineToCertifiedSourceMaskAndFilterReplacement) {
  ASSERT_TRUE(testing::isX11Session());
  const std::string name = std::getenv("DISPLAY");
  corvane::testing::TestClient notes(name, {.windowClass = "Notes",
                                            .x = kNotesX,
                                            .y = kNotesY,
                                            .width = 1000,
                                            .height = 480,
                                            .textPixelSize = kTextPixels});
  ASSERT_NE(notes.window(), 0u);
  notes.command("line 0 Meeting notes for the weekly sync");
  notes.command("line 1 Budget review moved to Friday");

  auto opened = platform::x11::openDesktop(name, getpid());
  ASSERT_TRUE(opened.ok()) << opened.message();
  const platform::Desktop& desktop = opened.value();
  auto windows =
      std::make_shared<QtWindowSystem>(desktop.screens, wiring::makeQtWindowStateHints());
  verification::SourceRedactionOverlayManager overlay(windows,
                                                      makeSourceRedactionOverlayContentFactory());
  const auto display = windows->mainScreen();
  ASSERT_TRUE(display);

  // The overlay's window exists while it shows a mask: a standing one, in a corner nothing uses,
  // keeps it on screen for the whole run, so the capture keeps it from the start.
  model::ProtectedRedaction standing;
  standing.normalizedFrame = {{0.93, 0.92}, {0.05, 0.05}};
  standing.scope = model::ProtectedRedactionScope::sourceOverlay;
  (void)overlay.show(display->displayID, {standing});
  ASSERT_TRUE(processUntil([&] { return overlay.windowNumber() != 0; }));
  const auto own = corvane::testing::owningApplication(desktop, overlay.windowNumber());
  ASSERT_TRUE(own) << "the overlay's window is never listed";

  EventLog events;
  verification::LegacySourceProtectionEngineServices services;
  services.desktop = desktop;
  services.ownBundleIdentifier = own->bundleIdentifier;
  services.ownProcessIdentifier = static_cast<std::int32_t>(getpid());
  services.recorder = events.recorder();
  services.textRecognizer = std::make_shared<platform::ocr::TesseractTextRecognizer>(
      platform::ocr::TesseractTextRecognizer::Options{});
  auto engine = LegacySourceProtectionEngine::make(services);
  corvane::testing::VerificationEngineOwner owner(
      engine, [&](auto masks) { return overlay.show(display->displayID, std::move(masks)); },
      {standing});
  owner.redraw();
  verification::LegacySourceProtectionConfiguration configuration;
  configuration.maskAllRecognizedText = false;
  configuration.sourceOverlayWindowIDs = {overlay.windowNumber()};
  engine->configure(configuration);

  // Every frame the output publishes after the secret is typed is checked for its ink.
  const auto band = secretBand();
  std::atomic<bool> secretTyped = false;
  std::atomic<int> exposures = 0;
  std::atomic<int> framesAfterSecret = 0;
  auto check = engine->outputSurface()->observeUpdates(
      [&](const capture::ProtectedOutputSurface::Snapshot& snapshot) {
        if (!secretTyped) return;
        ++framesAfterSecret;
        if (showsInk(*snapshot.image, band)) ++exposures;
      });

  auto started = runtime::spawn(engine->start());
  ASSERT_TRUE(processUntil([&] { return started.isDone(); }));
  ASSERT_EQ(engine->activeCaptureOverlayWindowIDs(),
            std::set<std::uint32_t>{overlay.windowNumber()});

  // The first analysed frame waits for the owner: nothing is published before the approval.
  ASSERT_TRUE(processUntil([&] { return engine->hasPendingBaselineApproval(); }))
      << engine->statusMessage.value();
  EXPECT_EQ(engine->statusMessage.value(), "Review and approve the initial protected frame");
  EXPECT_EQ(engine->phase.value(), ProtectedSharePhase::analyzing);
  EXPECT_FALSE(engine->outputSurface()->snapshot());
  owner.setApprovesBaselines(true);
  ASSERT_TRUE(processUntil([&] { return engine->renderedFrame.value().has_value(); }))
      << engine->statusMessage.value();
  EXPECT_EQ(engine->phase.value(), ProtectedSharePhase::sharing);
  EXPECT_EQ(owner.approvals(), 1);

  // A secret is typed: the engine asks for a source mask over it, the owner draws it, and a
  // captured frame that shows the mask certifies it and is published with that line masked.
  notes.command("line 2 Deploy key ");
  secretTyped = true;
  notes.command(std::string("append ") + kSecret);
  ASSERT_TRUE(processUntil([&] { return owner.maskRequests() >= 1; }))
      << engine->statusMessage.value() << describe(*engine);
  ASSERT_FALSE(owner.requestedMasks().empty());
  const platform::Rect requested = owner.requestedMasks().front().normalizedFrame;
  EXPECT_EQ(owner.requestedMasks().front().kind, model::SensitiveKind::apiKey);
  EXPECT_NEAR((requested.minY() + requested.height() / 2) * 720, band.minY() + band.height() / 2,
              kTextPixels);
  ASSERT_TRUE(processUntil([&] {
    return events.count("protected_share_source_masked_frame_certified") >= 1;
  })) << engine->statusMessage.value()
      << describe(*engine);
  ASSERT_TRUE(processUntil([&] {
    const auto& frame = engine->renderedFrame.value();
    return frame && std::any_of(frame->redactions.begin(), frame->redactions.end(),
                                [&](const model::ProtectedRedaction& r) {
                                  return r.scope == model::ProtectedRedactionScope::sourceOverlay &&
                                         r.normalizedFrame.intersects(requested);
                                });
  })) << engine->statusMessage.value()
      << describe(*engine);
  const auto published = engine->outputSurface()->snapshot();
  ASSERT_TRUE(published);
  EXPECT_GT(maskedShare(*published->image, band), 0.6) << describe(*engine);
  EXPECT_GT(framesAfterSecret.load(), 0);
  EXPECT_EQ(exposures.load(), 0) << "a published frame showed the secret";

  // The notes application becomes protected: the stream is replaced and two clean captures are
  // owed before analysis resumes.
  const auto notesApplication = corvane::testing::owningApplication(desktop, notes.window());
  ASSERT_TRUE(notesApplication);
  configuration.protectedAppBundleIDs = {notesApplication->bundleIdentifier};
  engine->configure(configuration);
  std::atomic<int> cleanCaptureConfirmations = 0;
  auto statuses = engine->statusMessage.observeAtOnce([&](const std::string& status) {
    if (status == "Confirming clean capture after protected app filter update")
      ++cleanCaptureConfirmations;
  });
  auto refreshed = runtime::spawn(engine->refreshCaptureFilter(capture::CaptureApplicationIdentity{
      notesApplication->bundleIdentifier, notesApplication->processID}));
  ASSERT_TRUE(processUntil([&] { return refreshed.isDone(); }));
  EXPECT_EQ(refreshed.result(), (verification::CaptureFilterRefreshResult{true, false}));
  EXPECT_EQ(events.count("protected_share_stream_replaced_for_filter"), 1);
  ASSERT_TRUE(processUntil([&] { return engine->cleanFramesRequiredBeforePublish() == 0; }))
      << engine->statusMessage.value();
  EXPECT_EQ(cleanCaptureConfirmations.load(), 2);
  EXPECT_TRUE(engine->hasStream());
  statuses.cancel();

  auto stopped = runtime::spawn(engine->stop());
  ASSERT_TRUE(processUntil([&] { return stopped.isDone(); }));
  EXPECT_EQ(engine->phase.value(), ProtectedSharePhase::idle);
  EXPECT_FALSE(engine->hasStream());
  check.cancel();
  overlay.hide();
}

}  // namespace
}  // namespace corvane::ui
