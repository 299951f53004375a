// Composed, filtered frames of the X11 backend against a plain XShmGetImage of the whole root,
// on a private Xvfb, at 1920x1080 and 3840x2160 with 5 and 25 windows (one excluded); at 1080p
// also with a window that painted only a quarter of itself (the rest holds the neutral fill).
// Every window belongs to a client process of its own, as on a desktop, so leaving out the
// excluded application leaves out its window only; the benchmark counts the windows whose colour
// reached the frame and fails when the frame is the bare background. The ratio is measured like
// for like (like_for_like.h); frames a second come from the same median, on the one thread that
// composes.
//
// The composer composes and reads again only what changed since the last frame; these windows do
// not change, so every measured BM_ComposedFrame frame is asked for whole
// (FrameComposer::Extent::whole): each one is a full composition and read-back of the display.
// BM_ChangingWindowFrame measures the usual case instead: one 400x300 window painted by another
// client between frames (the paint, the capture's handling of its events and the frame made by
// changes are all measured), at 1080p with 5 windows; it counts the painted pixels that reached
// the last frame and fails when the paint did not.
// BM_ClientWaitAmidLoad: how long another client waits for the server under a load, with a
// stream of the X11 capture (its thread, its sample queue) and without one, in alternating blocks
// of the same run: 50 real applications (xterm, xmessage) starting and closing at once, or three
// windows unmapping and mapping 25 times a second each over the private window. The figures are
// the longest wait of a client asking the server something every 20 ms with the capture over the
// same without it, the frames a second the stream published, and the grabs of the server by this
// process's connections meanwhile (recorded by the server itself, RECORD).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "figures/ratio_statistics.h"
#include "like_for_like.h"
#include "platform/x11/capture_session.h"
#include "platform/x11/x11_screen_capture.h"
#include "platform/x11/xlib.h"
#include "root_grab.h"
#include "runtime/serial_queue.h"
#include "support/x11/server_grabs.h"
#include "support/x11/test_client.h"
#include "support/x11/x_clients.h"
#include "support/x11/xvfb_server.h"

namespace {

using namespace corvane::platform;
using namespace corvane::platform::x11;

struct Desktop {
  std::unique_ptr<corvane::testing::XvfbServer> server;
  // Each window is the main window of a client process of its own; the first is the excluded
  // application's.
  std::vector<std::unique_ptr<corvane::testing::TestClient>> clients;
  std::vector<std::uint32_t> colours;
  // Makes the window that paints a quarter of itself.
  std::unique_ptr<XConnection> painterConnection;
  Display* painter = nullptr;
};

constexpr std::uint32_t colourOf(int i) {
  return 0x203040u + static_cast<std::uint32_t>(i) * 0x050607u;
}

Desktop& desktopFor(int width, int height, int windowCount) {
  static std::map<std::tuple<int, int, int>, std::unique_ptr<Desktop>> desktops;
  auto& slot = desktops[{width, height, windowCount}];
  if (slot) return *slot;
  slot = std::make_unique<Desktop>();
  slot->server = std::make_unique<corvane::testing::XvfbServer>(width, height);
  auto painter = XConnection::open(slot->server->name());
  if (!painter) return *slot;
  slot->painterConnection = std::move(painter).value();
  slot->painter = slot->painterConnection->display();
  for (int i = 0; i < windowCount; ++i) {
    corvane::testing::TestClientOptions options;
    options.windowClass = i == 0 ? "Secret" : "Bench";
    options.colour = colourOf(i);
    options.width = width / 3;
    options.height = height / 3;
    options.x = (i * 97) % (width - options.width);
    options.y = (i * 61) % (height - options.height);
    slot->clients.push_back(
        std::make_unique<corvane::testing::TestClient>(slot->server->name(), options));
    slot->colours.push_back(options.colour);
  }
  return *slot;
}

// How many of the desktop's ordinary windows show in `frame` (by their colour); -1 when a pixel
// of the excluded one does.
int windowsShown(const Desktop& desktop, const PixelBuffer& frame) {
  std::set<std::uint32_t> seen;
  for (int y = 0; y < frame.height(); y += 2) {
    for (int x = 0; x < frame.width(); x += 2) seen.insert(frame.pixel(x, y) & 0xFFFFFFu);
  }
  if (seen.count(desktop.colours.front()) != 0) return -1;
  int shown = 0;
  for (std::size_t i = 1; i < desktop.colours.size(); ++i) shown += seen.count(desktop.colours[i]);
  return shown;
}

// A capture session of its own on the server of the desktop the benchmark's first three
// arguments name (width, height, windows); none, and the benchmark failed, when it cannot open.
struct Capture {
  explicit Capture(benchmark::State& state)
      : desktop(desktopFor(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                           static_cast<int>(state.range(2)))) {
    if (!desktop.server->ok() || desktop.painter == nullptr) {
      state.SkipWithError("Xvfb did not start");
      return;
    }
    auto opened = XConnection::open(desktop.server->name());
    if (!opened) {
      state.SkipWithError(opened.message().c_str());
      return;
    }
    connection = std::move(opened).value();
    auto identities = std::make_shared<const ApplicationIdentityResolver>(
        std::make_shared<const DesktopEntryIndex>());
    auto made = CaptureSession::open(*connection, identities);
    if (!made) {
      state.SkipWithError(made.message().c_str());
      return;
    }
    session = std::move(made).value();
  }
  Display* display() const { return connection->display(); }
  void applyEvents() {
    while (XPending(display()) > 0) {
      XEvent event;
      XNextEvent(display(), &event);
      session->handle(event);
    }
  }
  // One measured frame, kept on screen until the next; false (the benchmark failed) when none
  // came.
  bool frame(benchmark::State& state, const ContentFilter& filter, FrameComposer::Extent extent,
             SharedPixelBuffer& onScreen) {
    auto made = session->compose(filter, StreamConfiguration{}, 1, extent);
    if (!made) {
      state.SkipWithError(made.message().c_str());
      return false;
    }
    benchmark::DoNotOptimize(made.value()->data());
    onScreen = std::move(made).value();
    return true;
  }

  Desktop& desktop;
  std::unique_ptr<XConnection> connection;
  std::unique_ptr<CaptureSession> session;  // made after the connection, so it ends first
};

// The benchmarks' filter: the application "Secret" left out.
ContentFilter secretExcluded() {
  ContentFilter filter;
  filter.displayID = 0;  // the primary monitor
  filter.excludedApplications.push_back(ShareableApplication{"Secret", "Secret", 0});
  return filter;
}

void BM_ComposedFrame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const int windowCount = static_cast<int>(state.range(2));
  Capture capture(state);
  if (!capture.session) return;
  Desktop& desktop = capture.desktop;
  Display* display = capture.display();
  auto& session = capture.session;
  auto applyEvents = [&] { capture.applyEvents(); };
  // Let every window repaint after the redirect so frames are composed, not filled.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (session->anyWindowAwaitingRepaint() && std::chrono::steady_clock::now() < deadline) {
    applyEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Window partlyPainted = None;
  if (state.range(3) != 0) {
    // A window without background that paints its top-left quarter once.
    auto settleFor40Milliseconds = [&] {
      for (int i = 0; i < 20; ++i) {
        applyEvents();
        (void)session->anyWindowAwaitingRepaint();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    };
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;
    partlyPainted = XCreateWindow(desktop.painter, DefaultRootWindow(desktop.painter), width / 4,
                                  height / 4, width / 2, height / 2, 0, CopyFromParent, InputOutput,
                                  CopyFromParent, CWBackPixmap, &attributes);
    XClassHint hint{const_cast<char*>("bench"), const_cast<char*>("Bench")};
    XSetClassHint(desktop.painter, partlyPainted, &hint);
    XMapWindow(desktop.painter, partlyPainted);
    XSync(desktop.painter, False);
    settleFor40Milliseconds();
    GC gc = XCreateGC(desktop.painter, partlyPainted, 0, nullptr);
    XSetForeground(desktop.painter, gc, 0xC0A080);
    XFillRectangle(desktop.painter, partlyPainted, gc, 0, 0, width / 4, height / 4);
    XFreeGC(desktop.painter, gc);
    XSync(desktop.painter, False);
    settleFor40Milliseconds();
  }
  const ContentFilter filter = secretExcluded();
  corvane::bench::RootGrab rootGrab(display);
  corvane::bench::LikeForLikeRatio ratio(
      state, "root_grab", [&] { rootGrab.once(); }, 4);
  // Each frame is held until the next one comes, as the output holds the frame it shows.
  SharedPixelBuffer onScreen;
  for (auto _ : state) {
    if (!capture.frame(state, filter, FrameComposer::Extent::whole, onScreen)) break;
    ratio.unitDone();
  }
  // What the frames held, read outside the measured blocks.
  const auto last = session->compose(filter, StreamConfiguration{}, 1);
  const int windows = last ? windowsShown(desktop, *last.value()) : 0;
  if (windows < 0) state.SkipWithError("the excluded window reached the frame");
  if (windows == 0) state.SkipWithError("the frame is the bare background: no window was drawn");
  state.counters["windows_shown"] = windows;
  ratio.report("frame");
  if (const auto figures = ratio.figures(); figures.blocks > 0)
    state.counters["frames_per_second"] = 1.0 / figures.pathSeconds;
  state.SetLabel(std::to_string(windowCount) + " windows of as many clients, one excluded, " +
                 std::to_string(windows) + " shown" +
                 (partlyPainted != None ? ", one painted a quarter" : ""));
  session.reset();
  if (partlyPainted != None) {
    XDestroyWindow(desktop.painter, partlyPainted);
    XSync(desktop.painter, False);
  }
}

BENCHMARK(BM_ComposedFrame)
    ->Args({1920, 1080, 5, 0})
    ->Args({1920, 1080, 25, 0})
    ->Args({1920, 1080, 25, 1})
    ->Args({3840, 2160, 5, 0})
    ->Args({3840, 2160, 25, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

void BM_ChangingWindowFrame(benchmark::State& state) {
  Capture capture(state);
  if (!capture.session) return;
  auto applyEvents = [&] {
    XSync(capture.display(), False);
    capture.applyEvents();
  };
  // The painted window, in front in the middle, of a client of its own.
  Display* painter = capture.desktop.painter;
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;
  const Window painted =
      XCreateWindow(painter, DefaultRootWindow(painter), DisplayWidth(painter, 0) / 2 - 200,
                    DisplayHeight(painter, 0) / 2 - 150, 400, 300, 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWBackPixmap, &attributes);
  XClassHint hint{const_cast<char*>("painter"), const_cast<char*>("Painter")};
  XSetClassHint(painter, painted, &hint);
  XMapRaised(painter, painted);
  GC gc = XCreateGC(painter, painted, 0, nullptr);
  constexpr std::uint32_t kShades[] = {0xA0C0E0, 0xA0C0E2};
  int turn = 0;
  auto paint = [&] {
    XSetForeground(painter, gc, kShades[++turn % 2]);
    XFillRectangle(painter, painted, gc, 0, 0, 400, 300);
    XSync(painter, False);
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  do {
    paint();
    applyEvents();
  } while (capture.session->anyWindowAwaitingRepaint() &&
           std::chrono::steady_clock::now() < deadline);
  const ContentFilter filter = secretExcluded();
  corvane::bench::RootGrab rootGrab(capture.display());
  corvane::bench::LikeForLikeRatio ratio(
      state, "root_grab", [&] { rootGrab.once(); }, 4);
  SharedPixelBuffer onScreen;
  for (auto _ : state) {
    paint();
    applyEvents();
    if (!capture.frame(state, filter, FrameComposer::Extent::changes, onScreen)) break;
    ratio.unitDone();
  }
  std::size_t paintedPixels = 0;
  if (onScreen) {
    const std::uint32_t shade = 0xFF000000u | kShades[turn % 2];
    for (int y = 0; y < onScreen->height(); ++y) {
      for (int x = 0; x < onScreen->width(); ++x) paintedPixels += onScreen->pixel(x, y) == shade;
    }
  }
  if (paintedPixels == 0) state.SkipWithError("the painted window never reached the frame");
  state.counters["painted_pixels"] = static_cast<double>(paintedPixels);
  ratio.report("frame");
  if (const auto figures = ratio.figures(); figures.blocks > 0)
    state.counters["frames_per_second"] = 1.0 / figures.pathSeconds;
  state.SetLabel("a 400x300 window painted before each frame, " + std::to_string(paintedPixels) +
                 " of its pixels in the last frame");
  XFreeGC(painter, gc);
  capture.session.reset();
  XDestroyWindow(painter, painted);
  XSync(painter, False);
}

BENCHMARK(BM_ChangingWindowFrame)
    ->Args({1920, 1080, 5})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

// Real applications of the desktop, started and closed as a session restore and a logout do;
// those of class Xmessage are the private application's.
class ApplicationBurst {
 public:
  explicit ApplicationBurst(std::string display) : display_(std::move(display)) {}
  ~ApplicationBurst() { closeAll(); }

  void startAll() {
    for (int i = 0; i < kApplications; ++i) {
      const std::string place =
          "+" + std::to_string((i * 37) % 1500) + "+" + std::to_string((i * 23) % 800);
      std::vector<std::string> command;
      if (i % 6 == 5) {
        command = {"xmessage", "-geometry", place, "private note " + std::to_string(i)};
      } else {
        command = {"xterm", "-geometry", "80x24" + place, "-e", "sleep", "60"};
      }
      const pid_t pid = corvane::testing::spawnQuietly(command, {"DISPLAY=" + display_});
      if (pid > 0) running_.push_back(pid);
    }
  }
  void closeAll() {
    for (pid_t pid : running_) kill(pid, SIGTERM);
    for (pid_t pid : running_) waitpid(pid, nullptr, 0);
    running_.clear();
  }
  static constexpr int kApplications = 50;

 private:
  std::string display_;
  std::vector<pid_t> running_;
};

// args: the load (0: 50 real applications starting and closing at once, again and again; 1: three
// windows unmapping and mapping 25 times a second each, over the private application's window).
// Blocks without a capture and with one alternate, without first and last; each block runs the
// load for two seconds while a client asks the server something every 20 ms.
void BM_ClientWaitAmidLoad(benchmark::State& state) {
  corvane::testing::XvfbServer server(1920, 1080);
  if (!server.ok()) {
    state.SkipWithError("Xvfb did not start");
    return;
  }
  using corvane::testing::TestClient;
  using corvane::testing::TestClientOptions;
  const bool churn = state.range(0) != 0;
  TestClient secret(server.name(), {.windowClass = "Secret", .colour = 0x0000FF, .width = 600});
  std::vector<std::unique_ptr<TestClient>> churners;
  if (churn) {
    for (int i = 0; i < 3; ++i) {
      churners.push_back(std::make_unique<TestClient>(
          server.name(), TestClientOptions{.windowClass = "Churner" + std::to_string(i),
                                           .colour = colourOf(i),
                                           .x = 100 + 150 * i,
                                           .y = 80 + 90 * i,
                                           .width = 300,
                                           .height = 200}));
      churners.back()->send("flicker 1000000 40");
    }
  }
  corvane::testing::ServerGrabCounter grabs(server.name());
  if (!grabs.ok()) {
    state.SkipWithError("the X server records no requests (RECORD)");
    return;
  }
  X11ScreenCapture capture(server.name(), std::make_shared<const ApplicationIdentityResolver>(
                                              std::make_shared<const DesktopEntryIndex>()));
  ContentFilter filter = secretExcluded();
  filter.excludedApplications.push_back(ShareableApplication{"Xmessage", "Xmessage", 0});
  constexpr double kBlockSeconds = 2.0;
  // The longest wait of the ping client over one block of the load.
  auto loadBlock = [&] {
    corvane::testing::PingClient ping(server.name());
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(kBlockSeconds));
    if (churn) {
      std::this_thread::sleep_until(until);
    } else {
      ApplicationBurst burst(server.name());
      burst.startAll();
      std::this_thread::sleep_for(std::chrono::duration<double>(kBlockSeconds * 0.6));
      burst.closeAll();
      std::this_thread::sleep_until(until);
    }
    return ping.longestGapSeconds();
  };
  std::atomic<int> frames{0};
  std::atomic<bool> failed{false};
  StreamOutput output;
  output.onSample = [&](const CapturedSample&) { ++frames; };
  output.onStopWithError = [&](const corvane::runtime::Error&) { failed = true; };
  auto queue = std::make_shared<corvane::runtime::ThreadSerialQueue>("bench.samples");
  std::vector<double> withCapture, withoutCapture;
  std::uint64_t grabsWith = 0;
  double framesPerSecond = 0;
  auto measuredWithout = [&] { withoutCapture.push_back(loadBlock()); };
  measuredWithout();
  for (auto _ : state) {
    auto stream = capture.makeStream(filter, {}, output, queue);
    std::promise<corvane::runtime::Status> started;
    stream->startCapture([&](corvane::runtime::Status status) { started.set_value(status); });
    if (!started.get_future().get().ok()) {
      state.SkipWithError("the stream did not start");
      return;
    }
    grabs.forget();
    const int before = frames.load();
    const auto start = std::chrono::steady_clock::now();
    withCapture.push_back(loadBlock());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    grabsWith += grabs.grabsBy(getpid());
    framesPerSecond += (frames.load() - before) / seconds;
    std::promise<void> stopped;
    stream->stopCapture([&](corvane::runtime::Status) { stopped.set_value(); });
    stopped.get_future().wait();
    measuredWithout();
  }
  if (failed.load()) state.SkipWithError("the stream stopped with an error");
  corvane::bench::reportBlockRatio(
      state, corvane::bench::summarizeBlocks(withCapture, withoutCapture, 1, 1),
      "longest_wait_with", "longest_wait_without", "ratio_to_without");
  state.counters["frames_per_second"] =
      withCapture.empty() ? 0.0 : framesPerSecond / static_cast<double>(withCapture.size());
  state.counters["server_grabs"] = static_cast<double>(grabsWith);
  state.SetLabel(churn ? "three windows mapping and unmapping 25 times a second each"
                       : "50 applications (xterm, xmessage) starting and closing at once");
}

BENCHMARK(BM_ClientWaitAmidLoad)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
