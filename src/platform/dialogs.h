#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corvane::platform {

enum class AlertStyle { informational, warning, critical };

// A modal question with its buttons, first button first.
struct Alert {
  AlertStyle style = AlertStyle::informational;
  std::string message;
  std::string informativeText;
  std::vector<std::string> buttons;

  bool operator==(const Alert&) const = default;
};

// An installed application a chooser offers: its name, its icon (a theme icon name or an absolute
// file) and its desktop file.
struct ApplicationChoice {
  std::string name;
  std::optional<std::string> icon;
  std::filesystem::path desktopFile;

  bool operator==(const ApplicationChoice&) const = default;
};

// A modal chooser of existing files.
struct OpenPanel {
  std::string title;
  std::string message;
  std::string prompt;  // the accept button's text
  // Glob patterns of the files that can be chosen ("*.desktop"); empty: any file.
  std::vector<std::string> nameFilters;
  bool allowsMultipleSelection = false;
  std::filesystem::path startingDirectory;
  // Folders offered beside the starting one.
  std::vector<std::filesystem::path> sideDirectories;
  // When any are given, the panel first offers these by name and icon, in a list the user can
  // search, and keeps a way to choose a file in the folders above instead.
  std::vector<ApplicationChoice> applications;

  bool operator==(const OpenPanel&) const = default;
};

// Modal dialogs the application asks the user with. Main actor only.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows the alert and waits for the answer: the index of the button pressed, or nothing when
  // the alert was dismissed without one.
  virtual std::optional<std::size_t> runModalAlert(const Alert& alert) = 0;
  // Shows the panel and waits: the chosen files (links resolved), or nothing when it was
  // cancelled.
  virtual std::optional<std::vector<std::filesystem::path>> runOpenPanel(
      const OpenPanel& panel) = 0;
};

}  // namespace corvane::platform
