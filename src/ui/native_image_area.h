#pragma once

#include <QWidget>
#include <functional>

namespace corvane::ui {

// A native child window that Qt never paints: whoever owns it draws into it with the platform's
// own requests, past Qt's backing store, and redraws it whole when `exposed` is called.
class NativeImageArea final : public QWidget {
 public:
  NativeImageArea(QWidget* parent, std::function<void()> exposed);
  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::function<void()> exposed_;
};

}  // namespace corvane::ui
