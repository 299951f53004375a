#pragma once

#include <QList>
#include <functional>
#include <optional>

#include "ui/rounded_panel.h"
#include "windows/setup_notices.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace corvane::ui {

// The frame both setup notices share: an amber box with a symbol beside a column of texts.
class SetupNoticeFrame : public RoundedPanel {
  Q_OBJECT
 public:
  SetupNoticeFrame(const char* symbol, const char* heading, const char* explanation, int spacing,
                   QWidget* parent = nullptr);

  QLabel* headingLabel() const { return heading_; }
  QLabel* explanationLabel() const { return explanation_; }

 protected:
  QVBoxLayout* texts() const { return texts_; }

 private:
  QVBoxLayout* texts_;
  QLabel* heading_;
  QLabel* explanation_;
};

// The notice about the move from the former brand, with what to do about the previous copy.
class MigrationNoticeView final : public SetupNoticeFrame {
  Q_OBJECT
 public:
  using ButtonAction = std::function<void(windows::MigrationNoticeButton)>;

  explicit MigrationNoticeView(ButtonAction action, QWidget* parent = nullptr);

  // Makes the buttons again only when the notice changed.
  void set(const windows::MigrationNoticeModel& notice);

  QLabel* previousCopyLabel() const { return previousCopy_; }
  QLabel* quitErrorLabel() const { return quitError_; }
  QWidget* previousCopySection() const { return section_; }
  const QList<QPushButton*>& buttons() const { return buttons_; }

 private:
  ButtonAction action_;
  QWidget* section_;
  QLabel* previousCopy_;
  QWidget* buttonRow_;
  QList<QPushButton*> buttons_;
  QLabel* quitError_;
  std::optional<windows::MigrationNoticeModel> shown_;
};

// The notice that the settings were reset this run, with where the old file was kept.
class SettingsResetNoticeView final : public SetupNoticeFrame {
  Q_OBJECT
 public:
  explicit SettingsResetNoticeView(QWidget* parent = nullptr);

  // Shown while there is a reset to tell of.
  void set(const std::optional<model::SettingsStoreProblem>& reset);
  QLabel* keptAsLabel() const { return keptAs_; }

 private:
  QLabel* keptAs_;
};

// The notice shown while the taskbar window stands in for the tray icon. It has no buttons.
class MenuBarFallbackNoticeView final : public SetupNoticeFrame {
  Q_OBJECT
 public:
  explicit MenuBarFallbackNoticeView(QWidget* parent = nullptr);

  void set(const windows::MenuBarFallbackNotice& notice);
};

}  // namespace corvane::ui
