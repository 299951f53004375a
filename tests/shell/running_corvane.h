#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/base64.h"
#include "support/temporary_folder.h"
#include "support/x11/xvfb_server.h"

namespace corvane::shell::testing {

// The built application copied into a bundle of its own, whose Info.plist turns crash reporting
// on (towards a closed loopback port), so a run that ends badly leaves a report behind.
inline const std::filesystem::path& testBundle() {
  static corvane::testing::TemporaryFolder folder("corvane-shell-bundle");
  static const std::filesystem::path root = [] {
    const std::filesystem::path bundle = folder.path() / "Corvane";
    std::filesystem::create_directories(bundle / "bin");
    std::filesystem::copy_file(CORVANE_BINARY, bundle / "bin/corvane");
    std::ifstream in(std::filesystem::path(CORVANE_BINARY).parent_path().parent_path() /
                     "Info.plist");
    std::stringstream text;
    text << in.rdbuf();
    std::string plist = text.str();
    auto replace = [&](const std::string& from, const std::string& to) {
      if (auto at = plist.find(from); at != std::string::npos) plist.replace(at, from.size(), to);
    };
    replace("<key>CorvaneCrashReportingEnabled</key>\n\t<false/>",
            "<key>CorvaneCrashReportingEnabled</key>\n\t<true/>");
    replace("<key>CorvaneCrashReportingDSN</key>\n\t<string></string>",
            "<key>CorvaneCrashReportingDSN</key>\n\t<string>https://key@127.0.0.1:9/1</string>");
    std::ofstream(bundle / "Info.plist") << plist;
    return bundle;
  }();
  return root;
}

// Corvane's own folders on a test X server: settings, data and the runtime folder, seeded as a
// test asks, and the processes started on them.
class CorvaneHome {
 public:
  explicit CorvaneHome(std::string display) : display_(std::move(display)) {
    for (const char* name : {"config/corvane/defaults", "data/applications", "cache", "runtime"}) {
      std::filesystem::create_directories(folder_ / name);
    }
    std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all);
  }
  ~CorvaneHome() {
    for (auto& pid : running_) corvane::testing::endProcess(pid, SIGKILL);
  }

  // Setup done.
  void seedSetupDone() {
    std::ofstream(folder_ / "config/corvane/defaults/com.pemberquist.corvane.json")
        << R"({"setupCompletionVersion": 1})";
  }
  // Setup done, and the application `id` marked private: a desktop entry of its own whose
  // windows are of class `windowClass`.
  void seedSetupDoneWithPrivateApplication(const std::string& id, const std::string& windowClass) {
    std::ofstream(folder_ / "data/applications" / (id + ".desktop"))
        << "[Desktop Entry]\nType=Application\nName=" << windowClass
        << "\nExec=true\nStartupWMClass=" << windowClass << "\n";
    const std::string list = R"([{"id":")" + id + R"(","name":")" + windowClass +
                             R"(","systemImage":"lock.fill","isEnabled":true}])";
    std::ofstream(folder_ / "config/corvane/defaults/com.pemberquist.corvane.json")
        << R"({"setupCompletionVersion": 1, "protectedApps": {"$type": "data", "value": ")"
        << platform::encodeBase64(platform::Value::Data(list.begin(), list.end())) << "\"}}";
  }

  // Variables every later launch gets besides ("NAME=value"): a desktop's session bus.
  void addEnvironment(const std::vector<std::string>& variables) {
    extraEnvironment_.insert(extraEnvironment_.end(), variables.begin(), variables.end());
  }

  std::vector<std::string> environment() const {
    std::vector<std::string> environment = {
        "DISPLAY=" + display_,
        // In the sanitizer build: the leaks of the system libraries Qt loads.
        "LSAN_OPTIONS=suppressions=" CORVANE_LSAN_SUPPRESSIONS,
        "XDG_CONFIG_HOME=" + (folder_ / "config").string(),
        "XDG_DATA_HOME=" + (folder_ / "data").string(),
        "XDG_CACHE_HOME=" + (folder_ / "cache").string(),
        "XDG_RUNTIME_DIR=" + (folder_ / "runtime").string(), "QT_QPA_PLATFORM=xcb"};
    environment.insert(environment.end(), extraEnvironment_.begin(), extraEnvironment_.end());
    return environment;
  }

  pid_t launch(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), (testBundle() / "bin/corvane").string());
    const pid_t pid = corvane::testing::spawnProgram(arguments, environment());
    running_.push_back(pid);
    return pid;
  }
  // The same, with what the process writes on stderr kept in errorsFile().
  pid_t launchKeepingErrors(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), (testBundle() / "bin/corvane").string());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errorsFile().c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    const pid_t pid = corvane::testing::spawnProgram(arguments, environment(), &actions);
    posix_spawn_file_actions_destroy(&actions);
    running_.push_back(pid);
    return pid;
  }
  std::filesystem::path errorsFile() const { return folder_ / "stderr.txt"; }
  std::string errors() const {
    std::ifstream in(errorsFile());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The exit status once the process ends within `seconds`; nothing when it is still running or
  // was ended by a signal.
  std::optional<int> exitStatus(pid_t& pid, double seconds) {
    int status = 0;
    const bool ended =
        corvane::testing::waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds);
    if (!ended) return std::nullopt;
    std::erase(running_, pid);
    pid = -1;
    if (!WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
  }

  // The seconds between the first `from` and the first `to` event in the log, by their
  // timestamps; none while either is missing.
  std::optional<double> secondsBetweenEvents(const std::string& from, const std::string& to) const {
    auto timeOf = [&](const std::string& name) -> std::optional<double> {
      std::ifstream log(folder_ / "data/Corvane/Diagnostics/events.jsonl");
      for (std::string line; std::getline(log, line);) {
        if (line.find("\"event\":\"" + name + "\"") == std::string::npos) continue;
        // "timestamp":"2026-01-05T09:00:00.250Z": the time of day is enough within one start.
        const auto at = line.find("T", line.find("\"timestamp\":\""));
        if (at == std::string::npos) return std::nullopt;
        int hours = 0, minutes = 0;
        double seconds = 0;
        if (std::sscanf(line.c_str() + at + 1, "%d:%d:%lf", &hours, &minutes, &seconds) != 3) {
          return std::nullopt;
        }
        return hours * 3600.0 + minutes * 60.0 + seconds;
      }
      return std::nullopt;
    };
    const auto begin = timeOf(from);
    const auto end = timeOf(to);
    if (!begin || !end) return std::nullopt;
    return *end - *begin;
  }

  // The event names in the log, oldest first.
  std::vector<std::string> events() const {
    std::vector<std::string> names;
    std::ifstream log(folder_ / "data/Corvane/Diagnostics/events.jsonl");
    const std::string marker = "\"event\":\"";
    for (std::string line; std::getline(log, line);) {
      const auto at = line.find(marker);
      if (at == std::string::npos) continue;
      const auto begin = at + marker.size();
      names.push_back(line.substr(begin, line.find('"', begin) - begin));
    }
    return names;
  }
  bool waitForEvent(const std::string& name, double seconds = 10.0) const {
    return corvane::testing::waitUntil(
        [&] {
          const auto names = events();
          return std::find(names.begin(), names.end(), name) != names.end();
        },
        seconds);
  }

  std::filesystem::path crashReports() const { return folder_ / "data/Corvane/CrashReports"; }
  const std::filesystem::path& path() const { return folder_.path(); }

 private:
  std::string display_;
  std::vector<std::string> extraEnvironment_;
  corvane::testing::TemporaryFolder folder_{"corvane-shell-home"};
  std::vector<pid_t> running_;
};

// A viewable window with exactly this title on the display; 0 when there is none.
inline unsigned long viewableWindowNamed(const std::string& display, const std::string& title) {
  const std::string command =
      "DISPLAY=" + display + " xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return 0;
  char line[64];
  const bool found = std::fgets(line, sizeof line, pipe) != nullptr;
  pclose(pipe);
  return found ? std::stoul(line) : 0;
}

// Whether a viewable window with exactly this title is on the display.
inline bool hasViewableWindow(const std::string& display, const std::string& title) {
  return viewableWindowNamed(display, title) != 0;
}

}  // namespace corvane::shell::testing
