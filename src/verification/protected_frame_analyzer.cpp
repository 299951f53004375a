#include "verification/protected_frame_analyzer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <future>
#include <limits>
#include <optional>
#include <set>
#include <system_error>

#include <unicode/uchar.h>

#include "verification/analysis_image_preparation.h"
#include "verification/background_panels.h"
#include "verification/background_polarity.h"
#include "verification/context_label_values.h"
#include "verification/hangul_misreading.h"
#include "verification/ink_rows.h"
#include "verification/normalized_geometry.h"
#include "verification/pixel_rect.h"
#include "verification/protected_frame_analyzer_entries.h"
#include "verification/slipped_structure.h"
#include "verification/structured_text_heuristics.h"
#include "verification/text_coverage_geometry.h"
#include "verification/unicode_text.h"

namespace corvane::verification {

using model::DetectedItem;
using model::ProtectedFrameAnalysisResult;
using model::ProtectedRedaction;
using platform::RecognizedTextResults;
using platform::Rect;
using platform::TextRecognitionRequest;
using Quality = ProtectedFrameAnalysisQuality;
using Geometry = TextCoverageGeometry;

namespace {

constexpr float kMinimumCandidateConfidence = 0.5f;
constexpr std::size_t kFallbackMaximumRuns = 3;
constexpr double kFallbackMaximumArea = 0.08;
constexpr std::size_t kFallbackRunLimit = 24;
// The gaps an accurate analysis re-reads are merged into at most this many requests.
constexpr int kAccurateRereadRegions = 6;
// The doubtful rows a fast analysis reads again are merged into at most this many requests.
constexpr int kDoubtfulRowRereadRegions = 6;
// A line no taller than this many of the region's rows is one row.
constexpr double kRowsOfOneLine = 1.5;

// The text of a candidate worth classifying: more than white space (a blank line must not count
// as having read the text under it).
std::optional<std::string> lineText(const platform::RecognizedTextObservation& observation) {
  if (!observation.topCandidate) return std::nullopt;
  std::string text = trimmedWhitespace(std::string_view(observation.topCandidate->string));
  if (text.empty()) return std::nullopt;
  return text;
}

// The median height of the detected words (their own space), 0 without any.
double medianHeight(const std::vector<DetectedTextRegion>& words) {
  std::vector<double> heights;
  for (const DetectedTextRegion& word : words) heights.push_back(word.frame.height());
  if (heights.empty()) return 0;
  const auto middle = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
  std::nth_element(heights.begin(), middle, heights.end());
  return *middle;
}

// Whether a reading holds letters or digits of substance: three or more. A reading of one or two
// ("a", "ac") over a box far wider is what recognition makes of a window's edge or a button.
bool hasSubstance(const std::string& text) {
  constexpr int kLettersOfSubstance = 3;
  const icu::UnicodeString unicode = utf16(text);
  int letters = 0;
  for (int32_t i = 0; i < unicode.length(); i = unicode.moveIndex32(i, 1))
    letters += u_isalnum(unicode.char32At(i)) ? 1 : 0;
  return letters >= kLettersOfSubstance;
}

// A line read confidently enough to vouch for the text under it. A line below the cut-off is
// still run through the rules, but what it did not find is covered as unverified.
bool isConfident(const platform::RecognizedTextObservation& observation) {
  return observation.topCandidate &&
         observation.topCandidate->confidence >= kMinimumCandidateConfidence;
}

std::vector<DetectedTextRegion> detectedRegions(
    const std::vector<platform::TextRectangleObservation>& observations) {
  std::vector<DetectedTextRegion> regions;
  for (const auto& observation : observations) {
    regions.push_back(
        {observation.boundingBox, observation.characterBoxes.value_or(std::vector<Rect>{})});
  }
  return regions;
}

std::vector<platform::SharedTextRequestCancellation> switchesOf(
    const std::vector<TextRecognitionRequest>& requests) {
  std::vector<platform::SharedTextRequestCancellation> switches;
  for (const auto& request : requests) switches.push_back(request.cancellation);
  return switches;
}

std::string formatted(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4f", value);
  return buffer;
}

// The doubtful readings of rows of Hangul in Latin letters, each with the confident Hangul reading
// of the same row (over most of its box) that the whole language set made. What the rules find in
// such a misreading where the row holds Hangul says nothing of the row, which its Hangul reading
// accounts for.
using LocatedTextObservation = ProtectedFrameAnalyzer::LocatedTextObservation;
std::vector<std::optional<std::string>> hangulReadingsOfMisreadRows(
    const std::vector<LocatedTextObservation>& located) {
  constexpr double kSameRow = 0.8;
  std::vector<std::optional<std::string>> hangulReadings(located.size());
  auto boxOf = [](const LocatedTextObservation& line) {
    return mappedOut(line.observation.boundingBox, line.regionOfInterest);
  };
  for (std::size_t i = 0; i < located.size(); ++i) {
    const auto text = lineText(located[i].observation);
    if (!text || isConfident(located[i].observation) || holdsHangul(*text) ||
        StructuredTextHeuristics::holdsCredentialMarker(*text))
      continue;
    const Rect box = boxOf(located[i]);
    for (const LocatedTextObservation& other : located) {
      const auto otherText = lineText(other.observation);
      if (otherText && isConfident(other.observation) && holdsHangul(*otherText) &&
          boxOf(other).intersection(box).area() >= kSameRow * box.area()) {
        hangulReadings[i] = otherText;
        break;
      }
    }
  }
  return hangulReadings;
}

// One part of a frame read on its own, and the image it is read in: the frame with the parts
// read apart from it painted over.
struct ReadPart {
  Rect region;  // top-left normalised
  platform::SharedPixelBuffer image;
  // A part whose background differs from what surrounds it (a panel, a dark terminal on a light
  // page): when nothing in it was read or detected but it shows rows of text, it is covered.
  bool ownBackground = false;
};

// A region this large a share of a frame without window areas holds a desktop's worth of windows.
constexpr double kDesktopShare = 0.25;

// The parts of the regions to read, each with its image. A part of a region with a background of
// the other polarity (a dark terminal on a light desktop) is read on its own, after the rest,
// which is read with it painted over: read with the region, it would not be inverted. A large
// region of a frame that came without its window areas is first cut into its panels
// (background_panels.h), which are read apart as windows are, each with its own polarity and text
// size, and with the parts of the other polarity within it read on their own in turn.
std::vector<ReadPart> partsToRead(const platform::SharedPixelBuffer& prepared,
                                  const std::vector<Rect>& regions, bool windowsKnown) {
  using Shared = platform::SharedPixelBuffer;
  std::vector<Rect> panels;
  for (const Rect& region : regions) {
    if (windowsKnown || region.area() < kDesktopShare) continue;
    for (const std::vector<Rect>& panel : backgroundPanels(*prepared, region))
      panels.insert(panels.end(), panel.begin(), panel.end());
  }
  const Shared withoutPanels =
      panels.empty() ? prepared : withAreasPaintedOver(*prepared, panels, regions);
  std::vector<Rect> outer, inner;
  for (const Rect& region : regions) {
    const std::vector<Rect> areas = oppositeBackgroundAreas(*withoutPanels, region);
    outer.insert(outer.end(), areas.begin(), areas.end());
  }
  for (const Rect& panel : panels) {
    const std::vector<Rect> areas = oppositeBackgroundAreas(*prepared, panel);
    inner.insert(inner.end(), areas.begin(), areas.end());
  }
  const Shared regionImage =
      outer.empty() ? withoutPanels : withAreasPaintedOver(*withoutPanels, outer, regions);
  const Shared panelImage =
      inner.empty() ? prepared : withAreasPaintedOver(*prepared, inner, panels);
  std::vector<ReadPart> parts;
  for (const Rect& region : regions) parts.push_back({region, regionImage, false});
  for (const Rect& panel : panels) parts.push_back({panel, panelImage, true});
  for (const std::vector<Rect>* areas : {&outer, &inner})
    for (const Rect& area : *areas) parts.push_back({area, prepared, true});
  return parts;
}

}  // namespace

// The state of one analyze call.
class ProtectedFrameAnalyzer::Run {
 public:
  // `original` is the frame as it was captured (prepared for recognition); a painted mask reaches
  // `maskGrowth` of its pixels (whole, rounded down) beyond its cover.
  Run(const ProtectedFrameAnalyzer& analyzer, platform::SharedPixelBuffer original,
      const SensitivityPreferences& preferences, bool maskAll, Quality quality,
      const std::shared_ptr<ProtectedAnalysisCancellation>& cancellation, int maskGrowth)
      : analyzer_(analyzer),
        recognizer_(*analyzer.services_.recognizer),
        original_(std::move(original)),
        preferences_(preferences),
        maskAll_(maskAll),
        quality_(quality),
        cancellation_(cancellation),
        maskGrowth_(maskGrowth) {}

  // Starts detecting the text areas of every part, beside the recognition of the parts. Both
  // qualities detect: text that recognition did not read is covered, never taken as verified.
  // One detection per part: parts are windows or parts of them, each with its own background,
  // and a detection over their union would pick one polarity for all.
  void startDetection(const std::vector<ReadPart>& parts) {
    if (parts.empty()) return;
    std::vector<std::pair<platform::TextRectanglesRequest, platform::SharedPixelBuffer>> requests;
    for (const ReadPart& part : parts) {
      requests.push_back({{clippedToUnit(visionRegion(part.region)), true}, part.image});
      registerSwitches({requests.back().first.cancellation});
    }
    auto detect = [this,
                   requests]() -> std::optional<std::vector<std::vector<DetectedTextRegion>>> {
      std::vector<std::vector<DetectedTextRegion>> all;
      for (const auto& [request, image] : requests) {
        auto detected = recognizer_.detectTextRectangles(*image, request);
        if (!detected.ok()) return std::nullopt;
        all.push_back(detectedRegions(detected.value()));
      }
      return all;
    };
    try {
      detection_ = std::async(std::launch::async, detect);
    } catch (const std::system_error&) {
      // No thread to spare: detect on this thread when the first region needs it.
      detection_ = std::async(std::launch::deferred, detect);
    }
  }

  // Reads part `index` of those detection started with; false when a read failed.
  bool analyzeRegion(const ReadPart& part, std::size_t index) {
    const Rect& topLeftRegion = part.region;
    const bool ownBackground = part.ownBackground;
    const Rect r = visionRegion(topLeftRegion);
    read_ = part.image;
    const auto results = perform(recognitionRequests(quality_, r));
    if (!results || !detectionFinished()) return false;

    std::vector<LocatedTextObservation> located;
    std::vector<Rect> recognizedFrames;
    for (const auto& observation : deduplicatedObservations(*results)) {
      if (!lineText(observation)) continue;
      located.push_back({observation, r});
      if (isConfident(observation)) recognizedFrames.push_back(observation.boundingBox);
    }
    const DoubtfulRows doubtful = quality_ == Quality::fast
                                      ? rereadDoubtfulRows(r, located, recognizedFrames)
                                      : DoubtfulRows{};
    const std::vector<DetectedTextRegion> local = localTextRegions(r, index);

    std::vector<Rect> uncovered = Geometry::uncoveredCharacterRuns(recognizedFrames, local);
    const std::vector<Rect> unread = worthRereading(uncovered, located, r);
    if (!unread.empty() && shouldReread(unread)) {
      if (reread(r, unread, located, recognizedFrames)) {
        uncovered = Geometry::uncoveredCharacterRuns(recognizedFrames, local);
      }
    }
    if (!uncovered.empty()) {
      reportCoverage(local.size(), recognizedFrames.size(), uncovered);
      // A run no taller than a word covers its own ink.
      const double wordHeight = medianHeight(local);
      for (const Rect& run : uncovered) {
        const Rect frame = topLeftFromRecognition(mappedOut(run, r));
        append(analyzerEntry(AnalyzerEntryCause::uncoveredText,
                             run.height() <= kRowsOfOneLine * wordHeight
                                 ? narrowedToInkRows(*read_, frame, maskGrowth_)
                                 : frame));
      }
    }
    if (!local.empty() || !located.empty()) {
      textSeen_ = true;
    } else if (ownBackground && showsTextLikeRows(*read_, topLeftRegion)) {
      append(analyzerEntry(AnalyzerEntryCause::uncoveredText, topLeftRegion));
    } else if (quality_ == Quality::fast && Geometry::regionHasVisibleStructure(*read_, r)) {
      regionsWithoutText_.push_back(topLeftFromRecognition(r));
    }
    const RowsRead rows = rowsRead(located, r);
    const auto hangulReadings = hangulReadingsOfMisreadRows(located);
    for (std::size_t i = 0; i < located.size(); ++i)
      classify(located[i], doubtful.roleOf(i), doubtful.rows, recognizedFrames, rows, local, r,
               hangulReadings[i]);
    classifyLabelledValues(located);
    return true;
  }

  // A `fast` read covers a visible change in which it found no text; the regions of one call are
  // the parts of one change (its windows), so a part without text is covered only when no part
  // held any.
  // Masks merge only within one of the parts read apart (`readApart`, the smaller first).
  ProtectedFrameAnalysisResult result(const MaskAreas& readApart) {
    if (!textSeen_) {
      for (const Rect& region : regionsWithoutText_)
        append(analyzerEntry(AnalyzerEntryCause::visualChangeWithoutText, region));
    }
    ProtectedFrameAnalysisResult result;
    result.analysisSucceeded = true;
    result.redactions = coalesced(redactions_, readApart);
    result.detectedItems = deduplicated(items_);
    return result;
  }

 private:
  // Waits for the detection of every region (once); false when it failed.
  bool detectionFinished() {
    if (detection_.valid()) {
      auto detected = detection_.get();
      if (!detected) return false;
      detected_ = std::move(*detected);
      detectionSucceeded_ = true;
    }
    return detectionSucceeded_;
  }

  void registerSwitches(const std::vector<platform::SharedTextRequestCancellation>& switches) {
    if (cancellation_) cancellation_->registerRequests(switches);
  }

  std::optional<std::vector<RecognizedTextResults>> perform(
      const std::vector<TextRecognitionRequest>& requests) {
    registerSwitches(switchesOf(requests));
    auto results = recognizer_.recognizeText(*read_, requests);
    if (!results.ok()) return std::nullopt;
    return std::move(results).value();
  }

  // The areas detected in part `index` (region r) that touch r, clipped to it, in r's own space.
  // An area that straddles the region's edge is checked here too, not only where its centre lies.
  // What the other parts detected is theirs to account for: a part read apart from r is painted
  // over where r is read.
  std::vector<DetectedTextRegion> localTextRegions(const Rect& r, std::size_t index) const {
    std::vector<DetectedTextRegion> local;
    if (!(r.width() > 0 && r.height() > 0) || index >= detected_.size()) return local;
    for (const DetectedTextRegion& d : detected_[index]) {
      if (!(d.frame.width() > 0 && d.frame.height() > 0)) continue;
      const Rect clip = d.frame.intersection(r);
      if (clip.isEmpty()) continue;
      DetectedTextRegion region{mappedInto(clip, r), {}};
      for (const Rect& character : d.characterFrames) {
        const Rect characterClip = character.intersection(r);
        if (!characterClip.isEmpty())
          region.characterFrames.push_back(mappedInto(characterClip, r));
      }
      local.push_back(std::move(region));
    }
    return local;
  }

  // The frames of the lines read (in r's space).
  static std::vector<Rect> lineFrames(const std::vector<LocatedTextObservation>& located,
                                      const Rect& r) {
    std::vector<Rect> frames;
    for (const LocatedTextObservation& line : located)
      frames.push_back(
          mappedInto(mappedOut(line.observation.boundingBox, line.regionOfInterest), r));
    return frames;
  }

  // The uncovered runs a second read may still account for. An accurate read has read each line
  // it took in as well as it can, a doubtful line again on its own: read once more in a wider
  // crop, it reads no better. Its second pass is spent on runs no line took in (text the layout
  // missed); the others stay uncovered and are covered as unverified.
  std::vector<Rect> worthRereading(std::vector<Rect> runs,
                                   const std::vector<LocatedTextObservation>& located,
                                   const Rect& r) const {
    if (quality_ != Quality::accurate) return runs;
    const std::vector<Rect> lines = lineFrames(located, r);
    std::erase_if(runs, [&](const Rect& run) {
      const platform::Point centre{(run.minX() + run.maxX()) / 2, (run.minY() + run.maxY()) / 2};
      return std::any_of(lines.begin(), lines.end(),
                         [&](const Rect& line) { return line.contains(centre); });
    });
    return runs;
  }

  // `fast` re-reads a few small gaps; `accurate` spends its second pass on every gap no line took
  // in.
  bool shouldReread(const std::vector<Rect>& uncovered) const {
    return quality_ == Quality::accurate ||
           Geometry::shouldRunFallbackOCR(uncovered, kFallbackMaximumRuns, kFallbackMaximumArea);
  }

  // One more read around the first uncovered runs, at the analysis's own level; false (runs
  // unchanged) when it fails.
  bool reread(const Rect& r, const std::vector<Rect>& uncovered,
              std::vector<LocatedTextObservation>& located, std::vector<Rect>& recognizedFrames) {
    std::vector<Rect> rects;
    for (std::size_t i = 0; i < std::min(uncovered.size(), kFallbackRunLimit); ++i) {
      const Rect a = mappedOut(uncovered[i], r);
      const Rect around = clippedToUnit(
          grown(a, std::max(0.3 * a.width(), 0.002), std::max(0.6 * a.height(), 0.002)));
      // A quick read keeps to its region: its regions are the parts of a change in one window.
      rects.push_back(quality_ == Quality::fast ? around.intersection(r) : around);
    }
    const bool accurate = quality_ == Quality::accurate;
    return readAgain(
        r, Geometry::coalescedFallbackRegions(rects, accurate ? kAccurateRereadRegions : 1),
        accurate ? platform::TextRecognitionLevel::accurate : platform::TextRecognitionLevel::fast,
        [](const platform::RecognizedTextObservation& line, const Rect&) {
          return isConfident(line);
        },
        located, recognizedFrames);
  }

  // The doubtful rows of a quick read that were read again: their indices among the region's
  // lines, their boxes (the region's space), and where the second readings start among the
  // lines.
  struct DoubtfulRows {
    enum class Role { firstReading, readAgain, secondReading };
    std::set<std::size_t> readAgain;
    std::vector<Rect> rows;
    std::size_t secondReadingsFrom = std::numeric_limits<std::size_t>::max();
    Role roleOf(std::size_t line) const {
      if (line >= secondReadingsFrom) return Role::secondReading;
      return readAgain.contains(line) ? Role::readAgain : Role::firstReading;
    }
  };

  // A quick read of small text (a bitmap terminal font) reads many rows doubtfully, and each
  // doubtful row would be covered as unverified although it holds plain text. Those rows, and
  // only those, are read once more at the accurate level, which enlarges small text. The second
  // reading vouches for a row when it reads it confidently and neither reading shows the shape
  // of an address, a key or an amount (slips allowed): a confident reading can still be a wrong
  // one, and where the rules matched nothing in such a shape the row stays covered. Either way
  // the second reading goes through the rules like any other. Rows next to each other are read
  // as one band. A doubtful block over several rows is left as it is: its rows are not read
  // apart.
  DoubtfulRows rereadDoubtfulRows(const Rect& r, std::vector<LocatedTextObservation>& located,
                                  std::vector<Rect>& recognizedFrames) {
    const RowsRead rows = rowsRead(located, r);
    std::vector<Rect> rects;
    DoubtfulRows doubtful;
    // The doubtful rows' boxes (full-frame) whose first readings show a structured shape.
    std::vector<Rect> structuredFirstReadings;
    for (std::size_t i = 0; i < located.size(); ++i) {
      const LocatedTextObservation& line = located[i];
      if (isConfident(line.observation)) continue;
      const Rect box = mappedOut(line.observation.boundingBox, line.regionOfInterest);
      const Rect local = mappedInto(box, r);
      if (local.height() > rows.blockHeight) continue;
      if (Geometry::recognizedCoverage(local, recognizedFrames) >= Geometry::kRegionCoveredFraction)
        continue;
      // A margin of a third of the row keeps the glyphs' edges in the crop without taking in
      // much of the rows around it.
      rects.push_back(
          grown(box, std::max(0.5 * box.height(), 0.002), box.height() / 3).intersection(r));
      doubtful.readAgain.insert(i);
      doubtful.rows.push_back(local);
      if (showsStructure(line.observation.topCandidate->string))
        structuredFirstReadings.push_back(box);
    }
    if (rects.empty()) return {};
    auto vouches = [this, &structuredFirstReadings](
                       const platform::RecognizedTextObservation& second, const Rect& box) {
      if (!isConfident(second) || showsStructure(second.topCandidate->string)) return false;
      return std::none_of(structuredFirstReadings.begin(), structuredFirstReadings.end(),
                          [&box](const Rect& first) { return first.intersects(box); });
    };
    doubtful.secondReadingsFrom = located.size();
    if (!readAgain(r, Geometry::coalescedFallbackRegions(rects, kDoubtfulRowRereadRegions),
                   platform::TextRecognitionLevel::accurate, vouches, located, recognizedFrames))
      return {};
    return doubtful;
  }

  // Whether a reading shows a structured shape despite its slips, or a credential's marker: a
  // key's prefix read even once keeps its row covered whatever a second reading makes of it.
  bool showsStructure(const std::string& reading) const {
    return showsStructureDespiteSlips(reading) ||
           (preferences_.enabledKinds.contains(model::SensitiveKind::apiKey) &&
            StructuredTextHeuristics::holdsCredentialMarker(reading));
  }

  // Reads the rectangles (full-frame space) at `level`; what is read joins the region's lines,
  // and the lines that `vouches` accepts (given their box, full-frame) the frames that vouch for
  // text. False when the read fails.
  using Vouching = std::function<bool(const platform::RecognizedTextObservation&, const Rect&)>;
  bool readAgain(const Rect& r, const std::vector<Rect>& rects,
                 platform::TextRecognitionLevel level, const Vouching& vouches,
                 std::vector<LocatedTextObservation>& located,
                 std::vector<Rect>& recognizedFrames) {
    std::vector<TextRecognitionRequest> requests;
    for (const Rect& rect : rects) {
      TextRecognitionRequest request;
      request.recognitionLevel = level;
      request.minimumTextHeight = 0.001f;
      request.regionOfInterest = rect;
      request.recognitionLanguages = {"ko-KR", "en-US"};
      requests.push_back(std::move(request));
    }
    auto results = perform(requests);
    if (!results) return false;
    for (std::size_t k = 0; k < rects.size() && k < results->size(); ++k) {
      for (const auto& observation : deduplicatedObservations({(*results)[k]})) {
        if (!lineText(observation)) continue;
        located.push_back({observation, rects[k]});
        const Rect box = mappedOut(observation.boundingBox, rects[k]);
        if (!vouches(observation, box)) continue;
        const Rect clip = box.intersection(r);
        if (!clip.isEmpty()) recognizedFrames.push_back(mappedInto(clip, r));
      }
    }
    return true;
  }

  void reportCoverage(std::size_t detected, std::size_t recognized,
                      const std::vector<Rect>& uncovered) const {
    const auto& services = analyzer_.services_;
    if (!services.record || !services.throttle || !services.uptime) return;
    if (!services.throttle->shouldReport(services.uptime())) return;
    const Rect& first = uncovered.front();
    services.record("protected_share_text_coverage_masked",
                    {{"detectedRegions", std::to_string(detected)},
                     {"recognizedRegions", std::to_string(recognized)},
                     {"uncoveredRegions", std::to_string(uncovered.size())},
                     {"firstX", formatted(first.minX())},
                     {"firstY", formatted(first.minY())},
                     {"firstWidth", formatted(first.width())},
                     {"firstHeight", formatted(first.height())}});
  }

  // The lines of a region that are rows of text (r's space), and the height above which a line
  // spans several rows: a block the layout took for one line (English reading Korean takes
  // columns of glyphs over several rows for a line).
  struct RowsRead {
    std::vector<Rect> frames;
    double rowHeight = 0;
    double blockHeight = 0;
  };
  static RowsRead rowsRead(const std::vector<LocatedTextObservation>& located, const Rect& r) {
    constexpr double kRowsOfABlock = 1.8;
    const std::vector<Rect> frames = lineFrames(located, r);
    std::vector<double> heights;
    for (const Rect& frame : frames) heights.push_back(frame.height());
    if (heights.empty()) return {};
    const auto middle = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
    std::nth_element(heights.begin(), middle, heights.end());
    RowsRead rows{{}, *middle, kRowsOfABlock * *middle};
    for (const Rect& frame : frames)
      if (frame.height() <= rows.blockHeight) rows.frames.push_back(frame);
    return rows;
  }

  // Runs the rules over one line. A line read below the confidence cut-off that no confident
  // read vouches for, and in which the rules found nothing, is covered as unverified text over
  // its own box: the rules may have missed what it misread. A doubtful block over several rows
  // is covered only where the rows read there do not reach: a doubtful row is covered over its
  // own box, and the block over it would cover its plain neighbours too. A doubtful row that was
  // read again and vouched for is judged by its second reading: the shapes its misreading took
  // ("build-07" read as digits of a phone number) say nothing of the text. A doubtful second
  // reading over a doubtful row adds no cover of its own: the row's cover stands for both.
  void classify(const LocatedTextObservation& line, DoubtfulRows::Role role,
                const std::vector<Rect>& doubtfulRows, const std::vector<Rect>& recognizedFrames,
                const RowsRead& rows, const std::vector<DetectedTextRegion>& words, const Rect& r,
                const std::optional<std::string>& hangulReading) {
    const auto text = lineText(line.observation);
    if (!text) return;
    const double confidence = line.observation.topCandidate->confidence;
    const Rect box = mappedOut(line.observation.boundingBox, line.regionOfInterest);
    const Rect frame = topLeftFromRecognition(box);
    const SensitivityEngine& rules = analyzer_.sensitivityEngine_;
    // The text as read, then with look-alike digits repaired, then with the spaces read into
    // addresses around their punctuation taken out, then with addresses' misread dots, schemes
    // and at signs and amounts' misread dollar signs written back: the first reading the rules
    // find anything in. The mask covers the line as observed whichever reading matched.
    using Heuristics = StructuredTextHeuristics;
    const std::string normalized = Heuristics::normalizedConfusableStructuredText(*text);
    std::vector<DetectedItem> findings;
    std::string tried;
    for (const std::string& reading :
         {*text, normalized, Heuristics::tightenedPunctuationSpacing(normalized),
          Heuristics::tightenedPunctuationSpacing(Heuristics::repairedAddressPunctuation(
              Heuristics::writtenBackLookAlikeMarks(normalized)))}) {
      if (!findings.empty()) break;
      if (reading == tried) continue;
      tried = reading;
      findings = rules.detect(reading, kSource, preferences_, frame, confidence);
    }
    // A misreading of a row of Hangul is judged by the row's Hangul reading: what the rules found
    // in it over the Hangul stays, if it is there, in that reading's findings, and the rest of it
    // neither is covered nor looks structured.
    if (hangulReading) {
      std::erase_if(findings, [&](const DetectedItem& finding) {
        return liesOverHangul(tried, finding.rawText.value_or(""), *hangulReading);
      });
      if (findings.empty()) return;
    }
    // What the rules found, and a line that looks structured without a finding, cover the row
    // they were read on, not a neighbouring row the line's box took in, and of it only its ink,
    // so that the mask leaves the rows around it alone. Found only for a line that is covered.
    auto rowOfLine = [&] {
      return narrowedToInkRows(
          *read_,
          topLeftFromRecognition(
              mappedOut(Geometry::rowOfLine(mappedInto(box, r), rows.rowHeight, words), r)),
          maskGrowth_);
    };
    if (!findings.empty()) {
      const Rect row = rowOfLine();
      for (DetectedItem& finding : findings) {
        finding.screenFrame = row;
        redactions_.push_back(findingRedaction(finding, row));
        items_.push_back(std::move(finding));
      }
    } else if (!isConfident(line.observation) &&
               Geometry::recognizedCoverage(
                   mappedInto(box, r), mappedInto(box, r).height() > rows.blockHeight
                                           ? rows.frames
                                           : recognizedFrames) < Geometry::kRegionCoveredFraction) {
      const bool coveredByItsRow = role == DoubtfulRows::Role::secondReading &&
                                   Geometry::recognizedCoverage(mappedInto(box, r), doubtfulRows) >=
                                       Geometry::kRegionCoveredFraction;
      // A reading without substance over no row of glyphs read nothing that is there.
      if (!coveredByItsRow && (hasSubstance(*text) || showsRowOfGlyphs(*read_, frame))) {
        const bool oneRow = mappedInto(box, r).height() <= kRowsOfOneLine * rows.rowHeight;
        append(analyzerEntry(AnalyzerEntryCause::uncoveredText,
                             oneRow ? narrowedToInkRows(*read_, frame, maskGrowth_) : frame));
      }
    } else if (!(role == DoubtfulRows::Role::readAgain && !isConfident(line.observation)) &&
               StructuredTextHeuristics::isSuspiciousStructuredText(*text, normalized,
                                                                    preferences_.enabledKinds)) {
      append(analyzerEntry(AnalyzerEntryCause::suspiciousStructuredText, rowOfLine()));
    } else if (maskAll_ &&
               !StructuredTextHeuristics::containsAny(*text, preferences_.neverHideWords)) {
      append(analyzerEntry(AnalyzerEntryCause::recognizedText, frame, confidence));
    }
  }

  // A field's value read apart from its credential label (beside or below it) goes through the
  // rules after the label, and what they find there covers the value.
  void classifyLabelledValues(const std::vector<LocatedTextObservation>& located) {
    std::vector<PlacedLine> lines;
    for (const LocatedTextObservation& line : located)
      lines.push_back({*lineText(line.observation), frameOf(line)});
    for (const auto& [label, value] :
         labelledValues(lines, original_->width(), original_->height())) {
      const Rect frame = narrowedToInkRows(*read_, lines[value].frame, maskGrowth_);
      for (DetectedItem& finding : analyzer_.sensitivityEngine_.detect(
               lines[label].text + " " + lines[value].text, kSource, preferences_, frame,
               located[value].observation.topCandidate->confidence)) {
        redactions_.push_back(findingRedaction(finding, frame));
        items_.push_back(std::move(finding));
      }
    }
  }

  static Rect frameOf(const LocatedTextObservation& line) {
    return topLeftFromRecognition(mappedOut(line.observation.boundingBox, line.regionOfInterest));
  }

  void append(AnalyzerEntry entry) {
    items_.push_back(std::move(entry.item));
    redactions_.push_back(std::move(entry.redaction));
  }

  const ProtectedFrameAnalyzer& analyzer_;
  platform::TextRecognizer& recognizer_;
  platform::SharedPixelBuffer original_;
  platform::SharedPixelBuffer read_;  // the one the current part is read in
  const SensitivityPreferences& preferences_;
  bool maskAll_;
  Quality quality_;
  std::shared_ptr<ProtectedAnalysisCancellation> cancellation_;
  int maskGrowth_;

  std::future<std::optional<std::vector<std::vector<DetectedTextRegion>>>> detection_;
  bool detectionSucceeded_ = false;
  std::vector<std::vector<DetectedTextRegion>> detected_;  // per part
  std::vector<DetectedItem> items_;
  std::vector<ProtectedRedaction> redactions_;
  bool textSeen_ = false;
  std::vector<Rect> regionsWithoutText_;
};

ProtectedFrameAnalyzer::ProtectedFrameAnalyzer(SensitivityEngine sensitivityEngine,
                                               Services services)
    : sensitivityEngine_(std::move(sensitivityEngine)), services_(std::move(services)) {}

ProtectedFrameAnalysisResult ProtectedFrameAnalyzer::analyze(
    const platform::SharedPixelBuffer& image, const SensitivityPreferences& preferences,
    bool maskAllRecognizedText, const std::vector<Rect>& analysisRegions, Quality quality,
    const std::shared_ptr<ProtectedAnalysisCancellation>& cancellation,
    double framePixelsPerImagePixel) const {
  const runtime::Uptime start = services_.uptime ? services_.uptime() : 0;
  auto finished = [&](ProtectedFrameAnalysisResult result) {
    if (services_.uptime) {
      result.durationMS = static_cast<int>(std::max(0.0, (services_.uptime() - start) * 1000));
    }
    result.sourceMasksVerifiedInCapture = false;
    return result;
  };
  const ProtectedFrameAnalysisResult unsuccessful;
  if (quality == Quality::fast && analysisRegions.empty()) return finished(unsuccessful);
  if (!image || !services_.recognizer) return finished(unsuccessful);
  const platform::SharedPixelBuffer prepared = visionOptimizedImage(image, kMaximumImageDimension);
  if (cancellation && cancellation->isCancelled()) return finished(unsuccessful);

  const std::vector<ReadPart> parts =
      partsToRead(prepared, analysisRegions, image->windowAreas().has_value());
  // The margin painted masks take, in the pixels read (the image may be scaled down from the frame
  // and, for recognition, once more); rounded down, so that a cover narrowed by it stays under its
  // mask.
  const double framePixelsPerReadPixel =
      std::max(framePixelsPerImagePixel, 1.0) * image->height() / std::max(1, prepared->height());
  const int maskGrowth = static_cast<int>(std::floor(kMaskGrowY / framePixelsPerReadPixel));
  Run run(*this, prepared, preferences, maskAllRecognizedText, quality, cancellation, maskGrowth);
  run.startDetection(parts);
  for (const ReadPart& part : parts) {
    if (!run.analyzeRegion(part, static_cast<std::size_t>(&part - parts.data())))
      return finished(unsuccessful);
  }
  // Masks merge only within one part read apart; the parts within others come later, and are
  // looked up first.
  MaskAreas readApart;
  for (auto part = parts.rbegin(); part != parts.rend(); ++part)
    readApart.push_back({part->region});
  return finished(run.result(readApart));
}

}  // namespace corvane::verification
