#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_colors.h"
#include "platform/sim/sim_window_system.h"
#include "support/verification_engine_owner.h"
#include "verification/sim_overlay_content.h"
#include "verification/source_redaction_overlay_manager.h"
#include "verification_engine_harness.h"

namespace corvane::verification {
namespace {

using platform::Rect;
using platform::sim::SimWindowPattern;
using testing::VerificationEngineHarness;

constexpr const char* kSecretText = "sk-live4f9a8b7c6d5e3f2a";
constexpr const char* kKeysID = "org.example.Keys";

// Reads the secrets on screen as API keys: every band of rows that holds pixels of a secret's
// colour (its window's) inside a request's region is one recognised line spanning them, and one
// detected word. Nothing else reads as text.
class MarkerRecognizer final : public platform::TextRecognizer {
 public:
  void addSecret(std::uint32_t windowID) {
    std::lock_guard lock(mutex_);
    secrets_.insert(windowID);
  }
  bool isSecret(std::uint32_t windowID) const { return secretWindows().contains(windowID); }
  std::set<std::uint32_t> secretWindows() const {
    std::lock_guard lock(mutex_);
    return secrets_;
  }

  runtime::Result<std::vector<platform::RecognizedTextResults>> recognizeText(
      const platform::PixelBuffer& image,
      const std::vector<platform::TextRecognitionRequest>& requests) override {
    std::vector<platform::RecognizedTextResults> results;
    for (const auto& request : requests) {
      platform::RecognizedTextResults lines;
      const Rect& region = request.regionOfInterest;
      for (const Rect& band : markerBands(image, region)) {
        lines.push_back({platform::RecognizedTextCandidate{kSecretText, 1.0f},
                         Rect{{(band.minX() - region.minX()) / region.width(),
                               (band.minY() - region.minY()) / region.height()},
                              {band.width() / region.width(), band.height() / region.height()}}});
      }
      results.push_back(std::move(lines));
    }
    return results;
  }

  runtime::Result<std::vector<platform::TextRectangleObservation>> detectTextRectangles(
      const platform::PixelBuffer& image, const platform::TextRectanglesRequest& request) override {
    std::vector<platform::TextRectangleObservation> words;
    for (const Rect& band : markerBands(image, request.regionOfInterest)) {
      const int count = std::max(1, static_cast<int>(band.width() * image.width() / 7));
      std::vector<Rect> characters;
      for (int i = 0; i < count; ++i) {
        characters.push_back({{band.minX() + band.width() * i / count, band.minY()},
                              {band.width() / count, band.height()}});
      }
      words.push_back({band, characters});
    }
    return words;
  }

 private:
  // Bands of marker rows inside `region`, as boxes normalised to the image, bottom-left origin.
  std::vector<Rect> markerBands(const platform::PixelBuffer& image, const Rect& region) const {
    const int w = image.width(), h = image.height();
    const int left = std::max(0, static_cast<int>(region.minX() * w));
    const int right = std::min(w, static_cast<int>(std::ceil(region.maxX() * w)));
    const int top = std::max(0, static_cast<int>((1 - region.maxY()) * h));
    const int bottom = std::min(h, static_cast<int>(std::ceil((1 - region.minY()) * h)));
    const auto secrets = secretWindows();
    std::vector<Rect> bands;
    std::optional<int> bandTop;
    int minX = w, maxX = -1;
    auto closeBand = [&](int endRow) {
      if (!bandTop) return;
      bands.push_back({{double(minX) / w, 1 - double(endRow) / h},
                       {double(maxX + 1 - minX) / w, double(endRow - *bandTop) / h}});
      bandTop.reset();
      minX = w;
      maxX = -1;
    };
    // Frames are runs of equal pixels: each run is judged once.
    for (int y = top; y < bottom; ++y) {
      bool marked = false;
      const auto* row = reinterpret_cast<const std::uint32_t*>(
          image.data() + static_cast<std::size_t>(y) * image.bytesPerRow());
      for (int x = left; x < right;) {
        const std::uint32_t pixel = row[x];
        int end = x + 1;
        while (end < right && row[end] == pixel) ++end;
        const auto window = platform::sim::windowIdForColor(pixel);
        if (window && secrets.contains(*window)) {
          marked = true;
          minX = std::min(minX, x);
          maxX = std::max(maxX, end - 1);
        }
        x = end;
      }
      if (marked && !bandTop) bandTop = y;
      if (!marked) closeBand(y);
    }
    closeBand(bottom);
    return bands;
  }

  mutable std::mutex mutex_;
  std::set<std::uint32_t> secrets_;
};

// A session of the verification engine on the simulated desktop, driven by random events: the
// user types secrets into the editor (small windows in their own colour, read as API keys) and
// ordinary text, scrolls and clears; the protected applications change; the capture stalls; the
// source context changes; baselines are approved late, turned down and asked for again; the run
// is stopped and started again. The owner draws every mask the engine asks for with the source
// redaction overlay. Every image the engine's output publishes is checked as it is written: it
// must hold no pixel of a secret and none of a protected application's windows.
class SourceMaskPrivacySession {
 public:
  SourceMaskPrivacySession(platform::Size frameSize, std::uint32_t seed)
      : h_(frameSize), frameSize_(frameSize), random_(seed) {
    h_.desktop->captureScript().deliveryDelay = 0.03;
    // Like the X11 capture: a frame when something changed.
    h_.desktop->captureScript().frameTiming = platform::sim::SimFrameTiming::onChange;
    keys_ = h_.desktop->launchApplication({kKeysID, "Keys"}).value();
    keysWindow_ = h_.desktop->addWindow(keys_, {Rect{{200, 100}, {90, 50}}}).value();
    windows_->showWindowsOn(h_.desktop, h_.ownProcess);

    LegacySourceProtectionEngineServices services;
    services.desktop = h_.desktop->desktop();
    services.ownBundleIdentifier = testing::kOwnBundleID;
    services.ownProcessIdentifier = h_.ownProcess;
    services.additionalExcludedBundleIDs = {testing::kSystemSurfaceID};
    services.recorder = [this](const std::string& event, std::map<std::string, std::string>) {
      if (event == "protected_share_source_masked_frame_certified") ++certifications_;
    };
    services.tileWorkers = std::make_shared<runtime::WorkerThreads>(1);
    services.textRecognizer = recognizer_;
    h_.engine = LegacySourceProtectionEngine::make(services);
    owner_.emplace(
        h_.engine, [this](auto masks) { return overlay_.show(1, std::move(masks)); },
        std::vector{standingMask()});
    owner_->redraw();
    configure();
  }

  void run(double seconds) {
    auto check = h_.engine->outputSurface()->observeUpdates(
        [this](const capture::ProtectedOutputSurface::Snapshot& snapshot) { inspect(snapshot); });
    h_.start();
    overlayKept_ = h_.engine->activeCaptureOverlayWindowIDs() ==
                   std::set<std::uint32_t>{overlay_.windowNumber()};
    const double end = h_.loop.uptime() + seconds;
    std::uniform_real_distribution<double> pause(0.05, 0.4);
    while (h_.loop.uptime() < end) {
      step();
      h_.loop.advance(pause(random_));
      if (h_.engine->phase.value() == model::ProtectedSharePhase::failed) {
        failures_.push_back(h_.engine->lastError.value().value_or(""));
        h_.start();
      }
    }
    h_.desktop->captureScript().stalled = false;
    h_.loop.advance(1.0);
    verifiedFrames_ += h_.engine->metrics.value().verifiedFrames;
    h_.stop();
    check.cancel();
  }

  // Whether the first start's capture kept the overlay's window.
  bool overlayKept() const { return overlayKept_; }
  int checkedFrames() const { return checkedFrames_; }
  int secretsTyped() const { return static_cast<int>(allSecrets_.size()); }
  int verifiedFrames() const { return verifiedFrames_; }
  int certifications() const { return certifications_; }
  int maskRequests() const { return owner_->maskRequests(); }
  const std::vector<std::string>& failures() const { return failures_; }
  const std::vector<std::string>& violations() const { return violations_; }

 private:
  // Keeps the overlay's window on screen for the whole run, in a corner nothing is typed into.
  static model::ProtectedRedaction standingMask() {
    model::ProtectedRedaction mask;
    mask.normalizedFrame = Rect{{0.9, 0.9}, {0.08, 0.08}};
    mask.scope = model::ProtectedRedactionScope::sourceOverlay;
    return mask;
  }

  void configure() {
    LegacySourceProtectionConfiguration configuration;
    configuration.protectedAppBundleIDs = {testing::kVaultID};
    if (keysProtected_) configuration.protectedAppBundleIDs.insert(kKeysID);
    configuration.maskAllRecognizedText = false;
    configuration.sourceOverlayWindowIDs = {overlay_.windowNumber()};
    h_.engine->configure(configuration);
  }

  void inspect(const capture::ProtectedOutputSurface::Snapshot& snapshot) {
    ++checkedFrames_;
    for (const auto window : h_.desktop->windowsInFrame(*snapshot.image)) {
      const bool protectedWindow =
          window == h_.vaultWindow || (window == keysWindow_ && *keysHidden_);
      if (recognizer_->isSecret(window) || protectedWindow) {
        violations_.push_back("frame " + std::to_string(snapshot.sequence) + " shows " +
                              (protectedWindow ? "protected window " : "secret ") +
                              std::to_string(window) + " at " + std::to_string(h_.loop.uptime()));
      }
    }
  }

  // Anywhere on the frame, the right and bottom edges included: a secret in the last tile row or
  // column of a frame that is not a whole number of tiles must be analysed like any other.
  void typeSecret() {
    std::uniform_int_distribution<int> width(40, 120);
    const int secretWidth = width(random_);
    std::uniform_int_distribution<int> x(10, static_cast<int>(frameSize_.width) - secretWidth);
    std::uniform_int_distribution<int> line(0, static_cast<int>(frameSize_.height - 33) / 14);
    const Rect frame{{double(x(random_)), 24.0 + 14 * line(random_)}, {double(secretWidth), 9}};
    auto window = h_.desktop->addWindow(h_.editor, {frame});
    if (!window.ok()) return;
    recognizer_->addSecret(window.value());
    allSecrets_.push_back(window.value());
    liveSecrets_.push_back(window.value());
  }

  void typeText() {
    (void)h_.desktop->setWindowPattern(h_.editorWindow, SimWindowPattern{true, 6, ++editorPhase_});
  }

  void scroll() {
    std::vector<std::uint32_t> kept;
    for (const auto window : liveSecrets_) {
      const auto state = h_.desktop->window(window);
      if (!state) continue;
      if (state->frame.minY() < 38) {
        (void)h_.desktop->closeWindow(window);
      } else {
        (void)h_.desktop->moveWindow(window, {state->frame.minX(), state->frame.minY() - 14});
        kept.push_back(window);
      }
    }
    liveSecrets_ = kept;
    typeText();
  }

  void clear() {
    for (const auto window : liveSecrets_) (void)h_.desktop->closeWindow(window);
    liveSecrets_.clear();
  }

  // The user protects or releases the Keys application; the owner has the running capture pick
  // it up at once. Its windows count as hidden from the moment the filter took it in.
  void toggleKeys() {
    keysProtected_ = !keysProtected_;
    if (!keysProtected_) *keysHidden_ = false;
    configure();
    auto refresh = runtime::spawn(refreshThenMark(h_.engine, keysProtected_, keysHidden_));
    (void)refresh;
  }
  static runtime::Task<void> refreshThenMark(std::shared_ptr<LegacySourceProtectionEngine> engine,
                                             bool protects, std::shared_ptr<bool> hidden) {
    auto refresh = engine->refreshCaptureFilter();
    const auto result = co_await std::move(refresh);
    if (protects && result.filterApplied) *hidden = true;
  }

  void stall() {
    h_.desktop->captureScript().stalled = true;
    const int tenths = 3 + static_cast<int>(random_() % 10);
    for (int i = 0; i < tenths; ++i) {
      if (random_() % 2 == 0) typeSecret();
      h_.loop.advance(0.1);
    }
    h_.desktop->captureScript().stalled = false;
  }

  void changeSourceContext() {
    h_.engine->beginSourceContextTransition();
    typeSecret();
    h_.loop.advance(0.3);
    h_.engine->endSourceContextTransition();
  }

  // The user takes a while to look at a baseline (newer frames meanwhile ask the pipeline to
  // supersede the analysis), then mostly approves it.
  void reviewBaseline() {
    if (!h_.engine->hasPendingBaselineApproval() || random_() % 3 != 0) return;
    if (random_() % 5 == 0) {
      h_.engine->rejectPendingBaseline();
    } else {
      (void)h_.engine->approvePendingBaseline();
    }
  }

  void restart() {
    verifiedFrames_ += h_.engine->metrics.value().verifiedFrames;
    h_.stop();
    h_.start();
  }

  void step() {
    reviewBaseline();
    std::uniform_int_distribution<int> pick(0, 40);
    const int event = pick(random_);
    if (event < 10) {
      typeSecret();
    } else if (event < 18) {
      typeText();
    } else if (event < 24) {
      scroll();
    } else if (event < 26) {
      clear();
    } else if (event < 28) {
      toggleKeys();
    } else if (event < 30) {
      stall();
    } else if (event < 32) {
      changeSourceContext();
    } else if (event < 33) {
      h_.engine->requestBaselineRefresh();
    } else if (event < 34) {
      restart();
    }
  }

  VerificationEngineHarness h_;
  platform::Size frameSize_;
  std::mt19937 random_;
  std::shared_ptr<MarkerRecognizer> recognizer_ = std::make_shared<MarkerRecognizer>();
  std::shared_ptr<platform::sim::SimWindowSystem> windows_ =
      std::make_shared<platform::sim::SimWindowSystem>(h_.desktop);
  SourceRedactionOverlayManager overlay_{windows_, testing::drawnMasksFactory()};
  std::optional<corvane::testing::VerificationEngineOwner> owner_;
  std::int32_t keys_ = 0;
  std::uint32_t keysWindow_ = 0;
  bool keysProtected_ = false;
  std::shared_ptr<bool> keysHidden_ = std::make_shared<bool>(false);
  int editorPhase_ = 0;
  std::vector<std::uint32_t> allSecrets_;
  std::vector<std::uint32_t> liveSecrets_;
  bool overlayKept_ = false;
  int checkedFrames_ = 0;
  int verifiedFrames_ = 0;
  int certifications_ = 0;
  std::vector<std::string> failures_;
  std::vector<std::string> violations_;
};

struct PrivacyRun {
  platform::Size frameSize;
  std::uint32_t seed = 0;
};
void PrintTo(const PrivacyRun& run, std::ostream* out) {
  *out << run.frameSize.width << "x" << run.frameSize.height << " seed " << run.seed;
}

// Common screen sizes, most of them not a whole number of 64-pixel tiles, and one odd size.
std::vector<PrivacyRun> privacyRuns() {
  const std::vector<platform::Size> sizes{{320, 180},   {1440, 900},  {1366, 768},
                                          {1680, 1050}, {1920, 1080}, {1001, 667}};
  std::vector<PrivacyRun> runs;
  for (std::uint32_t seed = 1; seed <= 20; ++seed)
    runs.push_back({sizes[seed % sizes.size()], seed * 7919u});
  return runs;
}

class SourceMaskPrivacyInvariantTest : public ::testing::TestWithParam<PrivacyRun> {};

TEST_P(SourceMaskPrivacyInvariantTest, NoPublishedFrameShowsASecretOrAProtectedWindow) {
  SourceMaskPrivacySession session(GetParam().frameSize, GetParam().seed);
  session.run(12.0);
  ASSERT_TRUE(session.overlayKept());
  EXPECT_TRUE(session.violations().empty())
      << session.violations().size() << " violations, first: " << session.violations().front();
  EXPECT_TRUE(session.failures().empty()) << session.failures().front();
  // The run did what it is for: secrets were typed and masked at their source, and verified
  // frames kept reaching the output.
  EXPECT_GT(session.secretsTyped(), 8);
  EXPECT_GT(session.maskRequests(), 7);
  EXPECT_GT(session.certifications(), 3);
  EXPECT_GT(session.verifiedFrames(), 4);
  EXPECT_GT(session.checkedFrames(), 12);
}

INSTANTIATE_TEST_SUITE_P(SizesAndSeeds, SourceMaskPrivacyInvariantTest,
                         ::testing::ValuesIn(privacyRuns()),
                         [](const ::testing::TestParamInfo<PrivacyRun>& info) {
                           return std::to_string(static_cast<int>(info.param.frameSize.width)) +
                                  "x" +
                                  std::to_string(static_cast<int>(info.param.frameSize.height)) +
                                  "_seed" + std::to_string(info.param.seed);
                         });

}  // namespace
}  // namespace corvane::verification
