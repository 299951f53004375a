#pragma once

// A private X server for tests and benchmarks: Xvfb on a display number it picks itself
// (-displayfd), optionally with openbox as the window manager. Header-only so benchmarks can
// use it too.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include "platform/x11/xlib.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace corvane::testing {

inline pid_t spawnProgram(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& extraEnvironment,
                          posix_spawn_file_actions_t* actions = nullptr,
                          const posix_spawnattr_t* attributes = nullptr) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  for (const auto& extra : extraEnvironment) {
    const auto key = extra.substr(0, extra.find('=') + 1);
    std::erase_if(environment, [&](const std::string& e) { return e.rfind(key, 0) == 0; });
    environment.push_back(extra);
  }
  std::vector<char*> argv, envp;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], actions, attributes, argv.data(), envp.data()) != 0) return -1;
  return pid;
}

inline void endProcess(pid_t& pid, int signal = SIGTERM) {
  if (pid <= 0) return;
  kill(pid, signal);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  pid = -1;
}

// How long a test waits for something the X server, the window manager or another process
// must do: it returns as soon as the condition holds, so the bound only matters on a loaded
// machine (a few cores shared by parallel tests and sanitizers), where a few seconds can pass.
inline constexpr double kPatientWaitSeconds = 30.0;

// Polls `condition` until it holds or `seconds` pass.
template <class Condition>
bool waitUntil(Condition condition, double seconds = kPatientWaitSeconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  return true;
}

// spawnProgram with the program's standard output and error thrown away.
inline pid_t spawnQuietly(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& extraEnvironment) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const pid_t pid = spawnProgram(arguments, extraEnvironment, &actions);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Starts an X server whose `arguments` have it write its display number on descriptor 3
// (-displayfd 3), its standard error going to `errors`, and waits until it takes connections.
// Its display name (":N"), or nothing when it did not start (then it is ended and `pid` is -1).
inline std::string startOnFreeDisplay(const std::vector<std::string>& arguments, pid_t& pid,
                                      const std::string& errors = "/dev/null") {
  // The tests call Xlib on their own thread while the backend's threads do too; Xlib must be
  // made thread-safe before this process's first Xlib call, which may be the one below.
  XInitThreads();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  pid = spawnProgram(arguments, {}, &actions);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string number;
  pollfd descriptor{fds[0], POLLIN, 0};
  while (pid > 0 && poll(&descriptor, 1, 10000) > 0) {
    char c;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number.push_back(c);
  }
  close(fds[0]);
  if (number.empty()) {
    endProcess(pid, SIGKILL);
    return {};
  }
  const std::string name = ":" + number;
  waitUntil([&] {
    Display* display = XOpenDisplay(name.c_str());
    if (display == nullptr) return false;
    XCloseDisplay(display);
    return true;
  });
  return name;
}

class XvfbServer {
 public:
  XvfbServer(int width, int height, std::vector<std::string> extraArguments = {}) {
    std::vector<std::string> arguments = {
        "Xvfb",      "-displayfd", "3",
        "-screen",   "0",          std::to_string(width) + "x" + std::to_string(height) + "x24",
        "-nolisten", "tcp",        "-noreset"};
    for (auto& extra : extraArguments) arguments.push_back(extra);
    name_ = startOnFreeDisplay(arguments, pid_);
  }
  ~XvfbServer() {
    endProcess(windowManager_);
    endProcess(pid_);
    if (!home_.empty()) std::filesystem::remove_all(home_);
  }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }
  pid_t pid() const { return pid_; }
  // The window manager's HOME (empty before it starts): other desktop programs may share it.
  const std::filesystem::path& home() const { return home_; }
  void kill() { endProcess(pid_, SIGKILL); }

  // Starts openbox in a temporary HOME, with an empty configuration or the body of one given
  // (what goes inside <openbox_config>); waits until it manages windows. Its check window and
  // client lists appear before it has finished starting, and a window mapped in that gap can
  // stay unmanaged (never mapped) for good, so readiness is proven by a probe window that gets
  // managed.
  bool startWindowManager(const std::string& configuration = {}) {
    makeHome("openbox");
    std::filesystem::create_directories(home_ / ".config/openbox");
    std::ofstream(home_ / ".config/openbox/rc.xml")
        << "<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">"
        << configuration << "</openbox_config>\n";
    return startWindowManager(
        {"openbox", "--sm-disable", "--config-file", (home_ / ".config/openbox/rc.xml").string()},
        {});
  }

  // Starts another window manager (its command line, run in a temporary HOME of its own where it
  // keeps its default settings, with `environment` besides) and waits until it manages windows,
  // as above.
  bool startWindowManager(const std::vector<std::string>& command,
                          std::vector<std::string> environment) {
    if (home_.empty()) makeHome(command.front());
    environment.insert(environment.end(), {"DISPLAY=" + name_, "HOME=" + home_.string(),
                                           "XDG_CONFIG_HOME=" + (home_ / ".config").string()});
    windowManager_ = spawnQuietly(command, environment);
    return awaitWindowManagement(name_, 10.0);
  }

  // The items of a property (32-bit ones as Xlib widens them); nothing when the window does not
  // have it.
  static std::optional<std::vector<unsigned long>> propertyItems(Display* display, Window window,
                                                                 Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, property, 0, 4096, False, AnyPropertyType, &type, &format,
                       &count, &after, &data);
    std::vector<unsigned long> items;
    if (data != nullptr && format == 32) {
      const auto* values = reinterpret_cast<const unsigned long*>(data);
      items.assign(values, values + count);
    }
    if (data) XFree(data);
    if (type == None) return std::nullopt;
    if (format != 32) items.resize(count);
    return items;
  }
  // Waits until a window manager on the display `name` manages windows (at most `seconds` for its
  // announcement, as long again for its first managed probe window).
  static bool awaitWindowManagement(const std::string& name, double seconds) {
    Display* display = XOpenDisplay(name.c_str());
    if (display == nullptr) return false;
    const Window root = DefaultRootWindow(display);
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False);
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    // Some window managers (xfwm4) list their clients only once they have any.
    const bool announced =
        waitUntil([&] { return propertyLength(display, root, check) == 1ul; }, seconds);
    const bool ready = announced && probeManagement(display, wmState, clientList, seconds);
    XCloseDisplay(display);
    return ready;
  }

 private:
  void makeHome(const std::string& manager) {
    home_ = std::filesystem::temp_directory_path() /
            ("corvane-" + manager + "-" + std::to_string(getpid()) + "-" + name_.substr(1));
    std::filesystem::create_directories(home_);
  }

  static std::optional<unsigned long> propertyLength(Display* display, Window window,
                                                     Atom property) {
    const auto items = propertyItems(display, window, property);
    if (!items) return std::nullopt;
    return items->size();
  }

  // Maps small probe windows until the window manager manages one (marks it with WM_STATE),
  // then destroys them and waits until the manager's client list holds none of them.
  static bool probeManagement(Display* display, Atom wmState, Atom clientList, double seconds) {
    const Window root = DefaultRootWindow(display);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool managed = false;
    std::vector<Window> probes;
    while (!managed && std::chrono::steady_clock::now() < deadline) {
      const Window probe = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
      probes.push_back(probe);
      XMapWindow(display, probe);
      XSync(display, False);
      managed = waitUntil([&] { return propertyLength(display, probe, wmState).has_value(); }, 0.5);
      XDestroyWindow(display, probe);
      XSync(display, False);
    }
    auto listsAProbe = [&] {
      const auto listed =
          propertyItems(display, root, clientList).value_or(std::vector<unsigned long>{});
      return std::any_of(listed.begin(), listed.end(), [&](unsigned long window) {
        return std::find(probes.begin(), probes.end(), window) != probes.end();
      });
    };
    return managed && waitUntil([&] { return !listsAProbe(); }, seconds);
  }

 private:
  pid_t pid_ = -1;
  pid_t windowManager_ = -1;
  std::string name_;
  std::filesystem::path home_;
};

}  // namespace corvane::testing
