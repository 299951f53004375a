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
  enum class Style {
    card,        // the settings card: panel surface, panel border, radius 8
    warningBox,  // the notices' and warnings' box: amber at 12 % opacity, radius 7, no outline
  };

  RoundedPanel(QColor fill, std::optional<QColor> stroke, qreal radius, QWidget* parent = nullptr);
  explicit RoundedPanel(Style style, QWidget* parent = nullptr);

  static RoundedPanel* card(QWidget* parent = nullptr) {
    return new RoundedPanel(Style::card, parent);
  }
  static RoundedPanel* warningBox(QWidget* parent = nullptr) {
    return new RoundedPanel(Style::warningBox, parent);
  }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor fill_;
  std::optional<QColor> stroke_;
  qreal radius_;
};

}  // namespace corvane::ui
