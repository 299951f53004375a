#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "app/source_guard_manager.h"

class QLabel;
class QPushButton;

namespace corvane::ui {

// The source guard's content: on a dark gradient, the badge, "Protected Share Interrupted", the
// guarded display's name, the message, three tokens and the "Stop Protected Share" button, which
// Escape also presses.
class SourceGuardView final : public QWidget {
 public:
  SourceGuardView(std::string displayName, std::function<void()> stopAction,
                  QWidget* parent = nullptr);

  QLabel* displayNameLabel() const { return displayName_; }
  QPushButton* stopButton() const { return stop_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QWidget* makeBadge();

  std::function<void()> stopAction_;
  QLabel* displayName_ = nullptr;
  QPushButton* stop_ = nullptr;
};

// The factory the app gives the guard manager: it builds this view inside a Qt content view.
app::SourceGuardContentFactory makeSourceGuardContentFactory();

}  // namespace corvane::ui
