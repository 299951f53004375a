// Text analysis on real Tesseract (OpenMP off, engines warmed up before timing); the goals are
// in goals.txt:
//
// - BM_DetectPerLine: the sensitivity rules on one recognised line (line_us).
// - BM_FastChangedCrop: a `fast` analysis of a changed three-line 1920×100 crop, English alone
//   and English with Korean, light and dark (analysis_us, and ratio_to_memcpy against a copy of
//   the crop).
// - BM_FastChangedCropDarkToLight: the dark crop against the light one, like for like
//   (ratio_to_light).
// - BM_AccurateFullFrame: an `accurate` analysis of a 1080p frame of text on one worker, and the
//   same frame cut into horizontal bands analysed by one worker each (frame_us, ratio_to_memcpy
//   against a copy of the frame).
// - BM_FastAgainstAccurateDesktop: a `fast` analysis of a 1080p desktop of one application family
//   against an `accurate` one of the same frame on the same worker (ratio_to_accurate).
// - BM_CancelRunningRecognition: from cancelling a running accurate recognition of a long page
//   until the call returns (goal: 50 ms or less).
// - BM_CorpusRecall: recall of planted secrets and false masks per 100 benign lines on the test
//   corpus, for each way of recognising (accurate with small text enlarged, accurate at native
//   scale, fast).
// - BM_ScreenCorpus: on 40 whole screens (other fonts, renderings, tiled windows, dark and light,
//   editors, spreadsheets, chat, mail, forms, Korean), secrets masked per kind and height, plain
//   lines masked, masks spilling out of their window, mean 1080p time; accurate and fast.
// - BM_RealApplicationCorpus: the same figures on screens real applications rendered (terminals,
//   a browser's pages, desktops under three window managers), with secrets masked on whole
//   desktops and benign near-misses masked besides.
// - BM_OtherApplicationCorpus: the same on applications, fonts and window managers neither other
//   corpus holds (st, xfce4-terminal, Geany, xfwm4, marco), desktops read without window areas.
// - BM_FurtherApplicationCorpus: the same on families and fonts no other corpus holds (lxterminal,
//   qterminal, mlterm, Mousepad, Pluma; Terminus, Go, Go Mono, Cantarell).
// Every corpus figure is what the published frame shows: the analysis's covers merged as the
// engine merges them and painted as the compositor paints them. Accurate runs also read each
// desktop without its window areas. Desktop times come on the clock (desktop_s) and in processor
// time (desktop_cpu_s); accurate desktops are timed again as if seen for the first time
// (desktop_first_sight_s: the recognizer keeps the glyphs of terminal fonts it read, and the
// corpora show their fonts before their desktops).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "like_for_like.h"
#include "plain_tesseract_read.h"
#include "support/real_application/further_application_corpus.h"
#include "support/real_application/other_application_corpus.h"
#include "support/real_application/real_application_corpus.h"
#include "support/tesseract_analyzer.h"
#include "support/text_corpus_screens.h"
#include "verification/protected_analysis_region_planner.h"

namespace {

using namespace corvane;
using verification::ProtectedFrameAnalysisQuality;
using Options = platform::ocr::TesseractTextRecognizer::Options;

const platform::Rect kWhole{{0, 0}, {1, 1}};

Options englishOnly() {
  Options options;
  options.models = {{"en-US", "eng"}};
  return options;
}

// Against one plain read of a line of the corpus: what the rules add to reading the line.
void BM_DetectPerLine(benchmark::State& state) {
  const verification::SensitivityEngine engine;
  const auto preferences = testing::corpusPreferences();
  const auto lines = testing::corpusLines();
  const platform::Rect frame{{0.1, 0.1}, {0.5, 0.02}};
  const auto written = testing::renderCorpus({lines[0]}, 14, false, 700);
  bench::PlainTesseractRead plainRead(*written.image);
  constexpr int kLinesPerBlock = 2000;
  bench::LikeForLikeRatio ratio(
      state, "plain_read", [&] { plainRead.once(); }, kLinesPerBlock, 1);
  std::size_t i = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    auto items =
        engine.detect(lines[i++ % lines.size()].text, "Protected share", preferences, frame, 0.9);
    benchmark::DoNotOptimize(items);
    ratio.unitDone();
  }
  const double microseconds =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  state.counters["line_us"] = benchmark::Counter(microseconds, benchmark::Counter::kAvgIterations);
  ratio.report("rules");
}
BENCHMARK(BM_DetectPerLine)->Unit(benchmark::kMicrosecond);

// Three changed lines across a 1920-pixel-wide strip, 100 pixels tall.
testing::RenderedCorpus changedCrop(bool dark) {
  const auto lines = testing::corpusLines();
  return testing::renderCorpus({lines[1], lines[2], lines[3]}, 12.5, dark, 1920);
}

void BM_FastChangedCrop(benchmark::State& state) {
  const bool withKorean = state.range(0) == 1;
  const bool dark = state.range(1) == 1;
  auto tesseract = testing::makeTesseractAnalyzer(withKorean ? Options{} : englishOnly());
  const auto crop = changedCrop(dark);
  const auto preferences = testing::corpusPreferences();
  auto once = [&] {
    return tesseract.analyzer->analyze(crop.image, preferences, false, {kWhole},
                                       ProtectedFrameAnalysisQuality::fast, nullptr);
  };
  once();  // engines made and warm
  bench::PlainTesseractRead plainRead(*crop.image);
  bench::LikeForLikeRatio ratio(
      state, "plain_read", [&] { plainRead.once(); }, 1);
  int found = 0;
  for (auto _ : state) {
    found = testing::scoreCorpus(crop, once()).found;
    ratio.unitDone();
  }
  ratio.report("analysis");
  state.counters["secrets_found"] = found;
  state.SetLabel(std::string(withKorean ? "eng+kor" : "eng") + (dark ? " dark" : " light") + " " +
                 std::to_string(crop.image->width()) + "x" + std::to_string(crop.image->height()));
}
BENCHMARK(BM_FastChangedCrop)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime();

// The dark crop against the light one, measured in alternation.
void BM_FastChangedCropDarkToLight(benchmark::State& state) {
  const bool withKorean = state.range(0) == 1;
  auto tesseract = testing::makeTesseractAnalyzer(withKorean ? Options{} : englishOnly());
  const auto preferences = testing::corpusPreferences();
  auto analyzer = [&](const testing::RenderedCorpus& crop) {
    return [&tesseract, &preferences, &crop] {
      benchmark::DoNotOptimize(tesseract.analyzer->analyze(
          crop.image, preferences, false, {kWhole}, ProtectedFrameAnalysisQuality::fast, nullptr));
    };
  };
  const auto light = changedCrop(false);
  const auto dark = changedCrop(true);
  const auto analyzeLight = analyzer(light);
  const auto analyzeDark = analyzer(dark);
  analyzeLight();
  bench::LikeForLikeRatio ratio(state, "light", analyzeLight, 1);
  for (auto _ : state) {
    analyzeDark();
    ratio.unitDone();
  }
  ratio.report("dark");
  state.SetLabel(withKorean ? "eng+kor" : "eng");
}
BENCHMARK(BM_FastChangedCropDarkToLight)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A 1080p frame of text: two columns of the corpus at 14 px.
testing::RenderedCorpus fullFrame() {
  std::vector<testing::CorpusLine> lines;
  while (lines.size() < 76) {
    for (const auto& line : testing::corpusLines()) lines.push_back(line);
  }
  lines.resize(76);
  return testing::renderCorpus(lines, 14, false, 1920, 2);
}

// Bands of the frame, one per worker, each a little taller than its share so that no line is
// cut in two.
void BM_AccurateFullFrame(benchmark::State& state) {
  const int bands = static_cast<int>(state.range(0));
  auto tesseract = testing::makeTesseractAnalyzer();
  const auto frame = fullFrame();
  const auto preferences = testing::corpusPreferences();
  auto analyzeBand = [&](int band) {
    const double height = 1.0 / bands;
    const double top = std::max(0.0, band * height - 0.02);
    const double bottom = std::min(1.0, (band + 1) * height + 0.02);
    return tesseract.analyzer->analyze(frame.image, preferences, false,
                                       {{{0, top}, {1, bottom - top}}},
                                       ProtectedFrameAnalysisQuality::accurate, nullptr);
  };
  auto run = [&] {
    std::atomic<int> items{0};
    std::vector<std::thread> workers;
    for (int band = 0; band < bands; ++band) {
      workers.emplace_back(
          [&, band] { items += static_cast<int>(analyzeBand(band).detectedItems.size()); });
    }
    for (auto& worker : workers) worker.join();
    return items.load();
  };
  run();  // one engine per worker, made and warm
  // One plain read of the whole frame on one thread, whatever the number of workers.
  bench::PlainTesseractRead plainRead(*frame.image);
  bench::LikeForLikeRatio ratio(
      state, "plain_read", [&] { plainRead.once(); }, 1);
  int items = 0;
  for (auto _ : state) {
    items = run();
    ratio.unitDone();
  }
  ratio.report("frame");
  state.counters["items"] = items;
  state.counters["engines"] = static_cast<double>(tesseract.recognizer->engineCount());
  state.SetLabel(std::to_string(frame.image->width()) + "x" +
                 std::to_string(frame.image->height()) + ", " + std::to_string(bands) + " band(s)");
}
BENCHMARK(BM_AccurateFullFrame)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_CancelRunningRecognition(benchmark::State& state) {
  platform::ocr::TesseractTextRecognizer recognizer({});
  const auto page = testing::renderCorpus(testing::manyBenignLines(8), 14, false, 700);
  auto start = [&] {
    platform::TextRecognitionRequest running;
    running.recognitionLevel = platform::TextRecognitionLevel::accurate;
    running.recognitionLanguages = {"ko-KR", "en-US"};
    return running;
  };
  {
    const auto warm = start();
    (void)recognizer.recognizeText(*page.image, {warm});
  }
  // The recognizer checks before each line: the reference is a plain read of one line of it.
  const auto line = testing::renderCorpus(testing::manyBenignLines(1), 14, false, 700);
  bench::PlainTesseractRead plainRead(*line.image);
  std::vector<double> lineMs;
  double worst = 0;
  for (auto _ : state) {
    const auto running = start();
    std::chrono::steady_clock::time_point returned;
    std::thread worker([&] {
      (void)recognizer.recognizeText(*page.image, {running});
      returned = std::chrono::steady_clock::now();
    });
    // Well under way: past the first few lines.
    while (running.cancellation->pollCount() < 5) std::this_thread::yield();
    const auto cancelled = std::chrono::steady_clock::now();
    running.cancellation->cancel();
    worker.join();
    const double ms = std::chrono::duration<double, std::milli>(returned - cancelled).count();
    worst = std::max(worst, ms);
    state.SetIterationTime(ms / 1000);
    const auto lineStart = std::chrono::steady_clock::now();
    plainRead.once();
    lineMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - lineStart)
            .count());
  }
  state.counters["worst_ms"] = worst;
  state.counters["line_read_ms"] = bench::quantile(lineMs, 0.5);
  state.counters["worst_ratio_to_line_read"] = worst / std::max(1e-9, bench::quantile(lineMs, 0.5));
}
BENCHMARK(BM_CancelRunningRecognition)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Recall by size band and false masks per 100 benign lines, over light and dark renderings of
// the corpus with three times the usual benign lines.
void BM_CorpusRecall(benchmark::State& state) {
  const int variant = static_cast<int>(state.range(0));
  Options options;
  if (variant == 1) options.smallTextLineHeight = 0;
  const auto quality =
      variant == 2 ? ProtectedFrameAnalysisQuality::fast : ProtectedFrameAnalysisQuality::accurate;
  auto tesseract = testing::makeTesseractAnalyzer(options);
  const auto preferences = testing::corpusPreferences();
  std::vector<testing::CorpusLine> lines = testing::corpusLines();
  for (int extra = 0; extra < 2; ++extra) {
    for (const auto& line : testing::benignLines()) lines.push_back(line);
  }
  testing::CorpusScore small, large, all;
  for (auto _ : state) {
    small = large = all = {};
    for (double size : {10.0, 12.0, 14.0, 18.0}) {
      for (bool dark : {false, true}) {
        const auto corpus = testing::renderCorpus(lines, size, dark);
        const auto score = testing::scoreCorpus(
            corpus, tesseract.analyzer->analyze(corpus.image, preferences, false, {kWhole}, quality,
                                                nullptr));
        auto& band = size < 13 ? small : large;
        band.secrets += score.secrets;
        band.found += score.found;
        all.benign += score.benign;
        all.falseMasks += score.falseMasks;
      }
    }
  }
  state.counters["recall_10_12px"] = 100.0 * small.found / std::max(small.secrets, 1);
  state.counters["recall_14_18px"] = 100.0 * large.found / std::max(large.secrets, 1);
  state.counters["false_masks_per_100"] = 100.0 * all.falseMasks / std::max(all.benign, 1);
  state.counters["benign_lines"] = all.benign;
  static const char* const names[] = {"accurate, small text doubled", "accurate, native scale",
                                      "fast"};
  state.SetLabel(names[variant]);
}
BENCHMARK(BM_CorpusRecall)
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A whole screen planned along the windows its image carries, as the pipeline plans a frame.
model::ProtectedFrameAnalysisResult analyzeAlongWindows(const testing::TesseractAnalyzer& tesseract,
                                                        const testing::CorpusScreen& screen,
                                                        ProtectedFrameAnalysisQuality quality) {
  using Planner = verification::ProtectedAnalysisRegionPlanner;
  const auto regions =
      Planner::regions({kWhole}, Planner::kHorizontalMargin, Planner::kVerticalMargin,
                       Planner::windowRegions(screen.image.get()));
  return tesseract.analyzer->analyze(screen.image, testing::corpusPreferences(), false, regions,
                                     quality, nullptr);
}

// A `fast` analysis of a 1080p desktop of one application family (two windows side by side, light
// and dark, planned along the windows as the pipeline plans a frame) against an `accurate` one of
// the same frame, on the same worker and recognizer, like for like (ratio_to_accurate). Families:
// 0 editors (a monospaced terminal-like font at 11 px), 1 mail at 14 px, 2 and 3 Korean documents
// at 14 and 11 px. Also reports each quality's masked share of the planted secrets.
void BM_FastAgainstAccurateDesktop(benchmark::State& state) {
  using testing::screen_corpus_detail::WindowKind;
  static const std::pair<WindowKind, int> families[] = {{WindowKind::editor, 11},
                                                        {WindowKind::mail, 14},
                                                        {WindowKind::korean, 14},
                                                        {WindowKind::korean, 11}};
  const auto [kind, size] = families[state.range(0)];
  const auto screen = testing::oneFamilyDesktop(kind, size);
  auto tesseract = testing::makeTesseractAnalyzer();
  auto analyze = [&](ProtectedFrameAnalysisQuality quality) {
    return analyzeAlongWindows(tesseract, screen, quality);
  };
  // Engines made and warm for both qualities; the terminal glyphs the accurate read learns are
  // forgotten before each accurate read, as on a desktop seen for the first time.
  const auto accurate = analyze(ProtectedFrameAnalysisQuality::accurate);
  const auto fast = analyze(ProtectedFrameAnalysisQuality::fast);
  bench::LikeForLikeRatio ratio(
      state, "accurate",
      [&] {
        tesseract.recognizer->forgetLearnedGlyphs();
        benchmark::DoNotOptimize(analyze(ProtectedFrameAnalysisQuality::accurate));
      },
      1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(analyze(ProtectedFrameAnalysisQuality::fast));
    ratio.unitDone();
  }
  ratio.report("fast");
  for (const auto& [name, result] : {std::pair{"accurate", &accurate}, std::pair{"fast", &fast}}) {
    const auto score = testing::scoreScreen(screen, *result);
    state.counters[std::string(name) + "_masked_pct"] = score.secrets.percent();
    state.counters[std::string(name) + "_plain_masked_pct"] = score.plainLines.percent();
    if (std::getenv("CORVANE_SCREEN_CORPUS_MISSES")) {
      for (const auto& line : score.missed)
        std::fprintf(stderr, "%s missed: %s\n", name, line.c_str());
      for (const auto& line : score.falselyMasked)
        std::fprintf(stderr, "%s falsely masked: %s\n", name, line.c_str());
    }
  }
  state.SetLabel(screen.label);
}
BENCHMARK(BM_FastAgainstAccurateDesktop)
    ->DenseRange(0, 3)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Times analyses, and keeps the mean time of those of 1080p desktops, on the clock and in
// processor time (the process's: the analysis's threads, nothing else runs meanwhile), which a
// busy machine inflates less.
class DesktopClock {
 public:
  // With `againstPlainReads`, each 1080p desktop is also read plainly right after its analysis,
  // and the analyses' time is given against those reads' (ratioToPlainReads).
  explicit DesktopClock(bool againstPlainReads = false) : againstPlainReads_(againstPlainReads) {}

  template <class Analyze>
  auto time(const testing::CorpusScreen& screen, Analyze analyze) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t startCPU = std::clock();
    auto result = analyze();
    const double seconds = secondsSince(start);
    const double cpuSeconds = static_cast<double>(std::clock() - startCPU) / CLOCKS_PER_SEC;
    if (screen.image->width() == 1920 && screen.image->height() == 1080) {
      seconds_ += seconds;
      cpuSeconds_ += cpuSeconds;
      ++desktops_;
      if (againstPlainReads_) {
        bench::PlainTesseractRead plainRead(*screen.image);
        const auto readStart = std::chrono::steady_clock::now();
        plainRead.once();
        plainReadSeconds_ += secondsSince(readStart);
      }
    }
    return result;
  }
  double meanSeconds() const { return desktops_ ? seconds_ / desktops_ : 0; }
  double meanCPUSeconds() const { return desktops_ ? cpuSeconds_ / desktops_ : 0; }
  double ratioToPlainReads() const {
    return plainReadSeconds_ > 0 ? seconds_ / plainReadSeconds_ : 0;
  }

 private:
  static double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  bool againstPlainReads_ = false;
  double seconds_ = 0;
  double cpuSeconds_ = 0;
  double plainReadSeconds_ = 0;
  int desktops_ = 0;
};

// The accurate analyses of 1080p desktops timed again by an analyzer of their own whose recognizer
// forgets the terminal glyphs it read before each one: a desktop seen for the first time, where
// `desktop_s` is a desktop in a session that showed its terminals' fonts before, as the corpus
// does (desktop_first_sight_s).
class FirstSightClock {
 public:
  explicit FirstSightClock(ProtectedFrameAnalysisQuality quality)
      : tesseract_(testing::makeTesseractAnalyzer()), quality_(quality) {}

  void warm(const testing::CorpusScreen& screen) {
    analyzeAlongWindows(tesseract_, screen, quality_);
  }
  void time(const testing::CorpusScreen& screen) {
    if (quality_ != ProtectedFrameAnalysisQuality::accurate || screen.image->width() != 1920 ||
        screen.image->height() != 1080)
      return;
    tesseract_.recognizer->forgetLearnedGlyphs();
    clock_.time(screen, [&] { return analyzeAlongWindows(tesseract_, screen, quality_); });
  }
  void report(benchmark::State& state) const {
    if (quality_ == ProtectedFrameAnalysisQuality::accurate)
      state.counters["desktop_first_sight_s"] = clock_.meanSeconds();
  }

 private:
  testing::TesseractAnalyzer tesseract_;
  ProtectedFrameAnalysisQuality quality_;
  DesktopClock clock_;
};

// What was masked of a corpus: secrets per kind and per height, plain lines, masks spilling out
// of their window, and the mean time of a 1080p desktop.
void reportScreenScore(benchmark::State& state, const testing::ScreenScore& total,
                       const DesktopClock& clock) {
  using K = model::SensitiveKind;
  state.counters["secrets"] = total.secrets.total;
  state.counters["masked_pct"] = total.secrets.percent();
  state.counters["masked_10_12px_pct"] = total.sizes(10, 12).percent();
  state.counters["masked_12px_down_pct"] = total.sizes(0, 12).percent();
  state.counters["masked_14px_up_pct"] = total.sizes(14, 24).percent();
  state.counters["masked_18px_up_pct"] = total.sizes(18, 24).percent();
  for (const auto& [size, tally] : total.bySize)
    state.counters["masked_" + std::to_string(size) + "px_pct"] = tally.percent();
  const std::pair<K, const char*> kinds[] = {{K::apiKey, "api_key"},
                                             {K::email, "email"},
                                             {K::phoneNumber, "phone"},
                                             {K::revenue, "revenue"},
                                             {K::internalURL, "internal_url"}};
  for (const auto& [kind, name] : kinds) {
    const auto found = total.byKind.find(kind);
    state.counters[std::string("masked_") + name + "_pct"] =
        found == total.byKind.end() ? 100.0 : found->second.percent();
  }
  state.counters["plain_lines"] = total.plainLines.total;
  state.counters["plain_masked_pct"] = total.plainLines.percent();
  // Per language: Korean plain lines, and the others (English).
  const testing::ScreenScore::Tally english{
      total.plainLines.total - total.koreanPlainLines.total,
      total.plainLines.masked - total.koreanPlainLines.masked};
  state.counters["plain_english_masked_pct"] = english.percent();
  if (total.koreanPlainLines.total > 0) {
    state.counters["plain_korean_lines"] = total.koreanPlainLines.total;
    state.counters["plain_korean_masked_pct"] = total.koreanPlainLines.percent();
  }
  state.counters["spilling_masks"] = total.spillingMasks;
  state.counters["desktop_s"] = clock.meanSeconds();
  state.counters["desktop_cpu_s"] = clock.meanCPUSeconds();
  if (clock.ratioToPlainReads() > 0)
    state.counters["desktop_ratio_to_plain_read"] = clock.ratioToPlainReads();
  if (std::getenv("CORVANE_SCREEN_CORPUS_MISSES")) {
    for (const auto& missed : total.missed) std::fprintf(stderr, "missed: %s\n", missed.c_str());
    for (const auto& line : total.falselyMasked)
      std::fprintf(stderr, "falsely masked: %s\n", line.c_str());
  }
  state.SetLabel(state.range(0) == 0 ? "accurate" : "fast");
}

// What an analysis masked and found, for looking into one screen.
void printFindings(const model::ProtectedFrameAnalysisResult& result) {
  for (const auto& redaction : result.redactions)
    std::fprintf(stderr, "mask %s at %.3f %.3f %.3f %.3f\n", redaction.title.c_str(),
                 redaction.normalizedFrame.minX(), redaction.normalizedFrame.minY(),
                 redaction.normalizedFrame.width(), redaction.normalizedFrame.height());
  for (const auto& item : result.detectedItems)
    std::fprintf(stderr, "item %s [%s] at %.3f %.3f %.3f %.3f\n", item.text.c_str(),
                 item.rawText.value_or("").c_str(), item.screenFrame->minX(),
                 item.screenFrame->minY(), item.screenFrame->width(), item.screenFrame->height());
}

ProtectedFrameAnalysisQuality qualityOf(const benchmark::State& state) {
  return state.range(0) == 0 ? ProtectedFrameAnalysisQuality::accurate
                             : ProtectedFrameAnalysisQuality::fast;
}

using testing::real_application::RealApplicationScreen;

// Runs a corpus through the analyzer, accurate (0) or fast (1), window by window as the pipeline
// plans a frame, and reports what the published frames masked: secrets per kind and height,
// secrets on whole desktops, plain lines, benign near-misses, masks spilling out of their window
// and desktop times. An accurate run also reads each desktop that carries window areas again
// without them (masked_desktop_no_areas_pct, desktop_no_areas_plain_masked_pct); a desktop that
// carries none is read so in the first place and counts there too.
// CORVANE_SCREEN_CORPUS_ONLY=<index>: that screen alone, with what the analysis found.
void runCorpus(benchmark::State& state, const std::vector<RealApplicationScreen>& screens) {
  const auto quality = qualityOf(state);
  auto tesseract = testing::makeTesseractAnalyzer();
  auto analyze = [&](const testing::CorpusScreen& screen) {
    return analyzeAlongWindows(tesseract, screen, quality);
  };
  FirstSightClock firstSight(quality);
  // Engines made and warm (every language set, Korean included) before timing.
  for (const auto& screen : screens) {
    const auto& lines = screen.screen.lines;
    const bool korean = std::any_of(lines.begin(), lines.end(), [](const auto& line) {
      return std::any_of(line.text.begin(), line.text.end(),
                         [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    });
    if (!korean && &screen != &screens.back()) continue;
    analyze(screen.screen);
    firstSight.warm(screen.screen);
    break;
  }
  const char* only = std::getenv("CORVANE_SCREEN_CORPUS_ONLY");
  testing::real_application::RealApplicationScore total, bare;
  DesktopClock clock(true);
  for (auto _ : state) {
    total = bare = {};
    clock = DesktopClock(true);
    for (std::size_t n = 0; n < screens.size(); ++n) {
      if (only && n != static_cast<std::size_t>(std::atoi(only))) continue;
      const auto& screen = screens[n];
      const auto result = clock.time(screen.screen, [&] { return analyze(screen.screen); });
      const auto score = testing::real_application::scoreRealApplicationScreen(screen, result);
      total.add(score);
      if (only) printFindings(result);
      firstSight.time(screen.screen);
      if (!screen.desktop) continue;
      if (!screen.screen.image->windowAreas()) {
        bare.add(score);
      } else if (quality == ProtectedFrameAnalysisQuality::accurate) {
        RealApplicationScreen without = screen;
        without.screen = testing::withoutWindowAreas(screen.screen);
        const auto read = analyze(without.screen);
        bare.add(testing::real_application::scoreRealApplicationScreen(without, read));
        if (only) printFindings(read);
      }
    }
  }
  reportScreenScore(state, total.lines, clock);
  firstSight.report(state);
  state.counters["masked_desktop_pct"] = total.desktopSecrets.percent();
  if (bare.desktopSecrets.total > 0) {
    state.counters["masked_desktop_no_areas_pct"] = bare.desktopSecrets.percent();
    state.counters["desktop_no_areas_plain_masked_pct"] = bare.lines.plainLines.percent();
  }
  state.counters["near_misses"] = total.nearMisses.total;
  if (total.nearMisses.total > 0)
    state.counters["near_miss_masked_pct"] = total.nearMisses.percent();
  state.counters["flagged_near_misses"] = total.flaggedNearMisses.total;
  if (total.flaggedNearMisses.total > 0)
    state.counters["flagged_near_miss_masked_pct"] = total.flaggedNearMisses.percent();
  state.counters["screens"] = static_cast<double>(screens.size());
  if (std::getenv("CORVANE_SCREEN_CORPUS_MISSES")) {
    for (const auto& line : total.maskedNearMisses)
      std::fprintf(stderr, "near-miss masked: %s\n", line.c_str());
    for (const auto& missed : bare.lines.missed)
      std::fprintf(stderr, "missed without window areas: %s\n", missed.c_str());
    for (const auto& line : bare.lines.falselyMasked)
      std::fprintf(stderr, "falsely masked without window areas: %s\n", line.c_str());
  }
}

// A corpus benchmark's runs: accurate (0) and fast (1), once each.
void atBothLevels(benchmark::internal::Benchmark* corpus) {
  corpus->DenseRange(0, 1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}

// The screen corpus (tests/support/text_corpus_screens.h): 40 screens, half of them 1080p
// desktops with two tiled windows, accurate (0) or fast (1).
void BM_ScreenCorpus(benchmark::State& state) {
  constexpr int kScreens = 40;
  std::vector<RealApplicationScreen> screens;
  for (int i = 0; i < kScreens; ++i) screens.push_back({testing::corpusScreen(i), {}, i % 2 == 0});
  runCorpus(state, screens);
}
BENCHMARK(BM_ScreenCorpus)->Apply(atBothLevels);

// Reports how a rendered corpus came out: its screens, those that did not render, planted lines
// that showed no ink, and its render time.
void reportRendering(benchmark::State& state,
                     const testing::real_application::RealApplicationCorpus& corpus) {
  state.counters["failed_screens"] = corpus.failedScreens;
  state.counters["unseen_lines"] = corpus.unseenLines;
  state.counters["render_s"] = corpus.renderSeconds;
}

// Runs a rendered corpus (see runCorpus) and reports how it came out.
void runRenderedCorpus(benchmark::State& state,
                       const testing::real_application::RealApplicationCorpus& corpus) {
  runCorpus(state, corpus.screens);
  reportRendering(state, corpus);
}

// Dumps the screens with their truth into CORVANE_REAL_SCREENS_DUMP when it is set.
void dumpIfAsked(const testing::real_application::RealApplicationCorpus& corpus) {
  if (const char* folder = std::getenv("CORVANE_REAL_SCREENS_DUMP"))
    testing::real_application::writeScreens(corpus, folder);
}

// The real-application corpus (tests/support/real_application/): screens the engine was not
// tuned on, rendered once by xterm, urxvt, Chromium and three window managers when first needed.
// CORVANE_REAL_SCREENS_SEED_OFFSET=<n>: the same looks with other content, to look into misses
// on screens other than those the figures are judged on.
const testing::real_application::RealApplicationCorpus& realApplicationCorpus() {
  static const auto corpus = [] {
    const char* offset = std::getenv("CORVANE_REAL_SCREENS_SEED_OFFSET");
    const auto seedOffset =
        static_cast<std::uint32_t>(offset ? std::strtoul(offset, nullptr, 10) : 0);
    auto rendered = testing::real_application::renderRealApplicationCorpus(seedOffset);
    std::fprintf(stderr,
                 "real-application corpus: %zu screens rendered in %.1f s, seed offset %u\n",
                 rendered.screens.size(), rendered.renderSeconds, seedOffset);
    dumpIfAsked(rendered);
    return rendered;
  }();
  return corpus;
}

// On the real-application corpus, accurate (0) or fast (1).
void BM_RealApplicationCorpus(benchmark::State& state) {
  runRenderedCorpus(state, realApplicationCorpus());
}
BENCHMARK(BM_RealApplicationCorpus)->Apply(atBothLevels);

// A corpus of split `tuning` when CORVANE_<PREFIX>_SPLIT=tuning asks for the split to look into
// misses with (CORVANE_<PREFIX>_SEED_OFFSET=<n>: its looks with other content), else of split
// `judging`; rendered by `render` and announced as `name`.
template <class Render>
testing::real_application::RealApplicationCorpus renderSplit(const std::string& prefix,
                                                             const char* name, Render render) {
  using testing::real_application::CorpusSplit;
  const char* split = std::getenv(("CORVANE_" + prefix + "_SPLIT").c_str());
  const bool tuning = split && std::string(split) == "tuning";
  const char* offset = std::getenv(("CORVANE_" + prefix + "_SEED_OFFSET").c_str());
  auto rendered =
      render(tuning ? CorpusSplit::tuning : CorpusSplit::judging,
             static_cast<std::uint32_t>(offset && tuning ? std::strtoul(offset, nullptr, 10) : 0));
  std::fprintf(stderr, "%s corpus (%s): %zu screens rendered in %.1f s\n", name,
               tuning ? "tuning" : "judging", rendered.screens.size(), rendered.renderSeconds);
  dumpIfAsked(rendered);
  return rendered;
}

// The corpus of other applications (tests/support/real_application/other_application_corpus.h):
// st, xfce4-terminal and Geany in fonts no other corpus holds, and desktops under xfwm4 and marco
// read without window areas; its judging split, unless CORVANE_OTHER_SCREENS_SPLIT=tuning asks for
// the split to look into misses with (CORVANE_OTHER_SCREENS_SEED_OFFSET=<n>: its looks with other
// content).
const testing::real_application::RealApplicationCorpus& otherApplicationCorpus() {
  static const auto corpus =
      renderSplit("OTHER_SCREENS", "other-application", [](auto split, auto seeds) {
        return testing::real_application::renderOtherApplicationCorpus(split, seeds);
      });
  return corpus;
}

void BM_OtherApplicationCorpus(benchmark::State& state) {
  runRenderedCorpus(state, otherApplicationCorpus());
}
BENCHMARK(BM_OtherApplicationCorpus)->Apply(atBothLevels);

// The corpus of further families and fonts
// (tests/support/real_application/further_application_corpus.h): lxterminal, qterminal, mlterm,
// Mousepad and Pluma in Terminus, Go, Go Mono and Cantarell; its judging split, unless
// CORVANE_FURTHER_SCREENS_SPLIT=tuning (CORVANE_FURTHER_SCREENS_SEED_OFFSET=<n> as above).
const testing::real_application::RealApplicationCorpus& furtherApplicationCorpus() {
  static const auto corpus =
      renderSplit("FURTHER_SCREENS", "further-application", [](auto split, auto seeds) {
        return testing::real_application::renderFurtherApplicationCorpus(split, seeds);
      });
  return corpus;
}

void BM_FurtherApplicationCorpus(benchmark::State& state) {
  runRenderedCorpus(state, furtherApplicationCorpus());
}
BENCHMARK(BM_FurtherApplicationCorpus)->Apply(atBothLevels);

}  // namespace

BENCHMARK_MAIN();
