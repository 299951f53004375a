#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

namespace corvane::ui {

// A container drawn as a rounded rectangle: filled, and outlined at width 1 when a stroke is
// given. Its children are laid out by the layout the owner sets on it.
class RoundedPanel : public QWidget {
  Q_OBJECT
 public:
  RoundedPanel(QColor fill, std::optional<QColor> stroke, qreal radius, QWidget* parent = nullptr);

  // The settings card: panel surface, panel border, radius 8.
  static RoundedPanel* card(QWidget* parent = nullptr);
  // The notices' and warnings' box: amber at 12 % opacity, radius 7, no outline.
  static RoundedPanel* warningBox(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor fill_;
  std::optional<QColor> stroke_;
  qreal radius_;
};

}  // namespace corvane::ui
