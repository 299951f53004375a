#pragma once

#include <QSize>
#include <array>
#include <memory>

#include "platform/pixel_buffer.h"

namespace corvane::ui {

class NativeImagePresenter;

// Two shared-memory images a presenter puts from, written in turns: while the server may still
// read the one put last, the other is written, and an image is written only once the server has
// read every earlier put of it.
class AlternatingPutBuffers {
 public:
  enum class Sizing { exact, atLeast };

  // The image whose turn it is, ready to be written: `size` (or at least `size`), made anew as
  // `sizeIfMade` when it is not, with `made` set then. Null when no shared memory can be had.
  std::shared_ptr<platform::PixelBuffer> next(NativeImagePresenter& presenter, QSize size,
                                              Sizing sizing, QSize sizeIfMade, bool& made);

 private:
  std::array<std::shared_ptr<platform::PixelBuffer>, 2> images_;
  std::size_t turn_ = 0;
};

}  // namespace corvane::ui
