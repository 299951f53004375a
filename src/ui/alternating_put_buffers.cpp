#include "ui/alternating_put_buffers.h"

#include "platform/shared_memory_pixels.h"
#include "ui/native_image_presenter.h"

namespace corvane::ui {

std::shared_ptr<platform::PixelBuffer> AlternatingPutBuffers::next(NativeImagePresenter& presenter,
                                                                   QSize size, Sizing sizing,
                                                                   QSize sizeIfMade, bool& made) {
  turn_ = 1 - turn_;
  auto& image = images_[turn_];
  const bool fits =
      image && (sizing == Sizing::exact
                    ? image->width() == size.width() && image->height() == size.height()
                    : image->width() >= size.width() && image->height() >= size.height());
  made = !fits;
  if (fits) {
    presenter.awaitRead(*image);
    return image;
  }
  // The image it replaces stays with the presenter until the server has read it.
  image = platform::makeSharedMemoryPixels(sizeIfMade.width(), sizeIfMade.height());
  return image;
}

}  // namespace corvane::ui
