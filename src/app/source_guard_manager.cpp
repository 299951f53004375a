#include "app/source_guard_manager.h"

#include "runtime/main_actor.h"

namespace corvane::app {

using platform::Screen;

SourceGuardManager::SourceGuardManager(std::shared_ptr<platform::WindowSystem> windowSystem,
                                       SourceGuardContentFactory contentFactory)
    : windowSystem_(std::move(windowSystem)), contentFactory_(std::move(contentFactory)) {}

void SourceGuardManager::show(std::optional<std::uint32_t> displayID,
                              const std::string& displayName, std::function<void()> stopAction) {
  runtime::assertMainActor();
  auto target = screen(displayID);
  if (!target) target = windowSystem_->mainScreen();
  if (!target) return;

  if (panel_ && panelDisplayID_ != target->displayID) hide();
  if (!panel_) {
    panel_ = makePanel(*target);
    panelDisplayID_ = target->displayID;
  }
  // Every show replaces the content, so a repeated show refreshes the name and the action.
  if (contentFactory_) panel_->setContentView(contentFactory_(displayName, std::move(stopAction)));
  panel_->setLevel(sealedSourceLevel);
  panel_->setFrame(target->frame);
  panel_->makeKeyAndOrderFront();
  windowSystem_->activateApplication(true);
}

void SourceGuardManager::hide() {
  runtime::assertMainActor();
  if (!panel_) return;
  panel_->setIgnoresMouseEvents(true);
  panel_->orderOut();
  panel_->setContentView(nullptr);
  panel_->close();
  panel_.reset();
}

std::optional<Screen> SourceGuardManager::screen(std::optional<std::uint32_t> displayID) const {
  if (!displayID) return std::nullopt;
  return windowSystem_->screen(*displayID);
}

std::shared_ptr<platform::TopLevelWindow> SourceGuardManager::makePanel(const Screen& screen) {
  auto panel = windowSystem_->makeWindow(screen.frame, platform::WindowStyle::borderless);
  panel->setCollectionBehavior(platform::kFloatingPanelBehavior);
  panel->setListedInWindowsMenu(false);
  panel->setIgnoresMouseEvents(false);
  panel->setLevel(sealedSourceLevel);
  return panel;
}

}  // namespace corvane::app
