// Composed, filtered frames of the X11 backend against a plain XShmGetImage of the whole root,
// on a private Xvfb, at 1920x1080 and 3840x2160 with 5 and 25 windows (one excluded); at 1080p
// also with a window that painted only a quarter of itself (the rest holds the neutral fill). The
// ratio is measured like for like (like_for_like.h); frames a second come from the same median, on
// the one thread that composes.
#include <benchmark/benchmark.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include "like_for_like.h"
#include "platform/x11/capture_session.h"
#include "platform/x11/xlib.h"
#include "support/x11/xvfb_server.h"

namespace {

using namespace corvane::platform;
using namespace corvane::platform::x11;

struct Desktop {
  std::unique_ptr<corvane::testing::XvfbServer> server;
  // Owns the windows; never read by the capture as "own". Opened like every display of the
  // process, so extension records are shared safely with the capture's connections.
  std::unique_ptr<XConnection> painterConnection;
  Display* painter = nullptr;
  std::vector<Window> windows;
};

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
    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0x203040 + static_cast<unsigned long>(i) * 0x050607;
    const int w = width / 3, h = height / 3;
    const int x = (i * 97) % (width - w), y = (i * 61) % (height - h);
    Window window =
        XCreateWindow(slot->painter, DefaultRootWindow(slot->painter), x, y, w, h, 0,
                      CopyFromParent, InputOutput, CopyFromParent, CWBackPixel, &attributes);
    XClassHint hint{const_cast<char*>("bench"), const_cast<char*>(i == 0 ? "Secret" : "Bench")};
    XSetClassHint(slot->painter, window, &hint);
    XMapWindow(slot->painter, window);
    slot->windows.push_back(window);
  }
  XSync(slot->painter, False);
  return *slot;
}

// The reference of the ratio: one XShmGetImage of the whole root into a segment of its own.
class RootGrab {
 public:
  explicit RootGrab(Display* display) : display_(display) {
    const int width = DisplayWidth(display, 0), height = DisplayHeight(display, 0);
    image_ = XShmCreateImage(display, DefaultVisual(display, 0), DefaultDepth(display, 0), ZPixmap,
                             nullptr, &segment_, width, height);
    segment_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * height,
                            IPC_CREAT | 0600);
    segment_.shmaddr = image_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    XShmAttach(display, &segment_);
    XSync(display, False);
    shmctl(segment_.shmid, IPC_RMID, nullptr);
  }
  ~RootGrab() {
    XShmDetach(display_, &segment_);
    XSync(display_, False);
    shmdt(segment_.shmaddr);
    image_->data = nullptr;
    XDestroyImage(image_);
  }
  RootGrab(const RootGrab&) = delete;
  RootGrab& operator=(const RootGrab&) = delete;

  void once() { XShmGetImage(display_, DefaultRootWindow(display_), image_, 0, 0, AllPlanes); }

 private:
  Display* display_;
  XShmSegmentInfo segment_{};
  XImage* image_ = nullptr;
};

void BM_ComposedFrame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const int windowCount = static_cast<int>(state.range(2));
  Desktop& desktop = desktopFor(width, height, windowCount);
  if (!desktop.server->ok()) {
    state.SkipWithError("Xvfb did not start");
    return;
  }
  auto connection = XConnection::open(desktop.server->name());
  auto identities = std::make_shared<const ApplicationIdentityResolver>(
      std::make_shared<const DesktopEntryIndex>());
  auto session = CaptureSession::open(**connection, identities);
  if (!session) {
    state.SkipWithError(session.message().c_str());
    return;
  }
  Display* display = (*connection)->display();
  auto applyEvents = [&] {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      (*session)->handle(event);
    }
  };
  // Let every window repaint after the redirect so frames are composed, not filled.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while ((*session)->anyWindowAwaitingRepaint() && std::chrono::steady_clock::now() < deadline) {
    applyEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Window partlyPainted = None;
  if (state.range(3) != 0) {
    // A window without background that paints its top-left quarter once.
    auto settleFor40Milliseconds = [&] {
      for (int i = 0; i < 20; ++i) {
        applyEvents();
        (void)(*session)->anyWindowAwaitingRepaint();
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
  ContentFilter filter;
  filter.displayID = 0;  // the primary monitor
  filter.excludedApplications.push_back(ShareableApplication{"Secret", "Secret", 0});
  StreamConfiguration configuration;
  RootGrab rootGrab(display);
  corvane::bench::LikeForLikeRatio ratio(
      state, "root_grab", [&] { rootGrab.once(); }, 4);
  for (auto _ : state) {
    auto frame = (*session)->compose(filter, configuration, 1);
    if (!frame) {
      state.SkipWithError(frame.message().c_str());
      break;
    }
    benchmark::DoNotOptimize(frame.value()->data());
    ratio.unitDone();
  }
  ratio.report("frame");
  if (const auto figures = ratio.figures(); figures.blocks > 0)
    state.counters["frames_per_second"] = 1.0 / figures.pathSeconds;
  state.SetLabel(std::to_string(windowCount) + " windows, one excluded" +
                 (partlyPainted != None ? ", one painted a quarter" : ""));
  session.value().reset();
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

}  // namespace

BENCHMARK_MAIN();
