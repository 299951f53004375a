#pragma once

#include <QFont>
#include <QWidget>
#include <memory>

#include "runtime/main_actor.h"
#include "windows/settings_window_controller.h"
#include "windows/status_row.h"

class QHBoxLayout;
class QLabel;
class QLayout;

namespace corvane::ui {

class RoundedPanel;

// A settings card holding `content`, padded 12 points on every edge.
RoundedPanel* makeSettingsCard(QWidget* parent, QLayout* content);

// A label in the manner of a symbol and its title side by side: the symbol at the text's size
// and the text, both in `color`. The text's label is the widget's `text` child.
QWidget* makeSymbolTitle(QWidget* parent, const std::string& text, const std::string& symbol,
                         qreal pixelSize, QFont::Weight weight, const QColor& color);

// Clamps a wrapping label to `lines` lines of its font.
void limitLines(QLabel* label, int lines);

// A row that states something: a 20-point symbol in its colour, the title over the secondary
// detail, and room on the right for the owner's controls (`trailing()`).
class StatusRowView final : public QWidget {
  Q_OBJECT
 public:
  struct Style {
    qreal titlePixelSize = 13;
    QFont::Weight titleWeight = QFont::DemiBold;
    int detailMaxLines = 0;  // 0: as many as it needs
    bool alignTop = false;
  };

  StatusRowView(Style style, QWidget* parent = nullptr);

  void set(const windows::StatusRowModel& model);

  QLabel* symbolLabel() const { return symbol_; }
  QLabel* titleLabel() const { return title_; }
  QLabel* detailLabel() const { return detail_; }
  QHBoxLayout* trailing() const { return row_; }

 private:
  QHBoxLayout* row_;
  QLabel* symbol_;
  QLabel* title_;
  QLabel* detail_;
};

// Runs `action` with the controller when it is still there. Main actor only.
template <class Action>
void withController(const std::weak_ptr<windows::SettingsWindowController>& controller,
                    Action&& action) {
  runtime::assertMainActor();
  if (auto strong = controller.lock()) action(*strong);
}

}  // namespace corvane::ui
