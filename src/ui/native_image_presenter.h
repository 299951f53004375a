#pragma once

#include <QRect>
#include <QRegion>
#include <QWindow>
#include <memory>

#include "platform/pixel_buffer.h"

namespace corvane::ui {

// Puts images that live in shared memory straight into a native window, read by the display
// server in place, past Qt's backing store. The composition root provides it where the platform
// can (Qt on X11 with MIT-SHM); everywhere else the canvas paints through Qt.
class NativeImagePresenter {
 public:
  virtual ~NativeImagePresenter() = default;

  // Whether puts can work at all on this connection.
  virtual bool available() const = 0;
  // Puts `source` (image pixels) of `image`, which must have sharedMemory(), with its top left at
  // `at` in `window`; false when the image cannot be put so (the caller paints another way).
  virtual bool put(WId window, const platform::SharedPixelBuffer& image, const QRect& source,
                   const QPoint& at) = 0;
  // Fills `region` of `window` with the opaque `colour`.
  virtual void fill(WId window, const QRegion& region, QRgb colour) = 0;
  // Sends the requests so far now, so the server works on them while more are made.
  virtual void send() = 0;
  // Hands every request so far to the server, the last of a presentation; false when the
  // connection is broken.
  virtual bool flush() = 0;
  // Returns once the server has read `image` for every put made so far, so that its pixels may be
  // written again: at once when it has (or was never put), otherwise after waiting for it.
  virtual void awaitRead(const platform::PixelBuffer& image) = 0;
};

}  // namespace corvane::ui
