#pragma once

#include <functional>
#include <string>

#include "ui/rounded_panel.h"

class QLabel;

namespace corvane::ui {

class ToggleSwitch;

// A settings option on its own card: a green symbol, the title over a two-line subtitle, and a
// switch. The switch shows the value it is given and writes through `setIsOn`; while disabled it
// does not react and the row is drawn at 64 % opacity.
class OptionToggleRow final : public RoundedPanel {
  Q_OBJECT
 public:
  static constexpr qreal kDisabledOpacity = 0.64;

  OptionToggleRow(const std::string& title, const std::string& subtitle,
                  const std::string& systemImage, std::function<void(bool)> setIsOn,
                  QWidget* parent = nullptr);

  // The bound value and whether the row is disabled, read again on every refresh.
  void set(bool isOn, bool isDisabled);

  ToggleSwitch* toggle() const { return toggle_; }
  QLabel* subtitleLabel() const { return subtitle_; }
  qreal drawnOpacity() const { return opacity_; }

 private:
  std::function<void(bool)> setIsOn_;
  ToggleSwitch* toggle_;
  QLabel* subtitle_;
  qreal opacity_ = 1.0;
};

}  // namespace corvane::ui
