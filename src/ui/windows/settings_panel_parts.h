#pragma once

#include <QFont>
#include <QLayout>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/main_actor.h"
#include "windows/settings_window_controller.h"
#include "windows/status_row.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace corvane::ui {

class RoundedPanel;

// A panel's column: its SectionTitle, then what the owner adds, 10 points apart.
QVBoxLayout* makeTitledColumn(QWidget* panel, const char* title, const char* subtitle);

// A card for a list of rows: no padding of its own, rows 0 points apart; `rows` is its layout.
RoundedPanel* makeListCard(QWidget* parent, QVBoxLayout*& rows);

// Takes the widgets out of `layout` and has Qt delete them once the current signal is over (one
// of them may be its sender); empties the list.
template <class Widget>
void discardWidgets(QLayout* layout, std::vector<Widget*>& widgets) {
  for (QWidget* widget : widgets) {
    layout->removeWidget(widget);
    widget->hide();
    widget->deleteLater();
  }
  widgets.clear();
}

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

// A bordered button showing `title` beside `symbol` that, when clicked, calls `command` on the
// controller while it is still there.
QPushButton* makeCommandButton(QWidget* parent, const std::string& title, const std::string& symbol,
                               std::weak_ptr<windows::SettingsWindowController> controller,
                               void (windows::SettingsWindowController::*command)());

// A wrapping line in the secondary colour that tells what to do when a button could do nothing
// here; hidden while there is nothing to tell. showHint shows `hint` there, or hides it.
QLabel* makeHintLabel(QWidget* parent);
void showHint(QLabel* label, const std::optional<std::string>& hint);

// Runs `action` with the controller when it is still there. Main actor only.
template <class Action>
void withController(const std::weak_ptr<windows::SettingsWindowController>& controller,
                    Action&& action) {
  runtime::assertMainActor();
  if (auto strong = controller.lock()) action(*strong);
}

}  // namespace corvane::ui
