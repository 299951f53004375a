#include "platform/linux/ocr/tesseract_text_recognizer.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "support/temporary_folder.h"
#include "support/tesseract_analyzer.h"
#include "support/text_corpus.h"
#include "support/text_corpus_screens.h"

namespace corvane::platform::ocr {
namespace {

using Recognizer = TesseractTextRecognizer;
using testing::installedModelFolder;
using testing::koreanInstalled;

TextRecognitionRequest request(TextRecognitionLevel level, Rect region,
                               std::vector<std::string> languages = {"en-US"}) {
  TextRecognitionRequest made;
  made.recognitionLevel = level;
  made.regionOfInterest = region;
  made.recognitionLanguages = std::move(languages);
  return made;
}

std::vector<testing::CorpusLine> lines(std::initializer_list<const char*> texts) {
  std::vector<testing::CorpusLine> out;
  for (const char* text : texts) out.push_back({text, {}});
  return out;
}

TEST(TesseractTextRecognizer, ReadsLightAndDarkLinesWithBoxesRelativeToTheRegion) {
  Recognizer recognizer({});
  for (bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark" : "light");
    const auto corpus = testing::renderCorpus(
        lines({"Quarterly planning notes", "Invoice total is 4210 dollars"}), 16, dark, 500);
    // The lower half of the image (recognition space: y 0 to 0.5) holds the second line.
    const Rect lowerHalf{{0, 0}, {1, 0.5}};
    auto results =
        recognizer.recognizeText(*corpus.image, {request(TextRecognitionLevel::fast, lowerHalf)});
    ASSERT_TRUE(results.ok()) << results.message();
    ASSERT_EQ(results->size(), 1u);
    ASSERT_EQ(results->at(0).size(), 1u);
    const RecognizedTextObservation& line = results->at(0)[0];
    EXPECT_EQ(line.topCandidate->string, "Invoice total is 4210 dollars");
    EXPECT_GT(line.topCandidate->confidence, 0.8f);
    // The second band, from the top, turned into the region's bottom-left space.
    const Rect band = corpus.bands[1];
    const double centreY = 1 - (band.minY() + band.height() / 2);
    EXPECT_NEAR((line.boundingBox.minY() + line.boundingBox.height() / 2) * 0.5, centreY, 0.05);
    EXPECT_NEAR(line.boundingBox.minX(), 16.0 / 500, 0.01);
  }
}

TEST(TesseractTextRecognizer, DetectsWordsWithCharacterBoxes) {
  Recognizer recognizer({});
  const auto corpus = testing::renderCorpus(lines({"alpha beta gamma"}), 18, false, 400);
  auto words = recognizer.detectTextRectangles(*corpus.image, {{{0, 0}, {1, 1}}, true});
  ASSERT_TRUE(words.ok()) << words.message();
  ASSERT_EQ(words->size(), 3u);
  ASSERT_TRUE(words->at(1).characterBoxes.has_value());
  EXPECT_EQ(words->at(1).characterBoxes->size(), 4u);
  for (const Rect& character : *words->at(1).characterBoxes) {
    EXPECT_TRUE(words->at(1).boundingBox.intersects(character));
  }
  EXPECT_LT(words->at(0).boundingBox.maxX(), words->at(1).boundingBox.minX());
}

// Layout elements as large as a window (a picture, a busy panel) or as thin as a border are not
// words: detection reports the words beside them, never a box over the picture or a rule.
TEST(TesseractTextRecognizer, DetectionReportsNoWindowSizedWords) {
  Recognizer recognizer({});
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    auto corpus =
        testing::renderCorpus(lines({"alpha beta gamma", "delta epsilon"}), 16, false, 1000);
    auto image = std::make_shared<PixelBuffer>(1000, 700);
    image->fill(0xFFFFFFFF);
    for (int y = 0; y < corpus.image->height(); ++y)
      for (int x = 0; x < 1000; ++x) image->setPixel(x, y, corpus.image->pixel(x, y));
    // An input box's border and a rule: thinner than any letter.
    for (int x = 20; x < 600; ++x) {
      image->setPixel(x, 120, 0xFF808080);
      image->setPixel(x, 160, 0xFF808080);
      image->setPixel(x, 185, 0xFF000000);
    }
    for (int y = 120; y <= 160; ++y) {
      image->setPixel(20, y, 0xFF808080);
      image->setPixel(599, y, 0xFF808080);
    }
    std::mt19937 random(seed);
    for (int y = 200; y < 680; ++y)
      for (int x = 100; x < 900; ++x)
        image->setPixel(x, y,
                        0xFF000000 | (random() & 0xFFFFFF) | ((x / 40 + y / 30) % 2) * 0x404040);
    auto words = recognizer.detectTextRectangles(*image, {{{0, 0}, {1, 1}}, true});
    ASSERT_TRUE(words.ok()) << words.message();
    EXPECT_GE(words->size(), 3u) << "the words above the picture";
    for (const auto& word : *words) {
      const double width = word.boundingBox.width() * 1000,
                   height = word.boundingBox.height() * 700;
      EXPECT_TRUE(width * height < 0.05 * 1000 * 700 && width >= 4 && height >= 4)
          << "seed " << seed << ": a word of " << width << " x " << height << " px";
    }
  }
}

TEST(TesseractTextRecognizer, MissingLanguageModelFailsWithOneEvent) {
  const testing::TemporaryFolder empty("corvane-no-tessdata");
  std::vector<std::string> events;
  Recognizer::Options options;
  options.dataPath = empty.path();
  options.models = {{"en-US", "eng"}};
  options.record = [&](const std::string& event, std::map<std::string, std::string> fields) {
    events.push_back(event + " " + fields["languages"]);
  };
  Recognizer recognizer(options);
  const auto corpus = testing::renderCorpus(lines({"hello"}), 14, false, 200);
  for (int i = 0; i < 2; ++i) {
    auto results = recognizer.recognizeText(
        *corpus.image, {request(TextRecognitionLevel::fast, {{0, 0}, {1, 1}})});
    EXPECT_FALSE(results.ok());
    EXPECT_FALSE(recognizer.detectTextRectangles(*corpus.image, {}).ok());
  }
  EXPECT_EQ(events, std::vector<std::string>{"protected_share_text_recognition_unavailable eng"});
  // A language nobody configured is no language at all.
  Recognizer english({});
  EXPECT_FALSE(english
                   .recognizeText(*corpus.image, {request(TextRecognitionLevel::fast,
                                                          {{0, 0}, {1, 1}}, {"fr-FR"})})
                   .ok());
}

struct WrittenLine {
  const char* font;
  int size;
  const char* text;
};

// A light image with the lines written one under another, 50 px apart.
platform::SharedPixelBuffer writtenLines(int width, int height,
                                         const std::vector<WrittenLine>& written) {
  using namespace testing::screen_corpus_detail;
  testing::CorpusScreen screen;
  screen.image = std::make_shared<PixelBuffer>(width, height);
  {
    ScreenPainter painter(screen, renderings()[0]);
    painter.fill({{0, 0}, {static_cast<double>(width), static_cast<double>(height)}},
                 theme(false).background);
    for (std::size_t i = 0; i < written.size(); ++i)
      painter.write(12, 14 + 50.0 * static_cast<double>(i), written[i].font, written[i].size,
                    {{written[i].text, theme(false).text}}, std::nullopt, true);
  }
  return screen.image;
}

TEST(TesseractTextRecognizer, MissingKoreanModelFallsBackToEnglishAndSaysSoOnce) {
  const auto installed = installedModelFolder();
  ASSERT_FALSE(installed.empty()) << "no English model installed";
  const testing::TemporaryFolder englishOnly("corvane-english-tessdata");
  std::filesystem::create_symlink(installed / "eng.traineddata",
                                  englishOnly.path() / "eng.traineddata");
  std::vector<std::string> events;
  Recognizer::Options options;
  options.dataPath = englishOnly.path();
  options.record = [&](const std::string& event, std::map<std::string, std::string> fields) {
    events.push_back(event + " " + fields["languages"] + " " + fields["using"]);
  };
  Recognizer recognizer(options);
  const auto corpus =
      testing::renderCorpus(lines({"Invoice total is 4210 dollars"}), 16, false, 500);
  // A Korean line English doubts asks for the whole set.
  const auto korean = writtenLines(
      600, 60, {{testing::screen_corpus_detail::kKoreanFont, 20, "보고서는 금요일까지 제출"}});
  for (const auto level : {TextRecognitionLevel::fast, TextRecognitionLevel::accurate}) {
    auto results = recognizer.recognizeText(*corpus.image,
                                            {request(level, {{0, 0}, {1, 1}}, {"ko-KR", "en-US"})});
    ASSERT_TRUE(results.ok()) << results.message();
    ASSERT_EQ(results->at(0).size(), 1u);
    EXPECT_EQ(results->at(0)[0].topCandidate->string, "Invoice total is 4210 dollars");
    EXPECT_TRUE(
        recognizer.recognizeText(*korean, {request(level, {{0, 0}, {1, 1}}, {"ko-KR", "en-US"})})
            .ok());
  }
  // Whether the library starts without the Korean model or refuses to, the set is read in
  // English and that is said once.
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "protected_share_text_recognition_language_fallback kor+eng eng");
  EXPECT_EQ(std::count(events.begin(), events.end(), events.back()), 1);
  // With every model installed nothing is said.
  if (std::filesystem::exists(installed / "kor.traineddata")) {
    std::vector<std::string> fullEvents;
    Recognizer::Options full;
    full.dataPath = installed;
    full.record = [&](const std::string& event, auto) { fullEvents.push_back(event); };
    Recognizer complete(full);
    EXPECT_TRUE(complete
                    .recognizeText(*corpus.image, {request(TextRecognitionLevel::fast,
                                                           {{0, 0}, {1, 1}}, {"ko-KR", "en-US"})})
                    .ok());
    EXPECT_TRUE(fullEvents.empty());
  }
  // Korean alone has nothing to fall back to.
  EXPECT_FALSE(recognizer
                   .recognizeText(*corpus.image, {request(TextRecognitionLevel::fast,
                                                          {{0, 0}, {1, 1}}, {"ko-KR"})})
                   .ok());
}

// Reads `image` with English and Korean at each level, with a recognizer made for it, and hands
// the recognizer, what it read and the level to `check`.
void atEitherLevel(const PixelBuffer& image,
                   const std::function<void(Recognizer&, const RecognizedTextResults&,
                                            TextRecognitionLevel)>& check) {
  for (const auto level : {TextRecognitionLevel::accurate, TextRecognitionLevel::fast}) {
    SCOPED_TRACE(level == TextRecognitionLevel::fast ? "fast" : "accurate");
    Recognizer recognizer({});
    auto results =
        recognizer.recognizeText(image, {request(level, {{0, 0}, {1, 1}}, {"ko-KR", "en-US"})});
    ASSERT_TRUE(results.ok()) << results.message();
    check(recognizer, results->at(0), level);
  }
}

// A read of a language set holding English, at either level, reads in English first and reads
// what English read doubtfully again with the whole set: a Korean line comes back in Hangul beside
// the English line as written, and a line English read well is not read twice.
TEST(TesseractTextRecognizer, EitherLevelReadsWithTheWholeSetWhatEnglishCouldNot) {
  if (!koreanInstalled()) GTEST_SKIP() << "no Korean model installed";
  const auto image =
      writtenLines(600, 110,
                   {{testing::screen_corpus_detail::kKoreanFont, 20, "보고서는 금요일까지 제출"},
                    {"DejaVu Sans", 20, "Invoice total is 4210 dollars"}});
  atEitherLevel(*image, [](Recognizer&, const RecognizedTextResults& results, auto) {
    std::map<std::string, int> read;
    for (const auto& line : results) {
      if (line.topCandidate->confidence >= 0.5f) ++read[line.topCandidate->string];
    }
    EXPECT_EQ(read["보고서는 금요일까지 제출"], 1);
    EXPECT_EQ(read["Invoice total is 4210 dollars"], 1);
    EXPECT_EQ(results.size(), 3u);  // the Korean line's English misreading, then Hangul
  });
}

// Latin text is read by English alone, at either level: the whole set, which tries each doubtful
// word in Korean too at several times the cost, is not even made. An accurate read reads a
// doubtful line again in English; a quick one leaves it to its caller.
TEST(TesseractTextRecognizer, LatinTextIsReadInEnglishAloneAtEitherLevel) {
  if (!koreanInstalled()) GTEST_SKIP() << "no Korean model installed";
  const auto image = writtenLines(700, 110,
                                  {{"DejaVu Sans Mono", 9, "rl1I1l |lI1 ;:;: ,., Il1| iIl1 ;"},
                                   {"DejaVu Sans", 14, "Meeting notes for the weekly sync"}});
  atEitherLevel(*image, [&](Recognizer& recognizer, const RecognizedTextResults& results,
                            TextRecognitionLevel level) {
    ASSERT_FALSE(results.empty());
    ASSERT_LT(results.front().topCandidate->confidence, 0.5f);  // read doubtfully
    // The engine that read it is the English one: an English request borrows it again.
    ASSERT_TRUE(recognizer.recognizeText(*image, {request(level, {{0, 0}, {1, 1}})}).ok());
    EXPECT_EQ(recognizer.engineCount(), 1u);
  });
}

// How fast is measured in bench_text_analysis (BM_CancelRunningRecognition); here: the engine
// stops at its next check (it checks before each text line), not at the end of the page.
TEST(TesseractTextRecognizer, CancellingARunningRecognitionStopsAtTheNextLine) {
  Recognizer recognizer({});
  const auto page = testing::renderCorpus(testing::manyBenignLines(8), 14, false, 700);
  const auto running =
      request(TextRecognitionLevel::accurate, {{0, 0}, {1, 1}}, {"ko-KR", "en-US"});
  bool succeeded = true;
  std::thread worker([&] { succeeded = recognizer.recognizeText(*page.image, {running}).ok(); });
  while (running.cancellation->pollCount() < 2) std::this_thread::yield();
  const int checksBeforeCancel = running.cancellation->pollCount();
  running.cancellation->cancel();
  worker.join();
  EXPECT_FALSE(succeeded);
  // At most one check may have slipped in between reading the count and cancelling.
  EXPECT_LE(running.cancellation->pollCount(), checksBeforeCancel + 2);
  EXPECT_LT(running.cancellation->pollCount(), static_cast<int>(page.lines.size()) / 2);
}

TEST(TesseractTextRecognizer, EveryWorkerRunsLibraryParallelRegionsAloneAndEnginesAreReused) {
  Recognizer recognizer({});
  // Looked up in the OpenMP run time the library loaded; the setting is per thread.
  using GetInt = int (*)();
  const auto maxActiveLevels =
      reinterpret_cast<GetInt>(dlsym(RTLD_DEFAULT, "omp_get_max_active_levels"));
  ASSERT_NE(maxActiveLevels, nullptr);
  const auto corpus = testing::renderCorpus(lines({"reuse me"}), 14, false, 200);
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      EXPECT_GT(maxActiveLevels(), 0);  // a new thread starts from the process defaults
      for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(recognizer
                        .recognizeText(*corpus.image,
                                       {request(TextRecognitionLevel::fast, {{0, 0}, {1, 1}})})
                        .ok());
      }
      EXPECT_EQ(maxActiveLevels(), 0);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_LE(recognizer.engineCount(), 2u);
  EXPECT_GE(recognizer.engineCount(), 1u);
}

}  // namespace
}  // namespace corvane::platform::ocr
