#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "runtime/subscription.h"
#include "windows/setup_checklist.h"
#include "windows/window_content.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace corvane::ui {

class MenuBarFallbackNoticeView;
class MigrationNoticeView;
class SettingsResetNoticeView;
class OnboardingStepRow;
class StatusPill;

// The setup window's content: the header with its readiness pill, the notices, the launch
// checklist beside the share-target card, and the footer with its two buttons. It draws the
// checklist's view model, redraws on every change of the controller and calls the checklist's
// actions.
class OnboardingView final : public QWidget {
  Q_OBJECT
 public:
  explicit OnboardingView(std::shared_ptr<windows::SetupChecklist> checklist,
                          QWidget* parent = nullptr);
  ~OnboardingView() override;

  // Reads the state again and updates every part.
  void refresh();

  // For tests and screenshots.
  QLabel* headerTitleLabel() const { return title_; }
  QLabel* headerSubtitleLabel() const { return subtitle_; }
  StatusPill* readinessPill() const { return pill_; }
  MigrationNoticeView* migrationNotice() const { return migrationNotice_; }
  MenuBarFallbackNoticeView* fallbackNotice() const { return fallbackNotice_; }
  SettingsResetNoticeView* resetNotice() const { return resetNotice_; }
  OnboardingStepRow* screenRecordingRow() const { return screenRecordingRow_; }
  OnboardingStepRow* excludedAppsRow() const { return excludedAppsRow_; }
  QCheckBox* shareTargetCheckBox() const { return confirmation_; }
  QLabel* footerLabel() const { return footerLabel_; }
  QPushButton* secondaryButton() const { return secondary_; }
  QPushButton* primaryButton() const { return primary_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* buildHeader(QWidget* parent);
  QWidget* buildChecklist(QWidget* parent);
  QWidget* buildShareTargetCard(QWidget* parent);
  QWidget* buildFooter(QWidget* parent);
  // Runs one of the checklist's actions, then redraws.
  void perform(const std::function<void(windows::SetupChecklist&)>& action);

  std::shared_ptr<windows::SetupChecklist> checklist_;
  runtime::Subscription changes_;

  QLabel* title_ = nullptr;
  QLabel* subtitle_ = nullptr;
  StatusPill* pill_ = nullptr;
  MigrationNoticeView* migrationNotice_ = nullptr;
  MenuBarFallbackNoticeView* fallbackNotice_ = nullptr;
  SettingsResetNoticeView* resetNotice_ = nullptr;
  OnboardingStepRow* screenRecordingRow_ = nullptr;
  OnboardingStepRow* excludedAppsRow_ = nullptr;
  QCheckBox* confirmation_ = nullptr;
  QLabel* footerIcon_ = nullptr;
  QLabel* footerLabel_ = nullptr;
  QPushButton* secondary_ = nullptr;
  QPushButton* primary_ = nullptr;
};

// The factory the window host builds the setup window's content with.
windows::SetupWindowContentFactory makeSetupWindowContentFactory();

}  // namespace corvane::ui
