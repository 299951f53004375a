#pragma once

// One of Debian's desktops on a test's X server: its window manager, its panel and (where it has
// one) its desktop window, on a private session bus, in a home of their own, all in one process
// group that ends with the session. Software GL for those that composite with OpenGL.
//
// A desktop whose programs are not installed says so in cannotRun() and failure(): a test skips
// then, with that reason. A desktop that does not come up (a program that cannot be started or
// ends while starting, a panel that never takes its room) is a failure like any other: the
// installed desktops must run.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/x11/dock_struts.h"
#include "support/private_bus.h"
#include "support/x11/xvfb_server.h"

namespace corvane::testing {

enum class Desktop { xfce, mate, lxqt, plasma, cinnamon, i3 };

class DesktopSession {
 public:
  // What a desktop is made of.
  struct Recipe {
    std::string name;
    // Started first, alone; the rest once it manages windows.
    std::vector<std::string> windowManager;
    std::vector<std::vector<std::string>> others;
    std::vector<std::string> environment;
    bool hasDesktopWindow = false;
    // Run to their end once the others are started, as the desktop's session does.
    std::vector<std::vector<std::string>> steps = {};
    // Its window manager publishes the work area its panel leaves (i3 does not: its bar's strut
    // is all there is).
    bool publishesWorkArea = true;
    // Files its programs read, relative to the session's home, with their text.
    std::vector<std::pair<std::string, std::string>> files = {};
  };

  static Recipe recipe(Desktop desktop) {
    switch (desktop) {
      case Desktop::xfce:
        return {"XFCE (xfwm4, xfce4-panel, xfdesktop)",
                {"xfwm4"},
                {{"xfce4-panel"}, {"xfdesktop"}},
                {"XDG_CURRENT_DESKTOP=XFCE"},
                true};
      case Desktop::mate:
        return {"MATE (marco, mate-panel)",
                {"marco"},
                {{"mate-panel"}},
                {"XDG_CURRENT_DESKTOP=MATE"},
                false};
      case Desktop::lxqt:
        // LXQt's session adds /usr/share to the configuration folders: the panel's default
        // layout (with its tray) is there.
        return {"LXQt (openbox, lxqt-panel)",
                {"openbox"},
                {{"lxqt-panel"}},
                {"XDG_CURRENT_DESKTOP=LXQt", "XDG_CONFIG_DIRS=/etc/xdg:/usr/share"},
                false};
      case Desktop::plasma:
        // The session has kded5 (the bus starts it) run the StatusNotifierItem watcher the
        // shell's tray hosts.
        return {"KDE Plasma (kwin_x11, plasmashell)",
                {"kwin_x11"},
                {{"plasmashell"}},
                {"XDG_CURRENT_DESKTOP=KDE", "KDE_FULL_SESSION=true", "LIBGL_ALWAYS_SOFTWARE=1"},
                true,
                {{"gdbus", "call", "--session", "--dest", "org.kde.kded5", "--object-path", "/kded",
                  "--method", "org.kde.kded5.loadModule", "statusnotifierwatcher"}}};
      case Desktop::cinnamon:
        // Cinnamon is its window manager (muffin) and its panel at once.
        return {"Cinnamon (cinnamon, muffin)",
                {"cinnamon"},
                {},
                {"XDG_CURRENT_DESKTOP=X-Cinnamon", "LIBGL_ALWAYS_SOFTWARE=1"},
                false};
      case Desktop::i3:
        // i3 starts its bar (with its tray and i3status) itself; a configuration of its own
        // keeps i3's first-start wizard away.
        return {"i3 (i3, i3bar, i3status)",
                {"i3"},
                {},
                {"XDG_CURRENT_DESKTOP=i3"},
                false,
                {},
                false,
                {{".config/i3/config",
                  "font pango:monospace 8\n"
                  "bar {\n  status_command i3status\n  position bottom\n}\n"}}};
    }
    return {};
  }

  // On any of the test servers (Xvfb, Xorg with its dummy driver): only its display is used.
  template <class Server>
  DesktopSession(const Server& server, Desktop desktop) : DesktopSession(server, recipe(desktop)) {}

  template <class Server>
  DesktopSession(const Server& server, Recipe recipe)
      : display_(server.name()), recipe_(std::move(recipe)) {
    bringUp();
  }

  ~DesktopSession() {
    if (groupID_ > 0) {
      // The whole group: the programs and whatever the bus started for them.
      kill(-groupID_, SIGTERM);
      started_.push_back(bus_->takeProcess());
      auto reap = [&] {
        std::erase_if(started_, [](pid_t pid) {
          int status = 0;
          return waitpid(pid, &status, WNOHANG) == pid;
        });
        return started_.empty() && kill(-groupID_, 0) != 0;
      };
      if (!waitUntil(reap, 2.0)) kill(-groupID_, SIGKILL);
      waitUntil(reap, 2.0);
    }
    bus_.reset();
    if (groupID_ > 0) posix_spawnattr_destroy(&group_);
    std::error_code error;
    std::filesystem::remove_all(home_, error);
  }
  DesktopSession(const DesktopSession&) = delete;
  DesktopSession& operator=(const DesktopSession&) = delete;

  bool ok() const { return failure_.empty(); }
  bool cannotRun() const { return cannotRun_; }
  const std::string& failure() const { return failure_; }
  const std::string& name() const { return recipe_.name; }
  bool hasDesktopWindow() const { return recipe_.hasDesktopWindow; }
  const std::string& busAddress() const { return bus_->address(); }
  const std::filesystem::path& home() const { return home_; }

  // What a program started on this desktop is given: the display, the session bus and the
  // desktop's name (its own folders stay its own).
  std::vector<std::string> environment() const {
    std::vector<std::string> environment = {
        "DISPLAY=" + display_, "DBUS_SESSION_BUS_ADDRESS=" + busAddress(), "NO_AT_BRIDGE=1"};
    for (const auto& variable : recipe_.environment) {
      if (variable.rfind("XDG_CURRENT_DESKTOP=", 0) == 0) environment.push_back(variable);
    }
    return environment;
  }

  // The desktop window (_NET_WM_WINDOW_TYPE_DESKTOP among the managed windows); 0 when none.
  Window desktopWindow() const {
    return withDisplay<Window>(0, [](Display* display) -> Window {
      const Atom typeAtom = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
      const Atom desktopType = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
      const auto windows = XvfbServer::propertyItems(
          display, DefaultRootWindow(display), XInternAtom(display, "_NET_CLIENT_LIST", False));
      for (Window window : windows.value_or(std::vector<unsigned long>{})) {
        const auto types = XvfbServer::propertyItems(display, window, typeAtom);
        if (types && std::find(types->begin(), types->end(), desktopType) != types->end()) {
          return window;
        }
      }
      return 0;
    });
  }

  // Waits until a tray host runs: a StatusNotifierItem watcher on the bus, or an XEmbed tray.
  bool awaitTrayHost(double seconds = kPatientWaitSeconds) const {
    return waitUntil(
        [&] {
          const bool xembed = withDisplay<bool>(false, [](Display* display) {
            return XGetSelectionOwner(display,
                                      XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False)) != None;
          });
          return xembed || busHasName("org.kde.StatusNotifierWatcher");
        },
        seconds);
  }

  // The last lines the desktop's programs wrote (for a failure's message).
  std::string log() const {
    std::ifstream in(home_ / "session.log");
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
  }

 private:
  // Starts the desktop's programs in order and waits until each part shows.
  void bringUp() {
    home_ = std::filesystem::temp_directory_path() /
            ("corvane-desktop-" + std::to_string(getpid()) + "-" + display_.substr(1));
    for (const char* folder : {".config", ".local/share", ".cache", "run"}) {
      std::filesystem::create_directories(home_ / folder);
    }
    std::filesystem::permissions(home_ / "run", std::filesystem::perms::owner_all);
    for (const auto& [path, text] : recipe_.files) {
      std::filesystem::create_directories((home_ / path).parent_path());
      std::ofstream(home_ / path) << text;
    }
    for (const auto& command : programs()) {
      if (!isInstalled(command.front())) {
        cannotRun_ = true;
        failure_ = command.front() + " is not installed (scripts/install-deps installs it)";
        return;
      }
    }
    posix_spawnattr_init(&group_);
    posix_spawnattr_setflags(&group_, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&group_, 0);
    // The services the bus starts for the desktop (its applets, its settings daemon) run in the
    // desktop's environment.
    bus_ = std::make_unique<PrivateBus>(home_, programEnvironment(), &group_);
    groupID_ = bus_->pid();
    posix_spawnattr_setpgroup(&group_, groupID_);
    if (!start(recipe_.windowManager)) return;
    if (!waitFor("its window manager",
                 [&] { return XvfbServer::awaitWindowManagement(display_, 5.0); })) {
      return;
    }
    for (const auto& command : recipe_.others) {
      if (!start(command)) return;
    }
    for (const auto& command : recipe_.steps) {
      if (!run(command)) return;
    }
    if (!waitFor("its panel's room", [&] { return panelHoldsItsRoom(); })) return;
    if (recipe_.hasDesktopWindow &&
        !waitFor("its desktop window", [&] { return desktopWindow() != 0; })) {
      return;
    }
  }

  std::vector<std::vector<std::string>> programs() const {
    std::vector<std::vector<std::string>> all = {recipe_.windowManager};
    all.insert(all.end(), recipe_.others.begin(), recipe_.others.end());
    return all;
  }

  static bool isInstalled(const std::string& program) {
    const std::string command = "command -v '" + program + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }

  std::vector<std::string> programEnvironment() const {
    std::vector<std::string> environment = {
        "DISPLAY=" + display_,
        "HOME=" + home_.string(),
        "XDG_CONFIG_HOME=" + (home_ / ".config").string(),
        "XDG_DATA_HOME=" + (home_ / ".local/share").string(),
        "XDG_CACHE_HOME=" + (home_ / ".cache").string(),
        "XDG_RUNTIME_DIR=" + (home_ / "run").string(),
        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (home_ / "bus").string(),
        // No accessibility bus: it would start daemons of its own outside the session's group.
        "NO_AT_BRIDGE=1",
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=0",
    };
    environment.insert(environment.end(), recipe_.environment.begin(), recipe_.environment.end());
    return environment;
  }

  // Spawns `command` in the session's group, its output going to the session's log.
  pid_t spawnLogged(const std::vector<std::string>& command) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (home_ / "session.log").string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const pid_t pid = spawnProgram(command, programEnvironment(), &actions, &group_);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

  bool start(const std::vector<std::string>& command) {
    const pid_t pid = spawnLogged(command);
    if (pid <= 0) {
      failure_ = command.front() + " is installed but could not be started";
      return false;
    }
    started_.push_back(pid);
    return true;
  }

  // Runs a step of the session's start to its end.
  bool run(const std::vector<std::string>& command) {
    pid_t pid = spawnLogged(command);
    int status = -1;
    const bool ended = pid > 0 && waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; });
    if (!ended) endProcess(pid, SIGKILL);
    if (ended && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    failure_ = recipe_.name + ": " + command.front() + " failed: " + this->log();
    return false;
  }

  // Waits for `condition`; a program of the desktop that ends meanwhile fails the desktop.
  template <class Condition>
  bool waitFor(const std::string& what, Condition condition) {
    const bool ready = waitUntil(
        [&] {
          for (std::size_t i = 0; i < started_.size(); ++i) {
            int status = 0;
            if (waitpid(started_[i], &status, WNOHANG) == started_[i]) {
              failure_ =
                  recipe_.name + ": " + programs()[i].front() + " ended while starting: " + log();
              started_.erase(started_.begin() + static_cast<std::ptrdiff_t>(i));
              return true;
            }
          }
          return condition();
        },
        kPatientWaitSeconds);
    if (!failure_.empty()) return false;
    if (!ready) failure_ = recipe_.name + " did not show " + what + " in time: " + log();
    return ready;
  }

  // The panel's strut has reached the work area: it is smaller than the screen. Without a work
  // area, a mapped dock holds a strip of the screen.
  bool panelHoldsItsRoom() const {
    if (!recipe_.publishesWorkArea) {
      return withDisplay<bool>(
          false, [](Display* display) { return !platform::x11::readDockStrips(display).empty(); });
    }
    return withDisplay<bool>(false, [](Display* display) {
      const auto area = XvfbServer::propertyItems(display, DefaultRootWindow(display),
                                                  XInternAtom(display, "_NET_WORKAREA", False))
                            .value_or(std::vector<unsigned long>{});
      const int screen = DefaultScreen(display);
      const auto width = static_cast<unsigned long>(DisplayWidth(display, screen));
      const auto height = static_cast<unsigned long>(DisplayHeight(display, screen));
      return area.size() >= 4 && area[2] > width / 2 && area[3] > height / 2 &&
             (area[2] < width || area[3] < height);
    });
  }

  bool busHasName(const std::string& name) const {
    const std::string command = "gdbus call --address '" + busAddress() +
                                "' --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
                                "--method org.freedesktop.DBus.NameHasOwner " +
                                name + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    char line[64] = {};
    const bool answered = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    return answered && std::string(line).find("true") != std::string::npos;
  }

  template <class T, class Read>
  T withDisplay(T otherwise, Read read) const {
    Display* display = XOpenDisplay(display_.c_str());
    if (display == nullptr) return otherwise;
    T result = read(display);
    XCloseDisplay(display);
    return result;
  }

  std::string display_;
  Recipe recipe_;
  std::filesystem::path home_;
  posix_spawnattr_t group_{};
  pid_t groupID_ = -1;
  std::unique_ptr<PrivateBus> bus_;
  std::vector<pid_t> started_;
  bool cannotRun_ = false;
  std::string failure_;
};

}  // namespace corvane::testing
