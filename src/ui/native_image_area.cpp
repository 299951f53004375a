#include "ui/native_image_area.h"

namespace corvane::ui {

NativeImageArea::NativeImageArea(QWidget* parent, std::function<void()> exposed)
    : QWidget(parent), exposed_(std::move(exposed)) {
  setAttribute(Qt::WA_DontCreateNativeAncestors);
  setAttribute(Qt::WA_NativeWindow);
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void NativeImageArea::paintEvent(QPaintEvent*) {
  exposed_();
}

}  // namespace corvane::ui
