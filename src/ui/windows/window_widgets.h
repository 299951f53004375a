#pragma once

#include <QCheckBox>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <string>

namespace corvane::ui {

// Small pieces the setup and settings windows are built from.

// A label in the widget font at `pixelSize` and `weight`; wrapping labels grow downwards rather
// than truncate.
QLabel* makeTextLabel(QWidget* parent, const std::string& text, qreal pixelSize,
                      QFont::Weight weight, bool wraps = false);
void setTextColor(QWidget* widget, const QColor& color);
// A label showing a symbol at `size` in `color`, centred in a box `frameWidth` wide.
QLabel* makeSymbolLabel(QWidget* parent, const std::string& symbol, int size, const QColor& color,
                        int frameWidth = 0);
void setSymbol(QLabel* label, const std::string& symbol, int size, const QColor& color);

enum class ButtonStyle {
  plain,      // text only, no frame
  bordered,   // the platform's push button
  prominent,  // filled with the tint, white text
};
QPushButton* makeButton(QWidget* parent, ButtonStyle style, const QColor& tint = QColor());
// Sets the title and, when given, the symbol drawn beside it in the button's text colour.
void setButtonContent(QPushButton* button, const std::string& title,
                      const std::string& systemImage = {});

// A checkbox whose label wraps over as many lines as it needs; a click on the label toggles it.
class WrappingCheckBox final : public QWidget {
  Q_OBJECT
 public:
  WrappingCheckBox(const std::string& text, qreal pixelSize, QFont::Weight weight,
                   QWidget* parent = nullptr);

  QCheckBox* checkBox() const { return box_; }
  QLabel* label() const { return label_; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QCheckBox* box_;
  QLabel* label_;
};

// A horizontal hairline in the separator colour.
QWidget* makeDivider(QWidget* parent, Qt::Orientation orientation = Qt::Horizontal);

}  // namespace corvane::ui
