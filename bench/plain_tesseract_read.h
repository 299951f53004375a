#pragma once

// The reference the text benchmarks' times are given against: one plain Tesseract read of the
// same image, as its command line makes it ("tesseract image.png - -l eng"): English, automatic
// page segmentation, every word list loaded, the whole text, in this process (no process start,
// no file decoding). Recognition is nearly all of what the engine does, so "× a plain read"
// says what the engine's own work adds, on any machine.

#include <tesseract/baseapi.h>

#include <stdexcept>
#include <string>

#include "platform/linux/ocr/library_threading.h"
#include "platform/pixel_buffer.h"

namespace corvane::bench {

class PlainTesseractRead {
 public:
  explicit PlainTesseractRead(const platform::PixelBuffer& image) : image_(image) {
    platform::ocr::runLibraryParallelRegionsOnOneThread();
    if (api_.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0)
      throw std::runtime_error("Tesseract has no English model");
    api_.SetVariable("debug_file", "/dev/null");
  }
  ~PlainTesseractRead() { api_.End(); }
  PlainTesseractRead(const PlainTesseractRead&) = delete;
  PlainTesseractRead& operator=(const PlainTesseractRead&) = delete;

  // Reads the whole image once; the characters read.
  std::size_t once() {
    platform::ocr::runLibraryParallelRegionsOnOneThread();
    api_.SetImage(image_.data(), image_.width(), image_.height(), 4,
                  static_cast<int>(image_.bytesPerRow()));
    api_.SetSourceResolution(96);
    char* text = api_.GetUTF8Text();
    const std::size_t characters = text ? std::string(text).size() : 0;
    delete[] text;
    api_.Clear();
    return characters;
  }

 private:
  const platform::PixelBuffer& image_;
  tesseract::TessBaseAPI api_;
};

}  // namespace corvane::bench
