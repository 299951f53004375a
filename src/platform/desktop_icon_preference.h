#pragma once

#include <string>

#include "runtime/result.h"

namespace corvane::platform {

// The desktop's own setting for icons on the desktop (the file manager draws them). Each
// desktop keeps it elsewhere; an implementation knows one desktop's key and tool.
class DesktopIconPreference {
 public:
  virtual ~DesktopIconPreference() = default;
  // The desktop whose setting this is, for the event log ("GNOME", "Xfce", ...).
  virtual std::string desktopName() const = 0;
  // Writes an explicit value: true shows the icons.
  virtual runtime::Status setShowsDesktopIcons(bool shows) = 0;
  // Removes the explicit value, so the desktop's default applies.
  virtual runtime::Status resetShowsDesktopIcons() = 0;
};

}  // namespace corvane::platform
