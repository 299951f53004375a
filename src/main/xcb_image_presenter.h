#pragma once

#include <memory>

#include "ui/native_image_presenter.h"

namespace corvane::wiring {

// Puts shared-memory images into Qt's windows with MIT-SHM on Qt's own X connection; null unless
// Qt runs on its xcb platform and the server has the extension.
std::shared_ptr<ui::NativeImagePresenter> makeXcbImagePresenter();

}  // namespace corvane::wiring
