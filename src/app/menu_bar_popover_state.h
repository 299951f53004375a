#pragma once

#include "menubar/menu_bar_popover_input.h"

namespace corvane::app {

class CorvaneController;

// What the tray popover shows, read from the controller and its capture engine now.
menubar::MenuBarPopoverInput menuBarPopoverInput(const CorvaneController& controller);

}  // namespace corvane::app
