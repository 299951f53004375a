#pragma once

// The controller's services on the real backends of the X server in $DISPLAY: the X11 desktop and
// capture, the Qt window system and output window; settings in memory, setup done, with the
// applications given marked private.
#include <unistd.h>

#include <memory>
#include <vector>

#include "app/corvane_controller.h"
#include "main/qt_x11_display.h"
#include "main/xcb_image_presenter.h"
#include "model/in_memory_defaults_store.h"
#include "model/preferences_store.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_window_system.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header (this file
// after the test's own Qt headers too).
#include "platform/x11/x11_desktop.h"

namespace corvane::ui::testing {

inline runtime::Result<app::CorvaneControllerServices> controllerServicesOnX11(
    const std::vector<model::ProtectedApp>& privateApplications) {
  auto desktop = platform::x11::openDesktop(std::getenv("DISPLAY"), getpid());
  if (!desktop.ok()) return desktop.error();
  app::CorvaneControllerServices services;
  services.desktop = desktop.value();
  services.windowSystem =
      std::make_shared<QtWindowSystem>(services.desktop.screens, wiring::makeQtWindowStateHints());
  services.outputContentFactory = makeProtectedShareContentFactory(wiring::makeXcbImagePresenter());
  auto store = std::make_shared<model::InMemoryDefaultsStore>();
  services.defaultsStore = store;
  services.settings = store->suite(model::PreferencesStore::suiteName);
  services.settings->set("setupCompletionVersion", platform::Value(1));
  model::PreferencesStore::save(*services.settings, privateApplications,
                                model::PreferencesStore::protectedAppsKey);
  auto bundle = std::make_shared<platform::Bundle>();
  bundle->info["CFBundleIdentifier"] = platform::Value("com.pemberquist.corvane");
  services.bundle = bundle;
  services.ownProcessIdentifier = getpid();
  services.dialogs = std::make_shared<QtDialogs>();
  return services;
}

}  // namespace corvane::ui::testing
