#include "platform/linux/ocr/tesseract_text_recognizer.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/pageiterator.h>
#include <tesseract/publictypes.h>
#include <tesseract/resultiterator.h>

#include "platform/linux/ocr/character_grid.h"
#include "platform/linux/ocr/grey_image.h"
#include "platform/linux/ocr/grid_reading.h"
#include "platform/linux/ocr/library_threading.h"

namespace corvane::platform::ocr {
namespace {

const runtime::Error kCancelled{"Text recognition was cancelled."};
// Small text is enlarged at most this much: beyond it the engine gains nothing (the corpus reads
// 10-px lines better at twice their size than at three times) and pays a lot.
constexpr double kLargestEnlargement = 2;

// The region of interest (bottom-left normalised) as whole pixels of the image, rounded outward.
PixelArea pixelAreaOf(const Rect& region, int width, int height) {
  const int x0 = std::clamp(static_cast<int>(std::floor(region.minX() * width)), 0, width);
  const int x1 = std::clamp(static_cast<int>(std::ceil(region.maxX() * width)), 0, width);
  const int y0 = std::clamp(static_cast<int>(std::floor((1 - region.maxY()) * height)), 0, height);
  const int y1 = std::clamp(static_cast<int>(std::ceil((1 - region.minY()) * height)), 0, height);
  return {x0, y0, x1 - x0, y1 - y0};
}

// A box the engine gives in pixels of the (possibly scaled) crop, as a bottom-left normalised
// box of the whole image.
Rect imageBoxOf(int left, int top, int right, int bottom, const PixelArea& area, double scale,
                const PixelBuffer& image) {
  const double x0 = area.x + left / scale;
  const double x1 = area.x + right / scale;
  const double y0 = area.y + top / scale;
  const double y1 = area.y + bottom / scale;
  return Rect{{x0 / image.width(), 1 - y1 / image.height()},
              {(x1 - x0) / image.width(), (y1 - y0) / image.height()}};
}

Rect relativeTo(const Rect& box, const Rect& region) {
  return Rect{{(box.minX() - region.minX()) / region.width(),
               (box.minY() - region.minY()) / region.height()},
              {box.width() / region.width(), box.height() / region.height()}};
}

// A picture, a rule or a panel the layout analysis found: not a word. Elements thinner than a
// letter or taller than any screen text are layout wherever they are; outside text blocks, so
// are elements larger than a tenth of the area.
bool isLayoutElement(const tesseract::PageIterator& element, int width, int height,
                     const PixelArea& area) {
  constexpr int kTallestWord = 200;
  // Thinner than any letter: a rule, a border, the edge of an input box or a grid line.
  constexpr int kThinnestWord = 4;
  if (height > kTallestWord || height < kThinnestWord || width < kThinnestWord) return true;
  // Longer for its height than any word: a rule or a window's edge.
  constexpr int kLongestWordForItsHeight = 40;
  if (width > kLongestWordForItsHeight * height) return true;
  if (PTIsTextType(element.BlockType())) return false;
  return static_cast<double>(width) * height > 0.1 * area.width * area.height;
}

bool cancelRequested(void* cancellation, int /*words*/) {
  return static_cast<TextRequestCancellation*>(cancellation)->shouldStop();
}

// An English read of a line below this confidence is read again with the whole language set
// (English reads Korean lines at 0.1 to 0.45).
constexpr float kDoubtfulLine = 0.5f;

// A doubtful "line" this many times taller than the read's typical line is a block the layout
// could not split (a gutter of line numbers, a column of figures): read again as one block with
// every language it costs as much as a page, and it stays doubtful, so it is covered anyway.
constexpr int kTallestRereadLine = 3;
// A doubtful line this many times taller than the read's typical line holds several rows.
constexpr double kRowsOfOneLine = 1.5;

int typicalHeight(const std::vector<ReadLine>& lines) {
  std::vector<int> heights;
  for (const ReadLine& line : lines) heights.push_back(line.bottom - line.top);
  if (heights.empty()) return 0;
  const auto middle = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
  std::nth_element(heights.begin(), middle, heights.end());
  return *middle;
}

std::string trimmedLineText(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

bool setHoldsModel(const std::string& languages, const std::string& model) {
  return ("+" + languages + "+").find("+" + model + "+") != std::string::npos;
}

// Whether the line's own box (without its neighbours' edges) has any columns that cross as many
// strokes as Hangul syllables do: one syllable of a mixed line is enough.
bool mayHoldHangul(const GreyImage& grey, const ReadLine& line) {
  constexpr double kLeastStackedShare = 0.01;
  return stackedStrokeShare(cropped(grey, {line.left, line.top, line.right - line.left,
                                           line.bottom - line.top})) >= kLeastStackedShare;
}

// The layout cuts the first syllables of rows of Hangul off into a column of their own, which
// English reads as doubtful fragments: a row read again with the whole set reaches out over them,
// to the left and right as far as ink continues with gaps no wider than a word space, so that its
// reading covers the whole row.
ReadLine withCutOffSyllables(const GreyImage& grey, std::uint8_t background, ReadLine row) {
  constexpr int kInkContrast = 64;
  const int height = row.bottom - row.top;
  const int widestGap = std::max(2, height / 2);
  const int reach = 2 * height;
  const int top = std::max(0, row.top), bottom = std::min(grey.height, row.bottom);
  auto inkAt = [&](int x) {
    if (x < 0 || x >= grey.width) return false;
    for (int y = top; y < bottom; ++y)
      if (grey.at(x, y) + kInkContrast < background) return true;
    return false;
  };
  auto extend = [&](int from, int step, int limit) {
    int edge = from, gap = 0;
    for (int x = from + step; x != limit && std::abs(x - from) <= reach; x += step) {
      if (inkAt(x)) {
        edge = x;
        gap = 0;
      } else if (++gap > widestGap) {
        break;
      }
    }
    return edge;
  };
  row.left = extend(row.left, -1, -1);
  row.right = extend(row.right - 1, 1, grey.width) + 1;
  return row;
}

}  // namespace

class TesseractTextRecognizer::Engine {
 public:
  Engine(std::string languages, bool languageCorrection)
      : languages_(std::move(languages)), languageCorrection_(languageCorrection) {}
  ~Engine() { api_.End(); }

  bool start(const std::filesystem::path& dataPath) {
    runLibraryParallelRegionsOnOneThread();
    const std::string path = dataPath.string();
    // Without language correction the word lists stay unloaded, so the engine reads what is
    // written ("sk-live4f9a…") rather than the nearest dictionary word.
    const std::vector<std::string> names = {"load_system_dawg", "load_freq_dawg"};
    const std::vector<std::string> values(names.size(), languageCorrection_ ? "1" : "0");
    if (api_.Init(path.empty() ? nullptr : path.c_str(), languages_.c_str(),
                  tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) != 0) {
      return false;
    }
    // We invert dark backgrounds ourselves; the engine's retry of every doubtful line inverted
    // would double the work.
    api_.SetVariable("tessedit_do_invert", "0");
    // Screens hold neither tables to recognise as such nor vertical lines of text: the layout
    // need not look for them.
    api_.SetVariable("textord_tabfind_find_tables", "0");
    api_.SetVariable("textord_tabfind_vertical_text", "0");
    api_.SetVariable("debug_file", "/dev/null");
    return true;
  }

  const std::string& languages() const { return languages_; }
  // The models the library did load ("eng" when "kor+eng" was asked for without Korean data).
  std::string loadedLanguages() {
    std::vector<std::string> loaded;
    api_.GetLoadedLanguagesAsVector(&loaded);
    std::string joined;
    for (const std::string& language : loaded) joined += (joined.empty() ? "" : "+") + language;
    return joined;
  }
  std::string poolKey() const { return poolKeyOf(languages_, languageCorrection_); }
  static std::string poolKeyOf(const std::string& languages, bool languageCorrection) {
    return languageCorrection ? languages : languages + " (no correction)";
  }
  tesseract::TessBaseAPI& api() { return api_; }

  void setImage(const GreyImage& grey, tesseract::PageSegMode mode = tesseract::PSM_AUTO) {
    api_.SetImage(grey.pixels.data(), grey.width, grey.height, 1, grey.width);
    api_.SetSourceResolution(96);
    api_.SetPageSegMode(mode);
  }

  // The lines of the image as read with the given page segmentation, boxes in its pixels, with
  // their characters when `withSymbols`.
  runtime::Result<std::vector<ReadLine>> read(const GreyImage& grey, tesseract::PageSegMode mode,
                                              TextRequestCancellation& cancellation,
                                              bool withSymbols = false) {
    setImage(grey, mode);
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &cancelRequested;
    monitor.cancel_this = &cancellation;
    const int status = api_.Recognize(&monitor);
    if (cancellation.isCancelled()) return kCancelled;
    if (status != 0) return runtime::Error{"Text recognition failed."};
    std::vector<ReadLine> lines;
    std::unique_ptr<tesseract::ResultIterator> iterator(api_.GetIterator());
    if (!iterator) return lines;
    constexpr auto kLine = tesseract::RIL_TEXTLINE;
    constexpr auto kWord = tesseract::RIL_WORD;
    // Walked word by word: a line is taken whole unless a column gap splits it.
    std::optional<ReadLine> line;
    std::vector<ReadLine> words;
    auto finishLine = [&] {
      if (line) appendSplitAtColumnGaps(std::move(*line), words, lines);
      line.reset();
      words.clear();
    };
    do {
      if (iterator->IsAtBeginningOf(kLine)) {
        finishLine();
        ReadLine whole;
        if (!iterator->Empty(kLine) &&
            iterator->BoundingBox(kLine, &whole.left, &whole.top, &whole.right, &whole.bottom)) {
          if (std::unique_ptr<char[]> text(iterator->GetUTF8Text(kLine)); text) {
            whole.text = trimmedLineText(text.get());
            whole.confidence = iterator->Confidence(kLine) / 100.0f;
            line = std::move(whole);
          }
        }
      }
      ReadLine word;
      if (!line || iterator->Empty(kWord) ||
          !iterator->BoundingBox(kWord, &word.left, &word.top, &word.right, &word.bottom))
        continue;
      std::unique_ptr<char[]> text(iterator->GetUTF8Text(kWord));
      if (!text) continue;
      word.text = text.get();
      word.confidence = iterator->Confidence(kWord) / 100.0f;
      if (withSymbols) word.symbols = symbolsOf(*iterator);
      words.push_back(std::move(word));
    } while (iterator->Next(kWord));
    finishLine();
    return lines;
  }

 private:
  // The characters of the word the iterator is at.
  static std::vector<ReadSymbol> symbolsOf(const tesseract::ResultIterator& word) {
    constexpr auto kWord = tesseract::RIL_WORD;
    constexpr auto kSymbol = tesseract::RIL_SYMBOL;
    std::vector<ReadSymbol> symbols;
    tesseract::ResultIterator symbol(word);
    do {
      std::unique_ptr<char[]> text(symbol.GetUTF8Text(kSymbol));
      if (text) symbols.push_back({text.get(), symbol.Confidence(kSymbol) / 100.0f});
    } while (!symbol.IsAtFinalElement(kWord, kSymbol) && symbol.Next(kSymbol));
    return symbols;
  }

  std::string languages_;
  bool languageCorrection_;
  tesseract::TessBaseAPI api_;
};

// An engine borrowed by one thread for one call, returned to the pool when released.
class TesseractTextRecognizer::EngineLease {
 public:
  EngineLease(TesseractTextRecognizer& owner, std::unique_ptr<Engine> engine)
      : owner_(owner), engine_(std::move(engine)) {}
  ~EngineLease() { owner_.giveBack(std::move(engine_)); }
  Engine& operator*() { return *engine_; }
  Engine* operator->() { return engine_.get(); }

 private:
  TesseractTextRecognizer& owner_;
  std::unique_ptr<Engine> engine_;
};

TesseractTextRecognizer::TesseractTextRecognizer(Options options) : options_(std::move(options)) {
  runLibraryParallelRegionsOnOneThread();
}

TesseractTextRecognizer::~TesseractTextRecognizer() = default;

std::size_t TesseractTextRecognizer::engineCount() const {
  std::lock_guard lock(mutex_);
  return engineCount_;
}

runtime::Result<std::shared_ptr<TesseractTextRecognizer::EngineLease>>
TesseractTextRecognizer::borrowEngine(const std::string& languages, bool languageCorrection) {
  runLibraryParallelRegionsOnOneThread();
  const runtime::Error unavailable{"The text recognition languages " + languages +
                                   " are not installed."};
  {
    std::lock_guard lock(mutex_);
    if (unavailable_.contains(languages)) return unavailable;
    auto& idle = idle_[Engine::poolKeyOf(languages, languageCorrection)];
    if (!idle.empty()) {
      auto engine = std::move(idle.back());
      idle.pop_back();
      return std::make_shared<EngineLease>(*this, std::move(engine));
    }
  }
  auto engine = std::make_unique<Engine>(languages, languageCorrection);
  if (!engine->start(options_.dataPath)) {
    bool firstFailure = false;
    {
      std::lock_guard lock(mutex_);
      firstFailure = unavailable_.insert(languages).second;
    }
    if (firstFailure && options_.record) {
      options_.record("protected_share_text_recognition_unavailable", {{"languages", languages}});
    }
    return unavailable;
  }
  {
    std::lock_guard lock(mutex_);
    ++engineCount_;
  }
  const std::string loaded = engine->loadedLanguages();
  if (loaded != languages) noteFallback(languages, loaded);
  return std::make_shared<EngineLease>(*this, std::move(engine));
}

std::string TesseractTextRecognizer::englishModel() const {
  const auto english = options_.models.find("en-US");
  return english == options_.models.end() ? "eng" : english->second;
}

runtime::Result<std::shared_ptr<TesseractTextRecognizer::EngineLease>>
TesseractTextRecognizer::borrowEngineOrEnglish(const std::string& languages,
                                               bool languageCorrection) {
  auto lease = borrowEngine(languages, languageCorrection);
  const std::string english = englishModel();
  if (lease.ok() || languages == english) return lease;
  // Only a set that asked for English falls back to it ("kor+eng" without its Korean model).
  if (!setHoldsModel(languages, english)) return lease;
  auto fallback = borrowEngine(english, languageCorrection);
  if (!fallback.ok()) return lease;
  noteFallback(languages, english);
  return fallback;
}

void TesseractTextRecognizer::noteFallback(const std::string& languages,
                                           const std::string& loaded) {
  bool first = false;
  {
    std::lock_guard lock(mutex_);
    first = fellBack_.insert(languages).second;
  }
  if (first && options_.record) {
    options_.record("protected_share_text_recognition_language_fallback",
                    {{"languages", languages}, {"using", loaded}});
  }
}

void TesseractTextRecognizer::giveBack(std::unique_ptr<Engine> engine) {
  if (!engine) return;
  engine->api().Clear();
  std::lock_guard lock(mutex_);
  idle_[engine->poolKey()].push_back(std::move(engine));
}

runtime::Result<RecognizedTextResults> TesseractTextRecognizer::recognize(
    const PixelBuffer& image, const TextRecognitionRequest& request) {
  std::string languages;
  for (const std::string& language : request.recognitionLanguages) {
    auto model = options_.models.find(language);
    if (model == options_.models.end()) continue;
    if (!languages.empty()) languages += "+";
    languages += model->second;
  }
  if (languages.empty()) return runtime::Error{"No text recognition language was requested."};
  if (request.cancellation->isCancelled()) return kCancelled;

  const PixelArea area = pixelAreaOf(request.regionOfInterest, image.width(), image.height());
  if (area.width < 1 || area.height < 1) return RecognizedTextResults{};
  GreyImage grey = greyDarkOnLight(image, area);
  eraseRules(grey);
  double scale = 1;
  // A terminal is read along its grid of cells (at its own scale, kept in `cells` when an accurate
  // read enlarges it): rows of characters it has already read come from what it read.
  std::optional<CharacterGrid> grid;
  std::optional<std::vector<GridRow>> terminal;
  GreyImage cells;
  const bool accurate = request.recognitionLevel == TextRecognitionLevel::accurate;
  if (accurate) {
    const int lineHeight = typicalLineHeight(grey);
    if (lineHeight > 0 && lineHeight < options_.smallTextLineHeight) {
      scale = std::clamp(static_cast<double>(options_.targetLineHeight) / lineHeight, 1.0,
                         kLargestEnlargement);
    }
  }
  // At either level: a quick read of a terminal would otherwise read every row of it again.
  grid = findCharacterGrid(grey);
  if (grid) terminal = terminalRows(grey, *grid);
  if (scale > 1) {
    if (terminal) cells = grey;
    grey = scaled(grey, scale);
  }

  // A set holding English and other models is read in English first, at either level, and only
  // the lines English read doubtfully are read again, on their own, with the whole set where they
  // may hold Hangul: the whole set tries each doubtful word in every one of its languages, which
  // doubles the work on the many lines English reads well.
  const std::string english = englishModel();
  const bool englishFirst = languages != english && setHoldsModel(languages, english);
  std::vector<ReadLine> lines;
  {
    auto lease = englishFirst ? borrowEngine(english, request.usesLanguageCorrection)
                              : borrowEngineOrEnglish(languages, request.usesLanguageCorrection);
    if (!lease.ok()) return lease.error();
    Engine& engine = **lease.value();
    auto read = terminal ? readAlongGrid(scale > 1 ? cells : grey, grey, scale, *grid,
                                         std::move(*terminal), glyphs_,
                                         [&](const GreyImage& piece) {
                                           return engine.read(piece, tesseract::PSM_AUTO,
                                                              *request.cancellation, true);
                                         })
                         : engine.read(grey, tesseract::PSM_AUTO, *request.cancellation);
    if (!read.ok()) return read.error();
    lines = std::move(read).value();
  }
  if (englishFirst) {
    if (auto status = rereadDoubtfulLines(grey, languages, request, lines); !status)
      return status.error();
  }

  const float minimumHeight = request.minimumTextHeight * static_cast<float>(image.height());
  RecognizedTextResults results;
  for (const ReadLine& line : lines) {
    if ((line.bottom - line.top) / scale < minimumHeight) continue;
    const Rect box = imageBoxOf(line.left, line.top, line.right, line.bottom, area, scale, image);
    results.push_back({RecognizedTextCandidate{line.text, line.confidence},
                       relativeTo(box, request.regionOfInterest)});
  }
  return results;
}

runtime::Status TesseractTextRecognizer::rereadDoubtfulLines(const GreyImage& grey,
                                                             const std::string& languages,
                                                             const TextRecognitionRequest& request,
                                                             std::vector<ReadLine>& lines) {
  // Each borrowed at the first line that needs it.
  std::shared_ptr<EngineLease> english;
  std::shared_ptr<EngineLease> whole;
  std::optional<std::uint8_t> background;
  auto readAgain = [&](bool wholeSet,
                       const ReadLine& line) -> runtime::Result<std::vector<ReadLine>> {
    std::shared_ptr<EngineLease>& reader = wholeSet ? whole : english;
    if (!reader) {
      auto lease = wholeSet ? borrowEngineOrEnglish(languages, request.usesLanguageCorrection)
                            : borrowEngine(englishModel(), request.usesLanguageCorrection);
      if (!lease.ok()) return lease.error();
      reader = std::move(lease).value();
    }
    if (wholeSet && !background) background = backgroundLevel(grey);
    return readAlone(**reader, grey, wholeSet ? withCutOffSyllables(grey, *background, line) : line,
                     *request.cancellation);
  };
  // The whole set tries each doubtful word in every language, at several times the cost of
  // English alone: it is spent only on a row that may hold Hangul. A row of Latin text is read
  // again by English alone, which, given the row by itself, often reads surely what it read
  // doubtfully among its neighbours.
  // A quick read leaves its doubtful rows of Latin text to its caller, which reads them again
  // more carefully; it reads again here only what may be Korean, which English cannot read.
  const bool latinRowsToo = request.recognitionLevel == TextRecognitionLevel::accurate;
  std::vector<ReadLine> rereads;
  const int typical = typicalHeight(lines);
  for (const ReadLine& line : lines) {
    if (line.confidence >= kDoubtfulLine || line.bottom - line.top > kTallestRereadLine * typical)
      continue;
    // Several rows taken for one line are told apart by English first (their strokes, stacked,
    // would all look like Hangul), and each row it still doubts is read as a row.
    const bool rows = line.bottom - line.top > kRowsOfOneLine * typical;
    const bool hangul = rows || mayHoldHangul(grey, line);
    if (!latinRowsToo && !hangul) continue;
    auto read = rows ? readAgain(false, line) : readAgain(hangul, line);
    if (!read.ok()) return read.error();
    std::vector<ReadLine> parts = std::move(read).value();
    for (std::size_t i = 0, split = parts.size(); rows && i < split; ++i) {
      if (parts[i].confidence >= kDoubtfulLine || !mayHoldHangul(grey, parts[i])) continue;
      auto row = readAgain(true, parts[i]);
      if (!row.ok()) return row.error();
      for (ReadLine& part : row.value()) parts.push_back(std::move(part));
    }
    // Every reading stands: the rules see what any read, and the surest vouches for the line.
    for (ReadLine& part : parts)
      if (part.text != line.text) rereads.push_back(std::move(part));
  }
  lines.insert(lines.end(), std::make_move_iterator(rereads.begin()),
               std::make_move_iterator(rereads.end()));
  return runtime::Status::success();
}

runtime::Result<std::vector<ReadLine>> TesseractTextRecognizer::readAlone(
    Engine& engine, const GreyImage& grey, const ReadLine& line,
    TextRequestCancellation& cancellation) {
  // The line with a margin, read as one block: a neighbour's edge may show in the margin.
  const int pad = std::max(4, (line.bottom - line.top) / 3);
  const GreyImage piece =
      cropped(grey, {line.left - pad, line.top - pad, line.right - line.left + 2 * pad,
                     line.bottom - line.top + 2 * pad});
  auto read = engine.read(piece, tesseract::PSM_SINGLE_BLOCK, cancellation);
  if (!read.ok()) return read.error();
  std::vector<ReadLine> parts;
  for (ReadLine& part : read.value())
    if (!part.text.empty()) parts.push_back(std::move(part));
  // Read as one line, the reading stands over the line's own box. Read as several (English took
  // rows of Korean for one line), each row stands over its own box with its own confidence: one
  // doubtful row does not cast doubt on its neighbours.
  if (parts.size() == 1) {
    parts.front().left = line.left, parts.front().top = line.top;
    parts.front().right = line.right, parts.front().bottom = line.bottom;
  } else {
    const int x0 = std::max(0, line.left - pad), y0 = std::max(0, line.top - pad);
    for (ReadLine& part : parts) {
      part.left += x0, part.right += x0;
      part.top += y0, part.bottom += y0;
    }
  }
  return parts;
}

runtime::Result<std::vector<RecognizedTextResults>> TesseractTextRecognizer::recognizeText(
    const PixelBuffer& image, const std::vector<TextRecognitionRequest>& requests) {
  std::vector<RecognizedTextResults> all;
  for (const TextRecognitionRequest& request : requests) {
    auto results = recognize(image, request);
    if (!results.ok()) return results.error();
    all.push_back(std::move(results).value());
  }
  return all;
}

runtime::Result<std::vector<TextRectangleObservation>>
TesseractTextRecognizer::detectTextRectangles(const PixelBuffer& image,
                                              const TextRectanglesRequest& request) {
  if (request.cancellation->isCancelled()) return kCancelled;
  const PixelArea area = pixelAreaOf(request.regionOfInterest, image.width(), image.height());
  std::vector<TextRectangleObservation> observations;
  if (area.width < 1 || area.height < 1) return observations;
  const GreyImage grey = greyDarkOnLight(image, area);

  // Layout needs no language model; the English one is always the lightest to load.
  auto lease = borrowEngine(englishModel(), false);
  if (!lease.ok()) return lease.error();
  Engine& engine = **lease.value();
  engine.setImage(grey);
  std::unique_ptr<tesseract::PageIterator> words(engine.api().AnalyseLayout());
  if (request.cancellation->isCancelled()) return kCancelled;
  if (!words) return observations;
  constexpr auto kWord = tesseract::RIL_WORD;
  constexpr auto kSymbol = tesseract::RIL_SYMBOL;
  words->Begin();
  do {
    int left = 0, top = 0, right = 0, bottom = 0;
    if (words->Empty(kWord) || !words->BoundingBox(kWord, &left, &top, &right, &bottom)) continue;
    if (isLayoutElement(*words, right - left, bottom - top, area)) continue;
    TextRectangleObservation observation{imageBoxOf(left, top, right, bottom, area, 1, image),
                                         std::nullopt};
    if (request.reportCharacterBoxes) {
      std::vector<Rect> characters;
      do {
        if (words->BoundingBox(kSymbol, &left, &top, &right, &bottom)) {
          characters.push_back(imageBoxOf(left, top, right, bottom, area, 1, image));
        }
      } while (!words->IsAtFinalElement(kWord, kSymbol) && words->Next(kSymbol));
      observation.characterBoxes = std::move(characters);
    }
    observations.push_back(std::move(observation));
  } while (words->Next(kWord));
  return observations;
}

}  // namespace corvane::platform::ocr
