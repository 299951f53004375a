#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "platform/sim/scripted_text_recognizer.h"
#include "platform/text_recognizer.h"

namespace corvane::verification::testing {

// The verification engine's recognizer in tests: it reads what its script holds, and records
// every recognition call (the size of the image it was given and the level it was asked for).
// `afterRecognition` runs after each call with the call's number, from 1, on the calling thread.
class EngineTestRecognizer final : public platform::TextRecognizer {
 public:
  struct Call {
    platform::Size imageSize;
    platform::TextRecognitionLevel level = platform::TextRecognitionLevel::accurate;
  };

  platform::sim::ScriptedTextRecognizer script;
  std::function<void(int call)> afterRecognition;

  std::vector<Call> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

  runtime::Result<std::vector<platform::RecognizedTextResults>> recognizeText(
      const platform::PixelBuffer& image,
      const std::vector<platform::TextRecognitionRequest>& requests) override {
    int call = 0;
    {
      std::lock_guard lock(mutex_);
      calls_.push_back({{static_cast<double>(image.width()), static_cast<double>(image.height())},
                        requests.empty() ? platform::TextRecognitionLevel::accurate
                                         : requests.front().recognitionLevel});
      call = static_cast<int>(calls_.size());
    }
    auto results = script.recognizeText(image, requests);
    if (afterRecognition) afterRecognition(call);
    return results;
  }

  runtime::Result<std::vector<platform::TextRectangleObservation>> detectTextRectangles(
      const platform::PixelBuffer& image, const platform::TextRectanglesRequest& request) override {
    return script.detectTextRectangles(image, request);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

}  // namespace corvane::verification::testing
