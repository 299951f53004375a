#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <unordered_set>

#include "model/date_coding.h"
#include "model/models.h"

namespace corvane::model {
namespace {

using nlohmann::json;

TEST(EnumCodingTest, CasesKeepTheirOrderAndRawValues) {
  std::vector<std::string> kinds;
  for (auto kind : allCases<SensitiveKind>()) kinds.emplace_back(rawValue(kind));
  EXPECT_EQ(kinds, (std::vector<std::string>{"apiKey", "email", "phoneNumber", "customer",
                                             "revenue", "internalURL"}));
  std::vector<std::string> phases;
  for (auto phase : allCases<ProtectedSharePhase>()) phases.emplace_back(rawValue(phase));
  EXPECT_EQ(phases, (std::vector<std::string>{"idle", "permissionRequired", "starting", "analyzing",
                                              "sharing", "stopping", "failed"}));
  EXPECT_EQ(json(HealthState::inactive), json("inactive"));
  EXPECT_EQ(json(DetectionDecision::ignoredOnce), json("ignoredOnce"));
  EXPECT_EQ(json(ProtectedRedactionScope::unverifiedChange), json("unverifiedChange"));
  EXPECT_EQ(json(ScanMode::liveScreen), json("liveScreen"));
  EXPECT_EQ(json("critical").get<RiskLevel>(), RiskLevel::critical);
}

TEST(EnumCodingTest, UnknownRawValueDoesNotDecode) {
  EXPECT_THROW(json("creditCard").get<SensitiveKind>(), std::exception);
  EXPECT_THROW(json(3).get<RiskLevel>(), std::exception);
  EXPECT_FALSE(fromRawValue<HealthState>("Pass").has_value());
}

TEST(SharePhaseTest, ActiveRangeIsStartingToStopping) {
  std::vector<ProtectedSharePhase> active;
  for (auto phase : allCases<ProtectedSharePhase>()) {
    if (isActive(phase)) active.push_back(phase);
  }
  EXPECT_EQ(active, (std::vector{ProtectedSharePhase::starting, ProtectedSharePhase::analyzing,
                                 ProtectedSharePhase::sharing, ProtectedSharePhase::stopping}));
}

TEST(UuidTest, RandomIsVersionFourUppercaseAndRoundTrips) {
  const Uuid a = Uuid::random();
  const Uuid b = Uuid::random();
  EXPECT_NE(a, b);
  const std::string text = a.string();
  ASSERT_EQ(text.size(), 36u);
  EXPECT_EQ(text[14], '4');
  EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
  EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos);
  EXPECT_EQ(Uuid::parse(text), a);
  std::string lower = text;
  for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(Uuid::parse(lower), a);
  EXPECT_FALSE(Uuid::parse("not-a-uuid").has_value());
  EXPECT_FALSE(Uuid::parse("0123456789AB-CDEF-0123-4567-89ABCDEF01").has_value());
  EXPECT_TRUE(Uuid().isNil());
}

TEST(SensitiveRuleTest, DefaultsHoldOneEnabledRulePerKindInOrder) {
  const auto rules = SensitiveRule::defaults();
  ASSERT_EQ(rules.size(), allCases<SensitiveKind>().size());
  for (std::size_t i = 0; i < rules.size(); ++i) {
    EXPECT_EQ(rules[i].id, allCases<SensitiveKind>()[i]);
    EXPECT_TRUE(rules[i].isEnabled);
  }
  EXPECT_EQ(json(rules[1]), json::parse(R"({"id":"email","isEnabled":true})"));
}

TEST(ProtectedAppTest, DefaultsAreSixEnabledDistinctApplications) {
  const auto& apps = ProtectedApp::defaults();
  ASSERT_EQ(apps.size(), 6u);
  std::set<std::string> ids;
  for (const auto& app : apps) {
    EXPECT_TRUE(app.isEnabled);
    EXPECT_FALSE(app.name.empty());
    EXPECT_FALSE(app.systemImage.empty());
    ids.insert(app.id);
  }
  EXPECT_EQ(ids.size(), 6u);
  EXPECT_TRUE(ids.contains("org.keepassxc.KeePassXC"));
}

TEST(ProtectedAppTest, EncodesFieldNamesAndRoundTrips) {
  ProtectedApp app{"org.signal.Signal", "Signal", "message.fill", false};
  const json encoded = app;
  EXPECT_EQ(encoded, json::parse(R"({"id":"org.signal.Signal","name":"Signal",
                                     "systemImage":"message.fill","isEnabled":false})"));
  EXPECT_EQ(encoded.get<ProtectedApp>(), app);
  EXPECT_THROW(json::parse(R"({"id":"x","name":"X"})").get<ProtectedApp>(), std::exception);
}

TEST(DetectedItemTest, RawTextIsNeverEncoded) {
  DetectedItem item;
  item.text = "sk-…9f";
  item.rawText = "sk-live-secret-9f";
  item.kind = SensitiveKind::apiKey;
  item.source = "Terminal";
  item.confidence = 0.9;
  item.screenFrame = platform::Rect{{0.1, 0.2}, {0.3, 0.05}};
  const json encoded = item;
  EXPECT_FALSE(encoded.contains("rawText"));
  EXPECT_EQ(encoded.dump().find("secret"), std::string::npos);
  const auto decoded = encoded.get<DetectedItem>();
  EXPECT_FALSE(decoded.rawText.has_value());
  EXPECT_EQ(decoded.screenFrame, item.screenFrame);
  EXPECT_EQ(decoded.decision, DetectionDecision::undecided);
  DetectedItem withoutRaw = item;
  withoutRaw.rawText.reset();
  EXPECT_EQ(decoded, withoutRaw);
}

TEST(DetectedItemTest, EqualityAndHashingIncludeTheId) {
  DetectedItem a;
  a.text = "same";
  DetectedItem b = a;
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<DetectedItem>()(a), std::hash<DetectedItem>()(b));
  b.id = Uuid::random();
  EXPECT_NE(a, b);
  std::unordered_set<DetectedItem> set{a, b};
  EXPECT_EQ(set.size(), 2u);
}

TEST(ProtectionOptionsTest, MissingKeysKeepDefaultsButWrongTypesFail) {
  const auto partial = json::parse(R"({"hideDesktopIcons":false,"selectedDisplayID":2})");
  const auto options = partial.get<ProtectionOptions>();
  EXPECT_FALSE(options.hideDesktopIcons);
  EXPECT_EQ(options.selectedDisplayID, 2u);
  EXPECT_TRUE(options.remindToSilenceNotifications);
  EXPECT_THROW(json::parse(R"({"hideDesktopIcons":"yes"})").get<ProtectionOptions>(),
               std::exception);
  EXPECT_THROW(json::parse("[]").get<ProtectionOptions>(), std::exception);
  EXPECT_THROW(json::parse(R"({"selectedDisplayID":-1})").get<ProtectionOptions>(), std::exception);
  EXPECT_THROW(json::parse(R"({"selectedDisplayID":4294967296})").get<ProtectionOptions>(),
               std::exception);
  EXPECT_FALSE(
      json::parse(R"({"selectedDisplayID":null})").get<ProtectionOptions>().selectedDisplayID);

  ProtectionOptions defaults;
  const json encoded = defaults;
  EXPECT_FALSE(encoded.contains("selectedDisplayID"));
  EXPECT_EQ(encoded.get<ProtectionOptions>(), defaults);
}

TEST(SessionRecordsTest, RoundTripThroughJson) {
  ProtectedRedaction redaction;
  redaction.title = "API key";
  redaction.normalizedFrame = {{-0.1, 0.5}, {1.2, 0.1}};
  redaction.scope = ProtectedRedactionScope::sourceOverlay;
  ProtectedRenderedFrame frame{42, {1920, 1080}, {redaction}};
  const json encodedFrame = frame;
  EXPECT_EQ(encodedFrame["pixelSize"], json::parse("[1920.0,1080.0]"));
  EXPECT_EQ(encodedFrame.get<ProtectedRenderedFrame>(), frame);

  ProtectedFrameAnalysisResult result{true, {redaction}, {DetectedItem{}}, 17, true};
  EXPECT_EQ(json(result).get<ProtectedFrameAnalysisResult>(), result);

  auto metrics = ProtectedShareMetrics::empty();
  EXPECT_EQ(metrics.capturedFrames, 0);
  EXPECT_FALSE(metrics.lastFrameDate.has_value());
  metrics.outputWidth = 1280;
  metrics.lastFrameDate = runtime::wallTimeFromSeconds(1767603600.5);
  EXPECT_EQ(json(metrics)["lastFrameDate"], "2026-01-05T09:00:00.500Z");
  EXPECT_EQ(json(metrics).get<ProtectedShareMetrics>(), metrics);
  auto badDate = json(metrics);
  badDate["lastFrameDate"] = "yesterday";
  EXPECT_THROW(badDate.get<ProtectedShareMetrics>(), std::exception);

  CaptureDisplay display{3, "HDMI-1", "1920 × 1080"};
  EXPECT_EQ(json(display).get<CaptureDisplay>(), display);

  HealthItem first{.title = "Screen capture", .detail = "Allowed", .state = HealthState::pass};
  HealthItem second{.title = "Screen capture", .detail = "Allowed", .state = HealthState::pass};
  EXPECT_NE(first.id, second.id);
  EXPECT_EQ(json(first).get<HealthItem>(), first);
}

class FixedTheme final : public PaletteTheme {
 public:
  Color controlBackground() const override { return {0.2, 0.2, 0.2, 1}; }
  Color separator() const override { return {1, 1, 1, 0.2}; }
  Color windowBackground() const override { return {0.1, 0.1, 0.1, 1}; }
};

TEST(DateCodingTest, MillisecondDatesRoundTripExactly) {
  const runtime::WallTime base = runtime::wallTimeFromSeconds(1767603600);
  for (int millis = 0; millis < 1000; ++millis) {
    const auto time = base + std::chrono::milliseconds(millis);
    const std::string text = formatDateWithMilliseconds(time);
    const auto decoded = parseDate(text);
    ASSERT_TRUE(decoded.has_value()) << text;
    EXPECT_EQ(*decoded, time) << text;
  }
  EXPECT_EQ(parseDate("2026-01-05T10:00:00.5+01:00"), parseDate("2026-01-05T09:00:00.500Z"));
}

TEST(DateCodingTest, DatesThatDoNotExistAreRefused) {
  for (const char* text :
       {"2026-13-45T99:99:99Z", "2026-02-29T00:00:00Z", "2026-04-31T00:00:00Z",
        "2026-00-10T00:00:00Z", "2026-01-10T24:00:00Z", "2026-01-10T10:60:00Z",
        "2026-01-10T10:00:60Z", "2026-1-10T10:00:00Z", "2026-01-10T10:00:00.Z",
        "2026-01-10T10:00:00+25:00", "2026-01-10T+1:00:00Z", "2026-01-10T10:00:00"}) {
    EXPECT_FALSE(parseDate(text).has_value()) << text;
  }
  EXPECT_TRUE(parseDate("2024-02-29T23:59:59Z").has_value());
  // Real dates, but beyond what 64-bit nanoseconds since 1970 can hold.
  EXPECT_FALSE(parseDate("9999-12-31T23:59:59Z").has_value());
  EXPECT_FALSE(parseDate("1000-01-01T00:00:00Z").has_value());
}

TEST(PaletteTest, FixedColoursAndInstallableTheme) {
  EXPECT_EQ(Palette::privacyGreen(), (Color{0.09, 0.62, 0.25, 1}));
  EXPECT_EQ(Palette::criticalRed(), (Color{0.92, 0.18, 0.18, 1}));
  EXPECT_EQ(Palette::warningAmber().withOpacity(0.12).opacity, 0.12);
  const Color builtInSurface = Palette::panelSurface();
  auto previous = installPaletteTheme(std::make_shared<FixedTheme>());
  EXPECT_EQ(Palette::panelSurface(), (Color{0.2, 0.2, 0.2, 1}));
  EXPECT_EQ(Palette::panelBorder(), (Color{1, 1, 1, 0.2}));
  EXPECT_EQ(Palette::appBackground(), (Color{0.1, 0.1, 0.1, 1}));
  installPaletteTheme(previous);
  EXPECT_EQ(Palette::panelSurface(), builtInSurface);
}

}  // namespace
}  // namespace corvane::model
