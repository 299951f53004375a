#include "platform/sim/scripted_text_recognizer.h"

namespace corvane::platform::sim {
namespace {

const runtime::Error kCancelled{"The text request was cancelled."};

Point centre(const Rect& r) {
  return {r.minX() + r.width() / 2, r.minY() + r.height() / 2};
}

bool containsInclusive(const Rect& r, Point p) {
  return p.x >= r.minX() && p.x <= r.maxX() && p.y >= r.minY() && p.y <= r.maxY();
}

Rect relativeTo(const Rect& box, const Rect& region) {
  return Rect{{(box.minX() - region.minX()) / region.width(),
               (box.minY() - region.minY()) / region.height()},
              {box.width() / region.width(), box.height() / region.height()}};
}

}  // namespace

void ScriptedTextRecognizer::addLine(Line line) {
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
}

void ScriptedTextRecognizer::addLine(std::string text, float confidence, Rect box) {
  addLine(Line{std::move(text), confidence, box, {}});
}

void ScriptedTextRecognizer::addWord(Word word) {
  std::lock_guard lock(mutex_);
  words_.push_back(std::move(word));
}

void ScriptedTextRecognizer::addWordWithCharacters(Rect box, int count) {
  Word word{box, {}};
  const double step = box.width() / count;
  for (int i = 0; i < count; ++i) {
    word.characterBoxes.push_back(
        Rect{{box.minX() + i * step, box.minY()}, {step * 0.8, box.height()}});
  }
  addWord(std::move(word));
}

void ScriptedTextRecognizer::setRecognitionFailsFor(
    std::function<bool(const TextRecognitionRequest&)> predicate) {
  std::lock_guard lock(mutex_);
  recognitionFailsFor_ = std::move(predicate);
}

void ScriptedTextRecognizer::setDetectionFails(bool fails) {
  std::lock_guard lock(mutex_);
  detectionFails_ = fails;
}

void ScriptedTextRecognizer::setBeforeRecognition(
    std::function<void(const std::vector<TextRecognitionRequest>&)> hook) {
  std::lock_guard lock(mutex_);
  beforeRecognition_ = std::move(hook);
}

std::vector<TextRecognitionRequest> ScriptedTextRecognizer::recognitionRequests() const {
  std::lock_guard lock(mutex_);
  return recognitionRequests_;
}

std::vector<TextRectanglesRequest> ScriptedTextRecognizer::detectionRequests() const {
  std::lock_guard lock(mutex_);
  return detectionRequests_;
}

runtime::Result<std::vector<RecognizedTextResults>> ScriptedTextRecognizer::recognizeText(
    const PixelBuffer& /*image*/, const std::vector<TextRecognitionRequest>& requests) {
  std::function<void(const std::vector<TextRecognitionRequest>&)> hook;
  {
    std::lock_guard lock(mutex_);
    recognitionRequests_.insert(recognitionRequests_.end(), requests.begin(), requests.end());
    hook = beforeRecognition_;
  }
  if (hook) hook(requests);
  std::lock_guard lock(mutex_);
  std::vector<RecognizedTextResults> results;
  for (const TextRecognitionRequest& request : requests) {
    if (recognitionFailsFor_ && recognitionFailsFor_(request)) {
      return runtime::Error{"The scripted recognition failed."};
    }
    if (request.cancellation->shouldStop()) return kCancelled;
    RecognizedTextResults observations;
    for (const Line& line : lines_) {
      if (line.readableBy && !line.readableBy(request)) continue;
      if (!containsInclusive(request.regionOfInterest, centre(line.box))) continue;
      observations.push_back(
          RecognizedTextObservation{RecognizedTextCandidate{line.text, line.confidence},
                                    relativeTo(line.box, request.regionOfInterest)});
    }
    results.push_back(std::move(observations));
  }
  return results;
}

runtime::Result<std::vector<TextRectangleObservation>> ScriptedTextRecognizer::detectTextRectangles(
    const PixelBuffer& /*image*/, const TextRectanglesRequest& request) {
  std::lock_guard lock(mutex_);
  detectionRequests_.push_back(request);
  if (detectionFails_) return runtime::Error{"The scripted text detection failed."};
  if (request.cancellation->shouldStop()) return kCancelled;
  std::vector<TextRectangleObservation> observations;
  for (const Word& word : words_) {
    if (!word.box.intersects(request.regionOfInterest)) continue;
    TextRectangleObservation observation{word.box, std::nullopt};
    if (request.reportCharacterBoxes) observation.characterBoxes = word.characterBoxes;
    observations.push_back(std::move(observation));
  }
  return observations;
}

}  // namespace corvane::platform::sim
