#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

class QLabel;

namespace corvane::ui {

// A plain tile button: the symbol above the title. Runs `action` on a click; disabled (and drawn
// faded) when isEnabled is false.
class ActionTile final : public QAbstractButton {
  Q_OBJECT
 public:
  ActionTile(std::string title, std::string systemImage, bool isEnabled,
             std::function<void()> action, QWidget* parent = nullptr);

  const std::string& title() const { return title_; }
  const std::string& systemImage() const { return systemImage_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string title_;
  std::string systemImage_;
  std::function<void()> action_;
};

// A sidebar row: symbol and title in a full-width row 34 points high; when selected the row is
// filled with black at opacity 0.08 in a rounded rectangle of radius 7. Runs `action` on a click.
class SidebarItem final : public QAbstractButton {
  Q_OBJECT
 public:
  static constexpr int kHeight = 34;
  static constexpr qreal kSelectedOpacity = 0.08;
  static constexpr qreal kCornerRadius = 7;

  SidebarItem(std::string title, std::string systemImage, bool isSelected,
              std::function<void()> action, QWidget* parent = nullptr);

  bool isSelected() const { return isSelected_; }
  void setSelected(bool selected);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string title_;
  std::string systemImage_;
  bool isSelected_;
  std::function<void()> action_;
};

// A panel heading: the title at 13 points semibold and, when given, a smaller secondary subtitle
// below it.
class SectionTitle final : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kTitlePixelSize = 13;

  SectionTitle(std::string title, std::optional<std::string> subtitle = std::nullopt,
               QWidget* parent = nullptr);

  QLabel* titleLabel() const { return title_; }
  QLabel* subtitleLabel() const { return subtitle_; }

 private:
  QLabel* title_;
  QLabel* subtitle_ = nullptr;
};

// A small status badge: the symbol and the title in `color`, on a background tinted with the
// colour and outlined with it, in a capsule.
class StatusPill final : public QWidget {
  Q_OBJECT
 public:
  static constexpr qreal kFillOpacity = 0.12;
  static constexpr qreal kStrokeOpacity = 0.35;

  StatusPill(std::string title, std::string systemImage, QColor color, QWidget* parent = nullptr);

  void set(std::string title, std::string systemImage, QColor color);
  const std::string& title() const { return title_; }
  const std::string& systemImage() const { return systemImage_; }
  QColor color() const { return color_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string title_;
  std::string systemImage_;
  QColor color_;
};

}  // namespace corvane::ui
