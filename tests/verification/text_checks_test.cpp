#include <gtest/gtest.h>

#include "verification/hangul_misreading.h"
#include "verification/slipped_structure.h"
#include "verification/structured_text_heuristics.h"
#include "verification/text_coverage_geometry.h"

namespace corvane::verification {
namespace {

using model::SensitiveKind;
using platform::Rect;
using Geometry = TextCoverageGeometry;
using Heuristics = StructuredTextHeuristics;

TEST(TextCoverage, CoverageIsTheShareOfTheRectUnderGrownFrames) {
  const Rect r{{0.2, 0.2}, {0.4, 0.1}};
  EXPECT_EQ(Geometry::recognizedCoverage({{0.2, 0.2}, {0, 0.1}}, {r}), 0);
  EXPECT_EQ(Geometry::recognizedCoverage(r, {{{0.8, 0.8}, {0.1, 0.1}}}), 0);
  EXPECT_DOUBLE_EQ(Geometry::recognizedCoverage(r, {r, r}), 1);
  // The left half, grown by 0.12 × 0.4 = 0.048 to the right: 0.248 of 0.4 wide, full height.
  EXPECT_NEAR(Geometry::recognizedCoverage(r, {{{0.2, 0.2}, {0.2, 0.1}}}), 0.62, 1e-9);
  // Two overlapping frames are not counted twice.
  EXPECT_NEAR(
      Geometry::recognizedCoverage(r, {{{0.2, 0.2}, {0.2, 0.1}}, {{0.25, 0.2}, {0.1, 0.1}}}), 0.62,
      1e-9);
}

TEST(TextCoverage, CharacterRunsNeedThreeCloseBoxesOnOneLine) {
  auto box = [](double x) { return Rect{{x, 0}, {10, 10}}; };
  EXPECT_EQ(Geometry::unverifiedCharacterRuns({box(0), box(25), box(50)}).size(), 1u);
  EXPECT_TRUE(Geometry::unverifiedCharacterRuns({box(0), box(25), box(50.01)}).empty());
  EXPECT_TRUE(Geometry::unverifiedCharacterRuns({box(0), box(12)}).empty());
  const Rect lifted{{24, 8}, {10, 10}};  // drifts 8 > 0.75 × 10
  EXPECT_TRUE(Geometry::unverifiedCharacterRuns({box(0), box(12), lifted}).empty());
}

TEST(TextCoverage, UncoveredRunsOfDetectedRegions) {
  const DetectedTextRegion word{{{0.1, 0.1}, {0.5, 0.05}},
                                {{{0.1, 0.1}, {0.04, 0.05}},
                                 {{0.15, 0.1}, {0.04, 0.05}},
                                 {{0.2, 0.1}, {0.04, 0.05}},
                                 {{0.45, 0.1}, {0.04, 0.05}},
                                 {{0.5, 0.1}, {0.04, 0.05}},
                                 {{0.55, 0.1}, {0.04, 0.05}}}};
  // Nothing read: the two runs of three characters.
  EXPECT_EQ(Geometry::uncoveredCharacterRuns({}, {word}).size(), 2u);
  // The right half read: only the left run remains.
  const auto left = Geometry::uncoveredCharacterRuns({{{0.44, 0.1}, {0.16, 0.05}}}, {word});
  ASSERT_EQ(left.size(), 1u);
  EXPECT_NEAR(left[0].maxX(), 0.24, 1e-9);
  // Read to 0.68 or more: nothing, even with characters left over.
  EXPECT_TRUE(Geometry::uncoveredCharacterRuns({{{0.1, 0.1}, {0.4, 0.05}}}, {word}).empty());
  // Only two isolated characters uncovered: no run, so the region is reported whole.
  const DetectedTextRegion pair{{{0.1, 0.5}, {0.3, 0.05}},
                                {{{0.1, 0.5}, {0.02, 0.05}}, {{0.35, 0.5}, {0.02, 0.05}}}};
  const auto whole = Geometry::uncoveredCharacterRuns({{{0.17, 0.5}, {0.1, 0.05}}}, {pair});
  ASSERT_EQ(whole.size(), 1u);
  EXPECT_EQ(whole[0], pair.frame);
  // A region without character boxes is reported whole.
  EXPECT_EQ(Geometry::uncoveredCharacterRuns({}, {{pair.frame, {}}}).size(), 1u);
}

TEST(TextCoverage, FallbackRegionsAreBoundedAndMerged) {
  EXPECT_FALSE(Geometry::shouldRunFallbackOCR({}, 3, 0.08));
  EXPECT_TRUE(Geometry::shouldRunFallbackOCR({{{0, 0}, {0.25, 0.25}}, {{0, 0}, {-1, 1}}}, 3, 0.08));
  EXPECT_FALSE(Geometry::shouldRunFallbackOCR({{{0, 0}, {0.3, 0.3}}}, 3, 0.08));
  EXPECT_FALSE(
      Geometry::shouldRunFallbackOCR(std::vector<Rect>(4, {{0, 0}, {0.01, 0.01}}), 3, 0.08));

  EXPECT_TRUE(Geometry::coalescedFallbackRegions({{{0, 0}, {0.1, 0.1}}}, 0).empty());
  const auto one = Geometry::coalescedFallbackRegions(
      {{{0.8, 0.8}, {0.1, 0.1}}, {{0, 0}, {0.1, 0.1}}, {{0.2, 0}, {0.1, 0.1}}, {{2, 2}, {1, 1}}},
      1);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], (Rect{{0, 0}, {0.9, 0.9}}));
  // Touching within 0.004 merges without the limit forcing it.
  EXPECT_EQ(Geometry::coalescedFallbackRegions({{{0, 0}, {0.1, 0.1}}, {{0.107, 0}, {0.1, 0.1}}}, 5)
                .size(),
            1u);
}

TEST(TextCoverage, VisibleStructure) {
  platform::PixelBuffer image(300, 20);
  image.fill(0xFF808080);
  EXPECT_FALSE(Geometry::regionHasVisibleStructure(image, {{0, 0}, {1, 1}}));
  EXPECT_TRUE(Geometry::regionHasVisibleStructure(image, {{1.2, 0}, {0.5, 1}}));
  // A few vertical strokes: enough edges for a small sample.
  for (int x = 100; x < 200; x += 10) {
    for (int y = 5; y < 15; ++y) image.setPixel(x, y, 0xFF000000);
  }
  EXPECT_TRUE(Geometry::regionHasVisibleStructure(image, {{0, 0}, {1, 1}}));
  EXPECT_FALSE(Geometry::regionHasVisibleStructure(image, {{0, 0}, {0.3, 1}}));
}

TEST(StructuredText, LookAlikeDigitsAreRepairedOnlyInNumberLikeTokens) {
  EXPECT_EQ(Heuristics::confusableDigit("o"), '0');
  EXPECT_EQ(Heuristics::confusableDigit("!"), '1');
  EXPECT_EQ(Heuristics::confusableDigit("x"), std::nullopt);
  EXPECT_EQ(Heuristics::normalizedConfusableStructuredText("Call 4O1-555-O1OO now, or 4O1-55"),
            "Call 401-555-0100 now, or 4O1-55");
  EXPECT_EQ(Heuristics::normalizedConfusableStructuredText("SOLDOUT23 and 12O4I5"),
            "SOLDOUT23 and 12O4I5");
  EXPECT_EQ(Heuristics::normalizedConfusableStructuredText("id 1234567xyz"), "id 1234567xy2");
  EXPECT_EQ(Heuristics::normalizedConfusableStructuredText("id 1234567xyw"), "id 1234567xyw");
}

TEST(StructuredText, SpacesAroundAddressPunctuationAreTakenOut) {
  using H = StructuredTextHeuristics;
  EXPECT_EQ(H::tightenedPunctuationSpacing("nina@ quarry .io"), "nina@quarry.io");
  EXPECT_EQ(H::tightenedPunctuationSpacing("http:  // admin. host .eu / x"),
            "http://admin.host.eu/x");
  EXPECT_EQ(H::tightenedPunctuationSpacing("two  plain words"), "two  plain words");
  EXPECT_EQ(H::tightenedPunctuationSpacing(" @ "), "@");
  // A zero read as "@" in a time joins nothing.
  EXPECT_EQ(H::tightenedPunctuationSpacing("Nov 29 17:4@ README.md"), "Nov 29 17:4@ README.md");
  EXPECT_EQ(H::tightenedPunctuationSpacing(""), "");
}

TEST(StructuredText, AddressesReadWithMisreadDotsAreWrittenBack) {
  using H = StructuredTextHeuristics;
  EXPECT_EQ(H::repairedAddressPunctuation("owner k,osei@tidewater,co,uk (ok?"),
            "owner k.osei@tidewater.co.uk (ok?");
  EXPECT_EQ(H::repairedAddressPunctuation("see https3//admin, tidewater ,net/deploys/4497"),
            "see https://admin.tidewater.net/deploys/4497");
  EXPECT_EQ(H::repairedAddressPunctuation("url: http?//staging;larkspur,dev"),
            "url: http://staging.larkspur.dev");
  EXPECT_EQ(H::repairedAddressPunctuation("URL=internal,larkspur,io/queues"),
            "URL=internal.larkspur.io/queues");
  // After an at sign, one dot read as a space before a dotted rest.
  EXPECT_EQ(H::repairedAddressPunctuation("notify: sent to dana.w@larkspur co.uk"),
            "notify: sent to dana.w@larkspur.co.uk");
  // Numbers, two words, prose with its spaces and addresses already right stay as they are.
  for (const char* kept : {"booked $4,065,938.00", "Restarting ledger-worker,service ,,, done",
                           "internal, staging, and admin", "mail ann@b.co now",
                           "https://admin.host.eu/x", "ask ann@corp or bob", "ann@corp see docs"})
    EXPECT_EQ(H::repairedAddressPunctuation(kept), kept) << kept;
}

TEST(StructuredText, MarksReadAsTheirLookAlikesAreWrittenBack) {
  using H = StructuredTextHeuristics;
  EXPECT_EQ(H::writtenBackLookAlikeMarks("ouner k.osei\u00AEtidewater.co.uk (ok)"),
            "ouner k.osei@tidewater.co.uk (ok)");
  EXPECT_EQ(H::writtenBackLookAlikeMarks("booked \u00A7 \u00A72,865,978 (final)"),
            "booked \u00A7 $2,865,978 (final)");
  EXPECT_EQ(H::writtenBackLookAlikeMarks("net: \u00A7412,000.50"), "net: $412,000.50");
  EXPECT_EQ(H::writtenBackLookAlikeMarks("TOKEN=sk~proj~abtsWF"), "TOKEN=sk-proj-abtsWF");
  EXPECT_EQ(H::writtenBackLookAlikeMarks("phone: 030 555@ 4826"), "phone: 030 5550 4826");
  // Signs that stand for themselves stay: a section before a plain number, a registered mark
  // after a name.
  for (const char* kept :
       {"see \u00A7 12 and \u00A73", "\u00A71234", "Corvane\u00AE 2", "\u00AEcorp", "\u00A72,86",
        "cd ~/ledger", "~ home", "mail 12345@corp.io", "17:4@ README.md", "a@ b", ""})
    EXPECT_EQ(H::writtenBackLookAlikeMarks(kept), kept) << kept;
}

TEST(StructuredText, SuspiciousLines) {
  const std::set<SensitiveKind> all = {SensitiveKind::email, SensitiveKind::apiKey,
                                       SensitiveKind::phoneNumber};
  auto suspicious = [&](const std::string& text, std::set<SensitiveKind> kinds) {
    return Heuristics::isSuspiciousStructuredText(
        text, Heuristics::normalizedConfusableStructuredText(text), kinds);
  };
  EXPECT_FALSE(suspicious("@team.io standup", all));
  EXPECT_TRUE(suspicious("write to ann@b.co", {SensitiveKind::email}));
  EXPECT_FALSE(suspicious("write to ann@b.c", {SensitiveKind::email}));
  EXPECT_TRUE(suspicious("value = \"ops-team@#northwind.com\"", {SensitiveKind::email}));
  // A prompt's host ends before its path: no domain.
  EXPECT_FALSE(suspicious("dana@build-07.~/ledger/x.y$ git log", {SensitiveKind::email}));
  EXPECT_FALSE(suspicious("dana@build-07:~/deploy/.env", {SensitiveKind::email}));
  // Zeros read as "@" in versions make no address: neither side holds a letter.
  EXPECT_FALSE(
      suspicious("Compiling ledger-core v@.8.1 (/srv/ledger/core)", {SensitiveKind::email}));
  EXPECT_FALSE(suspicious("version 1@.4.22@1 (build 88123)", {SensitiveKind::email}));
  EXPECT_TRUE(suspicious("Password reset", all));
  EXPECT_FALSE(suspicious("Password reset", {SensitiveKind::email}));
  EXPECT_FALSE(suspicious("id=abcdefghij123456789", {SensitiveKind::apiKey}));  // 19 characters
  EXPECT_TRUE(suspicious("id=abcdefghij1234567890", {SensitiveKind::apiKey}));
  EXPECT_TRUE(suspicious("Key: AKIAPXBUNKG)S7QWSUET", {SensitiveKind::apiKey}));
  // A prompt is no long token: the "@" parts the user from the host.
  EXPECT_FALSE(
      suspicious("dana@build-073\u201c/ledger$ tail -n 12 logs/app.log", {SensitiveKind::apiKey}));
  // A key's marker flags the line wherever it begins a word, whatever follows it: a misread
  // character inside the key, a key cut short, or nothing at all. After "_", "=", ":", quotes and
  // brackets a word begins; glued on after a change of case ("Xsk-") it needs a key-like body.
  for (const char* key :
       {"token printed: AKIA@@QOFXSY6RS2AD6P",
        "export TOKEN=ghp_8qYN@p7VxpdSaymXH7 sUjVidFFPLCpDp@nYU",
        "Temporary key ghp_TbhBLmq|wBoEgenLWDLjbESAZdryzTo dNNFZ", "ghp_x", "sk-x", "token AKIAXYZ",
        "akia", "KEY=sk-live4f9a b8Cd", "key_sk-abc12345XYZ", "Xsk-Ab12Cd34Ef", "\"sk-a\"",
        "[ghp_a8Kd]", "id:AKIA2QX7", "IdAKIA2QX7", "pip install sk-learn"})
    EXPECT_TRUE(suspicious(key, {SensitiveKind::apiKey})) << key;
  // A marker inside an ordinary word is none.
  for (const char* plain :
       {"the task-force meets", "TASK-FORCE2024 notes", "Ask-me-anything thread", "Akiane paints",
        "whisk-ey tasting", "Alaskan ghp tokens"})
    EXPECT_FALSE(suspicious(plain, {SensitiveKind::apiKey})) << plain;
  EXPECT_TRUE(suspicious("tel 415 555 01 23 99", {SensitiveKind::phoneNumber}));
  EXPECT_FALSE(suspicious("tel 415 555 01", {SensitiveKind::phoneNumber}));
  // The token pattern takes one or two letters but no spaces.
  EXPECT_TRUE(suspicious("ref 4155X550123", {SensitiveKind::phoneNumber}));
  EXPECT_FALSE(suspicious("ref 4155XY55012W3", {SensitiveKind::phoneNumber}));
  EXPECT_FALSE(suspicious("ref 4155 X 550123", {SensitiveKind::phoneNumber}));
  // Only the normalised text counts.
  EXPECT_TRUE(Heuristics::isSuspiciousPhoneText("call 4O1555O1OO", "call 4015550100"));
  EXPECT_FALSE(Heuristics::isSuspiciousPhoneText("call 4015550100", "call 4O1555O1OO"));
}

// Readings of addresses, keys and amounts with the recognizer's slips in them still show their
// shape; prompts, paths, file names and versions do not.
TEST(StructuredText, StructureShowsThroughSlips) {
  for (const char* reading :
       {"url: http://admin,bramb lecorp. io.", "remote; see staging,tidewater, io/deploys/9675",
        "notify: sent to noc-alerts@tidewater com", "MAIL_FROM=r,okafor@bramblecorp,com (ok)",
        "Author: <k ,osei@larkspur .co.uk>", "export TOKEN=AK IAUN6CJ 22D TVESMRF",
        "STRIPE_SECRE T=AK IA YMSSD4UFP3AUSHP4", "invoice run total S2,484,755 MRR",
        "MAIL_ FROM= dana, whitf ield@oakr idge- labs ,dey>", "see adnin.tidewater net/grafana"})
    EXPECT_TRUE(showsStructureDespiteSlips(reading)) << reading;
  for (const char* reading :
       {"dana@build-073\"/ledger$ kubect1 get pods", "dana@bui ld-073/ledger$ cat deploy/.env",
        "Restarting ledger-worker.service ... done", "tail -n 12 logs/app.log",
        "version 10.4.2201 (build 88123)", "Finished release [optimized] target(s) in 41.27s",
        "drwxr-xr-x 4 dana staff 128 Nov 30 09:12 migrations", "total 48", "ssh ops@bastion",
        "dana@build-07 :~/ledger$ kubect. 1 get pods:", "cat deploy/ env logs/app.log"})
    EXPECT_FALSE(showsStructureDespiteSlips(reading)) << reading;
}

TEST(HangulMisreading, AMatchCountsOverTheHangulOfTheRowsHangulReading) {
  EXPECT_TRUE(holdsHangul("참고 $131"));
  EXPECT_FALSE(holdsHangul("SStAt $131"));
  EXPECT_TRUE(liesOverHangul("AlAt $04] CHA] SQYLICt", "$04", "점심 식사 후에 다시 모입니다"));
  EXPECT_FALSE(liesOverHangul("SStAt $131,825.00", "$131,825.00", "참고 $13l,825.0O"));
  EXPECT_FALSE(liesOverHangul("SStAt $131", "$999", "참고 $131"));
}

TEST(StructuredText, NeverHideContainment) {
  EXPECT_FALSE(Heuristics::containsAny("anything", {}));
  EXPECT_FALSE(Heuristics::containsAny("anything", {"  ", ""}));
  EXPECT_TRUE(Heuristics::containsAny("Our ROADMAP", {" roadmap\n"}));
  // One- and two-character words (a word still being typed) match nothing.
  EXPECT_FALSE(Heuristics::containsAny("Our roadmap", {"r", "ro"}));
}

}  // namespace
}  // namespace corvane::verification
