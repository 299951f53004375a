#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/ocr/glyph_table.h"
#include "platform/linux/ocr/read_line.h"
#include "platform/text_recognizer.h"

namespace tesseract {
class TessBaseAPI;
}

namespace corvane::platform::ocr {

struct GreyImage;

// Text recognition with Tesseract 5 (LSTM). Each calling thread borrows an engine of its own
// from a pool, made on first need (about 54 MB and 0.1 s each) and kept for later calls; the
// library's own OpenMP threading is switched off, so parallelism is the callers' workers.
//
// Levels: `fast` reads the region at its native scale. `accurate` first enlarges a region whose
// text is small (lines under `smallTextLineHeight` pixels) so that its lines reach about
// `targetLineHeight`, which the engine reads far more reliably. At either level a set of
// languages holding English is read in English first, and only the lines English doubts are read
// again with the whole set. Light text on a dark background is inverted before either. A read of
// a terminal (text in cells of one size), at either level, reads the rows whose characters it
// already read, in this frame or an earlier one, from those readings.
class TesseractTextRecognizer final : public TextRecognizer {
 public:
  struct Options {
    // Folder holding the *.traineddata files; empty: the library's own default.
    std::filesystem::path dataPath;
    // Request language → model name. Requested languages without a model here are skipped.
    std::map<std::string, std::string> models = {{"en-US", "eng"}, {"ko-KR", "kor"}};
    // Accurate recognition enlarges regions whose lines are shorter than this (0: never)...
    int smallTextLineHeight = 20;
    // ...towards lines of this height.
    int targetLineHeight = 24;
    // Receives one event per language set that cannot be loaded, and one per set read in
    // English alone because another of its models is missing.
    std::function<void(const std::string& event, std::map<std::string, std::string> fields)> record;
  };

  explicit TesseractTextRecognizer(Options options);
  ~TesseractTextRecognizer() override;

  runtime::Result<std::vector<RecognizedTextResults>> recognizeText(
      const PixelBuffer& image, const std::vector<TextRecognitionRequest>& requests) override;
  runtime::Result<std::vector<TextRectangleObservation>> detectTextRectangles(
      const PixelBuffer& image, const TextRectanglesRequest& request) override;

  // Engines made so far (idle or in use).
  std::size_t engineCount() const;
  // Forgets the terminal glyphs read so far, as a recognizer just made knows none.
  void forgetLearnedGlyphs() { glyphs_.clear(); }

 private:
  class Engine;
  class EngineLease;

  // An engine for the language set ("kor+eng"), with or without its word lists, or the sentence
  // saying why there is none.
  runtime::Result<std::shared_ptr<EngineLease>> borrowEngine(const std::string& languages,
                                                             bool languageCorrection);
  // The same, except that a set holding English whose other models are missing is read in
  // English alone rather than not at all (reported once per set).
  runtime::Result<std::shared_ptr<EngineLease>> borrowEngineOrEnglish(const std::string& languages,
                                                                      bool languageCorrection);
  std::string englishModel() const;
  // Reports, once per requested set, that it is read with fewer models than asked for.
  void noteFallback(const std::string& languages, const std::string& loaded);
  void giveBack(std::unique_ptr<Engine> engine);
  runtime::Result<RecognizedTextResults> recognize(const PixelBuffer& image,
                                                   const TextRecognitionRequest& request);
  // Reads each line below the doubt cut-off again on its own, in English and, where English still
  // doubts it, with the whole language set, and adds those readings where they differ: over the
  // same box, or, where the line holds several rows, each row over its own box. A row that may
  // hold Hangul is read with the ink continuing it on either side (syllables the layout cut off).
  // A `fast` request reads again only the lines that may hold Hangul.
  runtime::Status rereadDoubtfulLines(const GreyImage& grey, const std::string& languages,
                                      const TextRecognitionRequest& request,
                                      std::vector<ReadLine>& lines);
  // `line` of `grey` read on its own by `engine`, as one block with a margin; its rows in
  // `grey`'s pixels.
  static runtime::Result<std::vector<ReadLine>> readAlone(Engine& engine, const GreyImage& grey,
                                                          const ReadLine& line,
                                                          TextRequestCancellation& cancellation);

  Options options_;
  mutable std::mutex mutex_;
  std::map<std::string, std::vector<std::unique_ptr<Engine>>> idle_;
  std::set<std::string> unavailable_;
  std::set<std::string> fellBack_;
  std::size_t engineCount_ = 0;
  // The characters of terminal fonts read so far, kept from one frame to the next.
  GlyphTable glyphs_;
};

}  // namespace corvane::platform::ocr
