#pragma once

// A frame text analyzer on real Tesseract, for the OCR tests and benchmarks.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/linux/ocr/tesseract_text_recognizer.h"
#include "support/text_corpus.h"
#include "verification/protected_frame_analyzer.h"

namespace corvane::testing {

// The folder of the installed English model, or empty.
inline std::filesystem::path installedModelFolder() {
  std::vector<std::filesystem::path> candidates;
  if (const char* prefix = std::getenv("TESSDATA_PREFIX")) candidates.emplace_back(prefix);
  for (const char* folder : {"/usr/share/tesseract-ocr/5/tessdata",
                             "/usr/share/tesseract-ocr/4.00/tessdata", "/usr/share/tessdata"})
    candidates.emplace_back(folder);
  for (const auto& folder : candidates)
    if (std::filesystem::exists(folder / "eng.traineddata")) return folder;
  return {};
}

inline bool koreanInstalled() {
  const auto installed = installedModelFolder();
  return !installed.empty() && std::filesystem::exists(installed / "kor.traineddata");
}

struct TesseractAnalyzer {
  std::shared_ptr<platform::ocr::TesseractTextRecognizer> recognizer;
  std::unique_ptr<verification::ProtectedFrameAnalyzer> analyzer;
};

inline TesseractAnalyzer makeTesseractAnalyzer(
    platform::ocr::TesseractTextRecognizer::Options options = {}) {
  TesseractAnalyzer made;
  made.recognizer = std::make_shared<platform::ocr::TesseractTextRecognizer>(std::move(options));
  const auto start = std::chrono::steady_clock::now();
  verification::ProtectedFrameAnalyzer::Services services{
      made.recognizer,
      [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      },
      std::make_shared<verification::ProtectedFrameAnalyzerDiagnosticThrottle>(),
      {}};
  made.analyzer = std::make_unique<verification::ProtectedFrameAnalyzer>(
      verification::SensitivityEngine(), services);
  return made;
}

// Every kind enabled and the corpus's always-hide words.
inline verification::SensitivityPreferences corpusPreferences() {
  using K = model::SensitiveKind;
  return {{K::apiKey, K::email, K::phoneNumber, K::customer, K::revenue, K::internalURL},
          kCorpusAlwaysHideWords,
          {}};
}

}  // namespace corvane::testing
