#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"
#include "runtime/result.h"

namespace corvane::platform {

// Rectangles in this interface are normalised to the unit square with the origin at the BOTTOM
// left: regions of interest to the whole image, recognised-line boxes to their request's region
// of interest, text-rectangle boxes to the whole image.

enum class TextRecognitionLevel { accurate, fast };

// A request's cancel switch. Cancelling makes the request's running or later recognition fail;
// it never comes back on.
class TextRequestCancellation {
 public:
  void cancel() { cancelled_.store(true, std::memory_order_release); }
  bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }
  // What a recognizer asks while the request runs (Tesseract: once per text line): true when
  // it should stop.
  bool shouldStop() {
    polls_.fetch_add(1, std::memory_order_acq_rel);
    return isCancelled();
  }
  // How often a recognizer has asked so far: above zero once the request is under way.
  int pollCount() const { return polls_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> cancelled_{false};
  std::atomic<int> polls_{0};
};

using SharedTextRequestCancellation = std::shared_ptr<TextRequestCancellation>;

struct TextRecognitionRequest {
  TextRecognitionLevel recognitionLevel = TextRecognitionLevel::accurate;
  bool usesLanguageCorrection = false;
  // Lines shorter than this fraction of the image height may be ignored.
  float minimumTextHeight = 0;
  Rect regionOfInterest{{0, 0}, {1, 1}};
  // BCP 47 tags in order of preference ("ko-KR", "en-US").
  std::vector<std::string> recognitionLanguages;
  SharedTextRequestCancellation cancellation = std::make_shared<TextRequestCancellation>();
};

struct RecognizedTextCandidate {
  std::string string;
  float confidence = 0;  // 0 to 1
};

// One recognised line; its box is relative to the request's region of interest.
struct RecognizedTextObservation {
  std::optional<RecognizedTextCandidate> topCandidate;
  Rect boundingBox;
};

// The lines of one request, in reading order; empty when nothing was read.
using RecognizedTextResults = std::vector<RecognizedTextObservation>;

struct TextRectanglesRequest {
  Rect regionOfInterest{{0, 0}, {1, 1}};
  bool reportCharacterBoxes = false;
  SharedTextRequestCancellation cancellation = std::make_shared<TextRequestCancellation>();
};

// One area that holds text (a word), relative to the whole image; character boxes when asked.
struct TextRectangleObservation {
  Rect boundingBox;
  std::optional<std::vector<Rect>> characterBoxes;
};

// On-device text recognition and text-area detection. Calls are synchronous and may come from
// several threads at once; a failure (a cancelled request, a missing language model, an unusable
// image) is an Error value, never an exception.
class TextRecognizer {
 public:
  virtual ~TextRecognizer() = default;

  // Runs every request on the image; one result list per request, in request order. Fails as a
  // whole when any request fails.
  virtual runtime::Result<std::vector<RecognizedTextResults>> recognizeText(
      const PixelBuffer& image, const std::vector<TextRecognitionRequest>& requests) = 0;

  virtual runtime::Result<std::vector<TextRectangleObservation>> detectTextRectangles(
      const PixelBuffer& image, const TextRectanglesRequest& request) = 0;
};

}  // namespace corvane::platform
