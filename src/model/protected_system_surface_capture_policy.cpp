#include "model/protected_system_surface_capture_policy.h"

namespace corvane::model {

const std::set<std::string>& ProtectedSystemSurfaceCapturePolicy::alwaysExcludedBundleIDs() {
  // One entry per role and desktop, under the id that identifies its windows (desktop-entry id
  // or WM_CLASS class name). A surface that shows credentials, private notifications or is
  // itself taking a picture of the screen never belongs in a share; a desktop whose component is
  // missing here only loses this extra safety, nothing else.
  static const std::set<std::string> ids{
      // Lock and login screens.
      "org.gnome.ScreenSaver",
      "gnome-screensaver",
      "light-locker",
      "xscreensaver",
      "i3lock",
      "xsecurelock",
      "kscreenlocker_greet",
      "lightdm-gtk-greeter",
      "mate-screensaver",
      "cinnamon-screensaver",
      "xfce4-screensaver",
      // Authentication agents and password prompts.
      "polkit-gnome-authentication-agent-1",
      "org.kde.polkit-kde-authentication-agent-1",
      "polkit-kde-authentication-agent-1",
      "lxqt-policykit-agent",
      "polkit-mate-authentication-agent-1",
      "xfce-polkit",
      "gcr-prompter",
      "pinentry",
      "pinentry-gnome3",
      "pinentry-gtk-2",
      "pinentry-qt",
      "ksshaskpass",
      "ssh-askpass",
      // Notification daemons and notification centres.
      "org.freedesktop.Notifications",
      "dunst",
      "xfce4-notifyd",
      "mate-notification-daemon",
      "notify-osd",
      "notification-daemon",
      "swaync",
      // Screenshot and screen-recording interfaces.
      "org.gnome.Screenshot",
      "gnome-screenshot",
      "org.flameshot.Flameshot",
      "flameshot",
      "spectacle",
      "org.kde.spectacle",
      "xfce4-screenshooter",
      "ksnip",
  };
  return ids;
}

}  // namespace corvane::model
