#pragma once

namespace corvane::windows {

// The Alerts section: the Focus reminder and the way to the notification settings.
struct AlertsSectionModel {
  static constexpr const char* title = "Alerts";
  static constexpr const char* subtitle =
      "Corvane can guide you to silence notifications before sharing.";
  static constexpr const char* reminderTitle = "Do Not Disturb reminder";
  static constexpr const char* reminderSubtitle =
      "Show a reminder before Protected Share starts and keep Do Not Disturb settings one click away.";
  static constexpr const char* reminderSymbol = "bell.badge";
  static constexpr const char* openSettingsTitle = "Open Do Not Disturb Settings";
  static constexpr const char* openSettingsSymbol = "gearshape";
};

// The About section above the support panel. It shows no version.
struct AboutSectionModel {
  static constexpr const char* name = "Corvane";
  static constexpr const char* tagline =
      "A local-first Linux utility for safer demos, calls, and screen recordings.";
};

}  // namespace corvane::windows
