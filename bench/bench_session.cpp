// The whole application on a private X server (Xvfb with openbox and a tray host), started as a
// user starts it, with the sample client's windows each in a process of its own:
//   - the first filtered frame: Corvane started with the launch automation flag that opens a
//     session, 25 windows on screen, the private application's at the bottom or in front (raised
//     and made active, as a user's click does); the figure is the session's own count from its
//     request to the first published frame, against the unfiltered first frame of a root grab on
//     a new connection, measured before and after each start;
//   - idle: Corvane in the tray, no session; the CPU of Corvane and of the X server together;
//   - a still desktop: a session over windows that do not change, the pointer resting; the CPU of
//     Corvane and of the X server, and how often the share window is drawn (its damage, seen
//     from this process), which only the stream's keep-alive frames may cause;
//   - a session with one 400×300 window repainted 60 times a second: the CPU of Corvane and of
//     the X server, against a root grab 60 times a second (one XShmGetImage of the whole root,
//     from this process) with the same window repainting: blocks of each alternate, root grab
//     first and last, and the ratio comes from ratio_statistics.h like every other ratio; then
//     root grabs while another connection keeps the windows redirected, alternating with plain
//     ones, for the share of the session's cost that the redirect alone makes the server pay.
// CPU time is read from the kernel's per-thread run time (/proc/<pid>/task/*/schedstat), in
// nanoseconds, for every thread of the processes measured.
#include <benchmark/benchmark.h>
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "figures/ratio_statistics.h"
#include "like_for_like.h"
#include "periodic_ticks.h"
#include "platform/x11/xlib.h"
#include "root_grab.h"
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"

namespace {

using corvane::testing::TestClient;
using corvane::testing::TestClientOptions;
using corvane::testing::XvfbServer;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr const char* kPrivateClass = "BenchVault";

// Seconds every thread of `pid` has run so far; 0 when the process is gone.
double runSeconds(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* folder = opendir(tasks.c_str());
  if (folder == nullptr) return 0;
  double seconds = 0;
  while (dirent* entry = readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
    unsigned long long nanoseconds = 0;
    if (stat >> nanoseconds) seconds += static_cast<double>(nanoseconds) * 1e-9;
  }
  closedir(folder);
  return seconds;
}

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A desktop like a user's: openbox, a tray host, and folders of its own in which setup is done
// and the sample client's class `kPrivateClass` is a private application.
class SessionDesktop {
 public:
  SessionDesktop(int width, int height) : server_(width, height) {
    if (!server_.ok() || !server_.startWindowManager()) return;
    folder_ = fs::temp_directory_path() /
              ("corvane-bench-session-" + std::to_string(getpid()) + server_.name().substr(1));
    fs::create_directories(folder_ / "config/corvane/defaults");
    fs::create_directories(folder_ / "data/applications");
    fs::create_directories(folder_ / "cache");
    fs::create_directories(folder_ / "runtime");
    fs::permissions(folder_ / "runtime", fs::perms::owner_all);
    std::ofstream(folder_ / "data/applications/org.corvane.bench.Vault.desktop")
        << "[Desktop Entry]\nType=Application\nName=Bench Vault\nExec=" CORVANE_X11_TEST_CLIENT
           "\nStartupWMClass="
        << kPrivateClass << "\n";
    // [{"id":"org.corvane.bench.Vault","name":"Bench
    // Vault","systemImage":"lock.fill","isEnabled":true}]
    const std::string excluded =
        "W3siaWQiOiJvcmcuY29ydmFuZS5iZW5jaC5WYXVsdCIsIm5hbWUiOiJCZW5jaCBWYXVsdCIsInN5c3RlbUltYWdl"
        "IjoibG9jay5maWxsIiwiaXNFbmFibGVkIjp0cnVlfV0=";
    std::ofstream(folder_ / "config/corvane/defaults/com.pemberquist.corvane.json")
        << "{\"setupCompletionVersion\": 1, \"protectedApps\": {\"$type\": \"data\", \"value\": \""
        << excluded << "\"}}\n";
    tray_ =
        corvane::testing::spawnProgram({"trayer", "--edge", "top", "--align", "right",
                                        "--widthtype", "pixel", "--width", "120", "--height", "24"},
                                       {"DISPLAY=" + server_.name()});
    ready_ = true;
  }
  ~SessionDesktop() {
    stopCorvane();
    clients_.clear();
    corvane::testing::endProcess(tray_);
    if (!folder_.empty()) fs::remove_all(folder_);
  }
  SessionDesktop(const SessionDesktop&) = delete;
  SessionDesktop& operator=(const SessionDesktop&) = delete;

  bool ready() const { return ready_; }
  const XvfbServer& server() const { return server_; }
  pid_t corvane() const { return corvane_; }

  TestClient& addClient(TestClientOptions options) {
    clients_.push_back(std::make_unique<TestClient>(server_.name(), options));
    return *clients_.back();
  }

  void startCorvane(bool withSession) {
    fs::remove(eventsFile());
    std::vector<std::string> arguments{CORVANE_BINARY};
    if (withSession) arguments.emplace_back("--qa-start-protected-share");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    corvane_ = corvane::testing::spawnProgram(
        arguments,
        {"DISPLAY=" + server_.name(), "XDG_CONFIG_HOME=" + (folder_ / "config").string(),
         "XDG_DATA_HOME=" + (folder_ / "data").string(),
         "XDG_CACHE_HOME=" + (folder_ / "cache").string(),
         "XDG_RUNTIME_DIR=" + (folder_ / "runtime").string(),
         "WAYLAND_DISPLAY=", "XDG_SESSION_TYPE=x11", "QT_QPA_PLATFORM=xcb"},
        &actions);
    posix_spawn_file_actions_destroy(&actions);
  }
  void stopCorvane() { corvane::testing::endProcess(corvane_); }

  // The line of the event log that records `event`, once it is there (nothing after `seconds`).
  std::optional<std::string> waitForEvent(const std::string& event, double seconds) {
    const std::string quoted = "\"" + event + "\"";
    std::optional<std::string> found;
    corvane::testing::waitUntil(
        [&] {
          std::ifstream log(eventsFile());
          for (std::string line; std::getline(log, line);) {
            if (line.find(quoted) != std::string::npos) {
              found = line;
              return true;
            }
          }
          return corvane_ <= 0 || kill(corvane_, 0) != 0;
        },
        seconds);
    return found;
  }

 private:
  fs::path eventsFile() const { return folder_ / "data/Corvane/Diagnostics/events.jsonl"; }

  XvfbServer server_;
  fs::path folder_;
  pid_t tray_ = -1;
  pid_t corvane_ = -1;
  bool ready_ = false;
  std::vector<std::unique_ptr<TestClient>> clients_;
};

// The number after "`field`":" in a line of the event log (quoted or not); -1 when absent.
double numberField(const std::string& line, const std::string& field) {
  const std::string key = "\"" + field + "\":";
  const auto at = line.find(key);
  if (at == std::string::npos) return -1;
  std::size_t from = at + key.size();
  if (from < line.size() && line[from] == '"') ++from;
  return std::atof(line.c_str() + from);
}

// Raises `window` and makes it the active one through the window manager, as a click on it does;
// returns once the manager reports it active.
bool activate(const XvfbServer& server, Window window) {
  Display* display = XOpenDisplay(server.name().c_str());
  if (display == nullptr) return false;
  const Window root = DefaultRootWindow(display);
  const Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = window;
  request.xclient.message_type = active;
  request.xclient.format = 32;
  request.xclient.data.l[0] = 2;  // from a pager: the user asked for it
  request.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
  XRaiseWindow(display, window);
  XSync(display, False);
  const bool activated = corvane::testing::waitUntil(
      [&] {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool isActive = false;
        if (XGetWindowProperty(display, root, active, 0, 1, False, XA_WINDOW, &type, &format,
                               &count, &after, &data) == Success &&
            data != nullptr) {
          isActive = count == 1 && *reinterpret_cast<const Window*>(data) == window;
          XFree(data);
        }
        return isActive;
      },
      10);
  XCloseDisplay(display);
  return activated;
}

// The unfiltered first frame any capture gives at the least: a new connection to the server and
// one XShmGetImage of the whole root, in seconds.
double firstRootGrabSeconds(const std::string& displayName) {
  const auto start = Clock::now();
  Display* display = XOpenDisplay(displayName.c_str());
  if (display == nullptr) return 0;
  {
    corvane::bench::RootGrab grab(display);
    grab.once();
    XSync(display, False);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  XCloseDisplay(display);
  return seconds;
}

// args: windows, whether the private application's window is in front (mapped last, then raised
// and activated)
void BM_FirstFilteredFrame(benchmark::State& state) {
  const int windowCount = static_cast<int>(state.range(0));
  const bool privateInFront = state.range(1) != 0;
  const bool churn = state.range(2) != 0;
  SessionDesktop desktop(1920, 1080);
  if (!desktop.ready()) {
    state.SkipWithError("Xvfb or openbox did not start");
    return;
  }
  for (int i = 0; i < windowCount; ++i) {
    const bool isPrivate = privateInFront ? i == windowCount - 1 : i == 0;
    TestClientOptions options;
    options.windowClass = isPrivate ? kPrivateClass : "BenchWindow";
    options.colour = 0x204060u + static_cast<std::uint32_t>(i) * 0x030507u;
    options.width = 640;
    options.height = 360;
    options.x = (i * 97) % (1920 - 640);
    options.y = 30 + (i * 61) % (1080 - 400);
    TestClient& client = desktop.addClient(options);
    if (isPrivate && privateInFront && !activate(desktop.server(), client.window())) {
      state.SkipWithError("the window manager did not activate the private window");
      return;
    }
  }
  if (churn) {
    // Another client makes 40 small windows every 2 ms and destroys them again, throughout.
    desktop.addClient({.windowClass = "Churner", .width = 10, .height = 10}).send("churn 40 2");
  }
  // Each start between two unfiltered first frames: a new connection's grab of the root.
  std::vector<double> seconds, rootGrabSeconds{firstRootGrabSeconds(desktop.server().name())};
  for (auto _ : state) {
    for (int run = 0; run < 5; ++run) {
      desktop.startCorvane(true);
      const auto line = desktop.waitForEvent("protected_share_first_frame_published", 30);
      desktop.stopCorvane();
      if (!line) {
        state.SkipWithError("no filtered frame came");
        return;
      }
      seconds.push_back(numberField(*line, "durationMS") / 1000.0);
      rootGrabSeconds.push_back(firstRootGrabSeconds(desktop.server().name()));
    }
  }
  corvane::bench::reportBlockRatio(state,
                                   corvane::bench::summarizeBlocks(seconds, rootGrabSeconds, 1, 1),
                                   "first_frame", "root_grab_first_frame", "ratio_to_root_grab");
  state.SetLabel(std::to_string(windowCount) + " windows, the private one " +
                 (privateInFront ? "in front" : "at the bottom") +
                 (churn ? ", amid window churn" : "") + ", median of " +
                 std::to_string(seconds.size()) + " starts");
}

void BM_IdleCpu(benchmark::State& state) {
  SessionDesktop desktop(1920, 1080);
  if (!desktop.ready()) {
    state.SkipWithError("Xvfb or openbox did not start");
    return;
  }
  desktop.startCorvane(false);
  if (!desktop.waitForEvent("app_shell_initialized", 30)) {
    state.SkipWithError("Corvane did not start");
    return;
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));  // let the start settle
  constexpr double kSeconds = 10;
  double corvaneSeconds = 0, serverSeconds = 0, wall = 0;
  for (auto _ : state) {
    const double corvaneBefore = runSeconds(desktop.corvane());
    const double serverBefore = runSeconds(desktop.server().pid());
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
    wall = std::chrono::duration<double>(Clock::now() - start).count();
    corvaneSeconds = runSeconds(desktop.corvane()) - corvaneBefore;
    serverSeconds = runSeconds(desktop.server().pid()) - serverBefore;
  }
  state.counters["idle_percent_of_core"] = 100 * (corvaneSeconds + serverSeconds) / wall;
  state.counters["corvane_percent"] = 100 * corvaneSeconds / wall;
  state.counters["x_server_percent"] = 100 * serverSeconds / wall;
  state.SetLabel("in the tray, no session, over " + std::to_string(static_cast<int>(kSeconds)) +
                 " s");
}

// The top-level window the window manager lists under `title`; None when there is none.
Window windowTitled(Display* display, const std::string& title) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window found = None;
  if (XGetWindowProperty(display, DefaultRootWindow(display),
                         XInternAtom(display, "_NET_CLIENT_LIST", False), 0, 4096, False, XA_WINDOW,
                         &type, &format, &count, &after, &data) == Success &&
      data != nullptr) {
    const auto* windows = reinterpret_cast<const Window*>(data);
    for (unsigned long i = 0; i < count && found == None; ++i) {
      char* name = nullptr;
      if (XFetchName(display, windows[i], &name) != 0 && name != nullptr) {
        if (title == name) found = windows[i];
        XFree(name);
      }
    }
  }
  if (data != nullptr) XFree(data);
  return found;
}

// Counts the times a window is drawn into (its children included): one DAMAGE report, taken
// back at once, for each batch of drawing the server finished.
class DrawCounter {
 public:
  DrawCounter(Display* display, Window window) : display_(display) {
    int errorBase = 0;
    if (!XDamageQueryExtension(display, &eventBase_, &errorBase)) return;
    damage_ = XDamageCreate(display, window, XDamageReportNonEmpty);
    XSync(display, False);
  }
  ~DrawCounter() {
    if (damage_ != None) XDamageDestroy(display_, damage_);
    XSync(display_, False);
  }
  DrawCounter(const DrawCounter&) = delete;
  DrawCounter& operator=(const DrawCounter&) = delete;

  // The reports so far, counted once each, until `seconds` pass.
  int countFor(double seconds) {
    int draws = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != eventBase_ + XDamageNotify) continue;
        ++draws;
        XDamageSubtract(display_, damage_, None, None);
      }
      XFlush(display_);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return draws;
  }

 private:
  Display* display_;
  int eventBase_ = 0;
  Damage damage_ = None;
};

// A session over a desktop where nothing moves and the pointer rests over a window: only the
// stream's keep-alive frames should reach the share window.
void BM_StillDesktopSession(benchmark::State& state) {
  SessionDesktop desktop(1920, 1080);
  if (!desktop.ready()) {
    state.SkipWithError("Xvfb or openbox did not start");
    return;
  }
  for (int i = 0; i < 5; ++i) {
    TestClientOptions options;
    options.windowClass = "BenchStill";
    options.colour = 0x305070u + static_cast<std::uint32_t>(i) * 0x0A0B0Cu;
    options.x = 1000 + i * 120;
    options.y = 300 + i * 90;
    options.width = 400;
    options.height = 300;
    desktop.addClient(options);
  }
  Display* display = XOpenDisplay(desktop.server().name().c_str());
  if (display == nullptr) {
    state.SkipWithError("no connection to the X server");
    return;
  }
  XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, 1500, 700);
  XSync(display, False);
  desktop.startCorvane(true);
  Window shareWindow = None;
  if (desktop.waitForEvent("protected_share_first_frame_published", 30)) {
    corvane::testing::waitUntil(
        [&] { return (shareWindow = windowTitled(display, "Corvane Protected Share")) != None; },
        10);
  }
  if (shareWindow == None) {
    XCloseDisplay(display);
    state.SkipWithError("no share window showed a filtered frame");
    return;
  }
  constexpr double kSeconds = 10;
  double corvaneSeconds = 0, serverSeconds = 0, wall = 0;
  int draws = 0;
  for (auto _ : state) {
    DrawCounter counter(display, shareWindow);
    counter.countFor(2);  // let the start settle
    const double corvaneBefore = runSeconds(desktop.corvane());
    const double serverBefore = runSeconds(desktop.server().pid());
    const auto start = Clock::now();
    draws = counter.countFor(kSeconds);
    wall = std::chrono::duration<double>(Clock::now() - start).count();
    corvaneSeconds = runSeconds(desktop.corvane()) - corvaneBefore;
    serverSeconds = runSeconds(desktop.server().pid()) - serverBefore;
  }
  XCloseDisplay(display);
  desktop.stopCorvane();
  state.counters["still_percent_of_core"] = 100 * (corvaneSeconds + serverSeconds) / wall;
  state.counters["corvane_percent"] = 100 * corvaneSeconds / wall;
  state.counters["x_server_percent"] = 100 * serverSeconds / wall;
  state.counters["share_window_draws_per_second"] = draws / wall;
  state.SetLabel("5 still windows, the pointer resting; CPU of Corvane and the X server over " +
                 std::to_string(static_cast<int>(kSeconds)) + " s");
}

// Calls `tick` 60 times a second on a thread of its own until destroyed.
void BM_AnimatedWindowSession(benchmark::State& state) {
  SessionDesktop desktop(1920, 1080);
  if (!desktop.ready()) {
    state.SkipWithError("Xvfb or openbox did not start");
    return;
  }
  TestClientOptions options;
  options.windowClass = "BenchAnimated";
  options.x = 200;
  options.y = 200;
  options.width = 400;
  options.height = 300;
  TestClient& animated = desktop.addClient(options);
  int frame = 0;
  corvane::bench::PeriodicTicks animation(60, [&] {
    animated.command("paint 400x300+0+0 " + std::string(++frame % 2 ? "3060C0" : "C06030"));
  });
  auto grabConnection = XOpenDisplay(desktop.server().name().c_str());
  if (grabConnection == nullptr) {
    state.SkipWithError("no connection to the X server");
    return;
  }
  constexpr double kBlockSeconds = 2;
  const pid_t server = desktop.server().pid();
  // CPU seconds per second of a block of root grabs at 60 a second; with `redirected`, while
  // another connection keeps every top-level window redirected as a session does (the server then
  // draws each window into a pixmap of its own and copies what changed to the screen).
  auto rootGrabBlock = [&](bool redirected) {
    Display* redirector = redirected ? XOpenDisplay(desktop.server().name().c_str()) : nullptr;
    if (redirector != nullptr) {
      XCompositeRedirectSubwindows(redirector, DefaultRootWindow(redirector),
                                   CompositeRedirectAutomatic);
      XSync(redirector, False);
    }
    corvane::bench::RootGrab grab(grabConnection);
    std::atomic<double> grabberSeconds{0};
    const double serverBefore = runSeconds(server);
    const auto start = Clock::now();
    {
      double first = -1;
      corvane::bench::PeriodicTicks grabs(60, [&] {
        if (first < 0) first = threadSeconds();
        grab.once();
        XSync(grabConnection, False);
        grabberSeconds = threadSeconds() - first;
      });
      std::this_thread::sleep_for(std::chrono::duration<double>(kBlockSeconds));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double seconds = (grabberSeconds + runSeconds(server) - serverBefore) / wall;
    if (redirector != nullptr) XCloseDisplay(redirector);
    return seconds;
  };
  // The same for a session: started, settled on its first frame and a second more, measured.
  bool sessionFailed = false;
  auto sessionBlock = [&] {
    desktop.startCorvane(true);
    if (!desktop.waitForEvent("protected_share_first_frame_published", 30)) sessionFailed = true;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double corvaneBefore = runSeconds(desktop.corvane());
    const double serverBefore = runSeconds(server);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(kBlockSeconds));
    const double seconds =
        runSeconds(desktop.corvane()) - corvaneBefore + runSeconds(server) - serverBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    desktop.stopCorvane();
    return seconds / wall;
  };
  std::vector<double> sessions, rootGrabs{rootGrabBlock(false)};
  // Then what the redirect alone costs, against the same root grab: the part of the session's
  // cost that no composition of the windows' own pixmaps can do without.
  std::vector<double> redirectedGrabs, redirectReferences;
  for (auto _ : state) {
    for (int block = 0; block < 3 && !sessionFailed; ++block) {
      sessions.push_back(sessionBlock());
      rootGrabs.push_back(rootGrabBlock(false));
    }
    redirectReferences.push_back(rootGrabs.back());
    for (int block = 0; block < 3 && !sessionFailed; ++block) {
      redirectedGrabs.push_back(rootGrabBlock(true));
      redirectReferences.push_back(rootGrabBlock(false));
    }
  }
  XCloseDisplay(grabConnection);
  if (sessionFailed) {
    state.SkipWithError("no filtered frame came");
    return;
  }
  const auto figures = corvane::bench::summarizeBlocks(sessions, rootGrabs, 1, 1);
  state.counters["session_percent_of_core"] = 100 * figures.pathSeconds;
  state.counters["root_grab_percent_of_core"] = 100 * figures.referenceSeconds;
  state.counters["ratio_to_root_grab"] = figures.ratio;
  state.counters["ratio_to_root_grab_p25"] = figures.ratioLow;
  state.counters["ratio_to_root_grab_p75"] = figures.ratioHigh;
  const auto redirect = corvane::bench::summarizeBlocks(redirectedGrabs, redirectReferences, 1, 1);
  state.counters["redirected_root_grab_ratio"] = redirect.ratio;
  state.counters["redirected_root_grab_ratio_p25"] = redirect.ratioLow;
  state.counters["redirected_root_grab_ratio_p75"] = redirect.ratioHigh;
  state.SetLabel("one 400x300 window repainted 60 times a second; CPU of Corvane and the X server");
}

BENCHMARK(BM_FirstFilteredFrame)
    ->Args({25, 0, 0})
    ->Args({25, 1, 0})
    ->Args({5, 0, 0})
    ->Args({5, 0, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleCpu)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StillDesktopSession)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnimatedWindowSession)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
