#pragma once

#include <functional>
#include <memory>

#include "platform/window_system.h"
#include "windows/settings_window_controller.h"
#include "windows/setup_checklist.h"

namespace corvane::windows {

// Make the setup and settings windows' content: the Qt views in the app. The window host puts
// what they return into the windows it builds: the setup window's over a SetupChecklist made with
// the controller, the active settings suite, a closure that shows the settings window and one
// that closes the setup window; the settings window's over the controller alone.
using SetupWindowContentFactory =
    std::function<std::shared_ptr<platform::ContentView>(std::shared_ptr<SetupChecklist>)>;
using SettingsWindowContentFactory =
    std::function<std::shared_ptr<platform::ContentView>(std::weak_ptr<SettingsWindowController>)>;

}  // namespace corvane::windows
