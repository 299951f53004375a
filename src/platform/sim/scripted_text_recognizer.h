#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/text_recognizer.h"

namespace corvane::platform::sim {

// A text recognizer that reads what a test wrote on the image: lines and words placed in
// bottom-left normalised image coordinates. A recognition request returns the scripted lines
// whose centre lies in its region of interest (boxes relative to it); a text-rectangle request
// returns the words that touch its region. Every request is recorded.
class ScriptedTextRecognizer final : public TextRecognizer {
 public:
  struct Line {
    std::string text;
    float confidence = 1;
    Rect box;
    // Which requests can read the line; empty: every request.
    std::function<bool(const TextRecognitionRequest&)> readableBy;
  };
  struct Word {
    Rect box;
    std::vector<Rect> characterBoxes;
  };

  void addLine(Line line);
  void addLine(std::string text, float confidence, Rect box);
  void addWord(Word word);
  // A word with `count` equal character boxes spread over its width.
  void addWordWithCharacters(Rect box, int count);

  // Failing calls return an Error instead of results: recognition calls holding a request the
  // predicate picks (empty: none fail), every detection call.
  void setRecognitionFailsFor(std::function<bool(const TextRecognitionRequest&)> predicate);
  void setDetectionFails(bool fails);
  // Runs at the start of every recognition call, on the calling thread (for example to wait
  // until the test cancels).
  void setBeforeRecognition(std::function<void(const std::vector<TextRecognitionRequest>&)> hook);

  std::vector<TextRecognitionRequest> recognitionRequests() const;
  std::vector<TextRectanglesRequest> detectionRequests() const;

  runtime::Result<std::vector<RecognizedTextResults>> recognizeText(
      const PixelBuffer& image, const std::vector<TextRecognitionRequest>& requests) override;
  runtime::Result<std::vector<TextRectangleObservation>> detectTextRectangles(
      const PixelBuffer& image, const TextRectanglesRequest& request) override;

 private:
  mutable std::mutex mutex_;
  std::vector<Line> lines_;
  std::vector<Word> words_;
  std::function<bool(const TextRecognitionRequest&)> recognitionFailsFor_;
  bool detectionFails_ = false;
  std::function<void(const std::vector<TextRecognitionRequest>&)> beforeRecognition_;
  std::vector<TextRecognitionRequest> recognitionRequests_;
  std::vector<TextRectanglesRequest> detectionRequests_;
};

}  // namespace corvane::platform::sim
