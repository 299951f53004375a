// The output window's presentation of a new 1920×1080 snapshot on a real X server (a private
// Xvfb, Qt's xcb platform): from the surface's update until the window's new pixels have reached
// the server (the canvas presented, then a round trip on Qt's own connection, which the server
// answers only after the requests before it), per frame and as a like-for-like ratio to one
// memcpy of the same frame (like_for_like.h): the goal is 2 or below fitted. At actual size the
// server's own copies under the redirect already cost more than that, so the goal there is the
// presentation against those copies, measured beside it.
// Its frames live in shared memory and the canvas has the application's presenter, as in a
// session, so the server reads the pixels where the capture left them. As in a session, a capture
// session runs on a connection of its own meanwhile: every top-level window, the output's
// included, is redirected, and the drawing reported to it is taken as it comes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "capture/protected_output_surface.h"
#include "like_for_like.h"
#include "main/xcb_image_presenter.h"
#include "platform/shared_memory_pixels.h"
#include "platform/x11/capture_session.h"
#include "platform/x11/x_event_pump.h"
#include "platform/x11/xlib.h"
#include "runtime/runtime.h"
#include "share_window/viewport_state.h"
#include "support/x11/xvfb_server.h"

// Xlib's macros clash with Qt's and GoogleTest's names: this comes last.
#include "qt_on_xvfb.h"
#include "ui/protected_share_canvas.h"
#include "ui/qt_main_executor.h"

namespace {

using corvane::capture::ProtectedOutputSurface;
using corvane::platform::PixelBuffer;
using corvane::platform::SharedPixelBuffer;
using corvane::share_window::ProtectedShareSizingMode;
using corvane::share_window::ProtectedShareViewportState;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFramesPerBlock = 8;

// A frame in shared memory, as the capture makes them.
std::shared_ptr<PixelBuffer> sharedFrame() {
  auto buffer = corvane::platform::makeSharedMemoryPixels(kWidth, kHeight);
  return buffer ? buffer : std::make_shared<PixelBuffer>(kWidth, kHeight);
}

std::vector<SharedPixelBuffer> makeFrames() {
  std::vector<SharedPixelBuffer> frames;
  for (std::uint32_t colour : {0xFF204060u, 0xFF604020u}) {
    auto buffer = sharedFrame();
    buffer->fill(colour);
    for (int y = 0; y < kHeight; y += 7) buffer->setPixel((y * 13) % kWidth, y, 0xFFFFFFFF);
    frames.push_back(buffer);
  }
  return frames;
}

// Two frames alike but for one 400×300 area (a window that animates), each saying so of the
// other, so the output redraws that area alone.
std::vector<SharedPixelBuffer> makeFramesChangingInAnArea() {
  const corvane::platform::PixelChanges::Area area{700, 400, 400, 300};
  std::vector<std::shared_ptr<PixelBuffer>> frames;
  for (std::uint32_t colour : {0xFF3060C0u, 0xFFC06030u}) {
    auto buffer = sharedFrame();
    buffer->fill(0xFF204060u);
    for (int y = 0; y < kHeight; y += 7) buffer->setPixel((y * 13) % kWidth, y, 0xFFFFFFFF);
    for (int y = area.y; y < area.y + area.height; ++y)
      for (int x = area.x; x < area.x + area.width; ++x) buffer->setPixel(x, y, colour);
    frames.push_back(buffer);
  }
  frames[0]->setChanges(corvane::platform::PixelChanges{frames[1]->serial(), {area}});
  frames[1]->setChanges(corvane::platform::PixelChanges{frames[0]->serial(), {area}});
  return {frames.begin(), frames.end()};
}

// The ratios' reference on its own: a copy of each of the two frames in turn, as the
// presentation benchmarks draw them (so not from a buffer that stays in the cache).
void BM_MemcpyFrame(benchmark::State& state) {
  const auto frames = makeFrames();
  corvane::bench::FrameCopy copy({frames[1]->data(), frames[0]->data()}, frames[0]->byteCount());
  for (auto _ : state) copy.once();
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(copy.bytes()));
}

// A capture session's hold on the display, without its frames: every top-level window redirected
// and followed (its damage taken as reported), on a thread and connection of its own.
class SessionRedirect {
 public:
  explicit SessionRedirect(const std::string& display) {
    using namespace corvane::platform::x11;
    XEventPump::Callbacks callbacks;
    callbacks.setup = [this](XConnection& connection) {
      auto session = CaptureSession::open(
          connection, std::make_shared<const ApplicationIdentityResolver>(
                          std::make_shared<const corvane::platform::DesktopEntryIndex>()));
      if (!session) return corvane::runtime::Status(session.error());
      session_ = std::move(session).value();
      return corvane::runtime::Status::success();
    };
    callbacks.event = [this](XEvent& event) {
      if (session_) session_->handle(event);
    };
    callbacks.teardown = [this] { session_.reset(); };
    status_ = pump_.startAndWait(display, std::move(callbacks), 10, "The X server did not answer.");
  }
  ~SessionRedirect() { pump_.stop(); }
  const corvane::runtime::Status& status() const { return status_; }

 private:
  std::unique_ptr<corvane::platform::x11::CaptureSession> session_;
  corvane::platform::x11::XEventPump pump_;
  corvane::runtime::Status status_ = corvane::runtime::Status::success();
};

// Returns once the X server has handled every request Qt sent before (a round trip).
void waitForServer() {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 != nullptr) XSync(x11->display(), False);
}

// The X server's own share of a presentation: a bare window at `x`, redirected like every other,
// receives a whole image from shared memory (the image the canvas puts: the frame itself at actual
// size, the scaled frame when fitted), then a round trip. The server copies the image into the
// window's pixmap and, with the redirect, that pixmap onto the screen; nothing else runs, so no
// presentation of that many pixels can cost less.
class WholeImagePuts {
 public:
  WholeImagePuts(std::vector<SharedPixelBuffer> images, int x) : images_(std::move(images)) {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || images_.size() != 2) return;
    for (const auto& image : images_) {
      if (!image->sharedMemory()) return;
    }
    display_ = x11->display();
    width_ = static_cast<unsigned>(images_[0]->width());
    height_ = static_cast<unsigned>(images_[0]->height());
    window_ =
        XCreateSimpleWindow(display_, DefaultRootWindow(display_), x, 0, width_, height_, 0, 0, 0);
    XMapWindow(display_, window_);
    gc_ = XCreateGC(display_, window_, 0, nullptr);
    segments_.resize(images_.size());
    for (std::size_t i = 0; i < images_.size(); ++i) {
      segments_[i].shmid = images_[i]->sharedMemory()->id;
      segments_[i].shmaddr = const_cast<char*>(reinterpret_cast<const char*>(images_[i]->data()));
      segments_[i].readOnly = True;
      XShmAttach(display_, &segments_[i]);
      shared_.push_back(XShmCreateImage(display_, DefaultVisual(display_, DefaultScreen(display_)),
                                        static_cast<unsigned>(DefaultDepth(display_, 0)), ZPixmap,
                                        segments_[i].shmaddr, &segments_[i], width_, height_));
    }
    XSync(display_, False);
  }
  ~WholeImagePuts() {
    if (display_ == nullptr) return;
    for (std::size_t i = 0; i < shared_.size(); ++i) {
      XShmDetach(display_, &segments_[i]);
      shared_[i]->data = nullptr;
      XDestroyImage(shared_[i]);
    }
    XFreeGC(display_, gc_);
    XDestroyWindow(display_, window_);
    XSync(display_, False);
  }
  WholeImagePuts(const WholeImagePuts&) = delete;
  WholeImagePuts& operator=(const WholeImagePuts&) = delete;

  bool ok() const { return display_ != nullptr; }
  void once() {
    turn_ = 1 - turn_;
    XShmPutImage(display_, window_, gc_, shared_[turn_], 0, 0, 0, 0, width_, height_, False);
    XSync(display_, False);
  }

 private:
  std::vector<SharedPixelBuffer> images_;
  Display* display_ = nullptr;
  Window window_ = 0;
  GC gc_ = nullptr;
  unsigned width_ = 0;
  unsigned height_ = 0;
  std::vector<XShmSegmentInfo> segments_;
  std::vector<XImage*> shared_;
  std::size_t turn_ = 0;
};

// Surface update → coalesced redraw on the main actor → canvas paint → presentation reported →
// the pixels on the X server.
// What a presentation is measured against, like for like.
enum class Reference {
  copyOfTheFrame,  // one memcpy of the frame
  serverCopies,    // the X server's own copies of the frame, put whole into a bare window beside
};

void presentFrames(benchmark::State& state, QSize canvasSize, ProtectedShareSizingMode mode,
                   const std::vector<SharedPixelBuffer>& frames = makeFrames(),
                   Reference reference = Reference::copyOfTheFrame) {
  corvane::ui::QtMainExecutor executor;
  corvane::runtime::ScopedRuntime runtime(
      corvane::runtime::RuntimeServices{&executor, corvane::runtime::threadQueueFactory()});
  auto surface = std::make_shared<ProtectedOutputSurface>();
  SessionRedirect redirect(qgetenv("DISPLAY").toStdString());
  if (!redirect.status()) {
    state.SkipWithError(redirect.status().message().c_str());
    return;
  }
  corvane::ui::ProtectedShareCanvas canvas(surface, corvane::wiring::makeXcbImagePresenter());
  canvas.resize(canvasSize);
  ProtectedShareViewportState viewport;
  viewport.sizingMode = mode;
  viewport.pixelSize = {kWidth, kHeight};
  canvas.setViewport(viewport);
  canvas.setDrawsOutput(true);
  canvas.move(0, 0);
  canvas.show();
  while (canvas.windowHandle() == nullptr || !canvas.windowHandle()->isExposed()) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  waitForServer();

  // The reference copies the very frames the canvas draws, in the same turn: in memory, or
  // through the server into a window beside the canvas (not over it, where it would spare the
  // server the canvas's copy to the screen).
  corvane::bench::FrameCopy copy({frames[1]->data(), frames[0]->data()}, frames[0]->byteCount());
  std::optional<WholeImagePuts> puts;
  if (reference == Reference::serverCopies) {
    puts.emplace(frames, canvasSize.width());
    if (!puts->ok()) {
      state.SkipWithError("no shared memory");
      return;
    }
  }
  corvane::bench::LikeForLikeRatio ratio =
      puts ? corvane::bench::LikeForLikeRatio(
                 state, "server_copies", [&] { puts->once(); }, kFramesPerBlock)
           : corvane::bench::LikeForLikeRatio(
                 state, "memcpy", [&] { copy.once(); }, kFramesPerBlock);
  std::uint64_t sequence = 1;
  for (auto _ : state) {
    surface->update(frames[sequence % frames.size()], sequence);
    ++sequence;
    const auto revision = surface->revision();
    while (canvas.lastPresentedRevision() != revision) {
      QApplication::processEvents(QEventLoop::AllEvents);
    }
    waitForServer();
    ratio.unitDone();
  }
  ratio.report("frame");
  state.counters["presented"] = surface->presentationStats().completedFrames;
}

void BM_PresentActualSize1080p(benchmark::State& state) {
  presentFrames(state, QSize(kWidth, kHeight), ProtectedShareSizingMode::actual);
}

// At actual size under the redirect the server copies each frame twice, into the window's pixmap
// and onto the screen, which alone costs more than two copies of the frame: the goal is what the
// output adds to those copies.
void BM_PresentActualSize1080pOverServerCopies(benchmark::State& state) {
  presentFrames(state, QSize(kWidth, kHeight), ProtectedShareSizingMode::actual, makeFrames(),
                Reference::serverCopies);
}

void BM_PresentFit1080pInto1280x720(benchmark::State& state) {
  presentFrames(state, QSize(1280, 720), ProtectedShareSizingMode::fit);
}

// Not a goal: what the output costs when a frame says only a 400×300 area changed.
void BM_PresentChangedArea1080p(benchmark::State& state) {
  presentFrames(state, QSize(kWidth, kHeight), ProtectedShareSizingMode::actual,
                makeFramesChangingInAnArea());
}

// Not a goal: the server's copies alone, against a copy of the frame.
void putWholeImages(benchmark::State& state, int width, int height) {
  const auto frames = makeFrames();
  std::vector<SharedPixelBuffer> images = frames;
  if (width != kWidth || height != kHeight) {
    images.clear();
    for (std::uint32_t colour : {0xFF204060u, 0xFF604020u}) {
      auto image = corvane::platform::makeSharedMemoryPixels(width, height);
      if (!image) break;
      image->fill(colour);
      images.push_back(image);
    }
  }
  SessionRedirect redirect(qgetenv("DISPLAY").toStdString());
  WholeImagePuts puts(images, 0);
  if (!redirect.status() || !puts.ok()) {
    state.SkipWithError("no redirect or no shared memory");
    return;
  }
  corvane::bench::FrameCopy copy({frames[1]->data(), frames[0]->data()}, frames[0]->byteCount());
  corvane::bench::LikeForLikeRatio ratio(
      state, "memcpy", [&] { copy.once(); }, kFramesPerBlock);
  for (auto _ : state) {
    puts.once();
    ratio.unitDone();
  }
  ratio.report("frame");
}

void BM_ServerCopiesOfActualSize1080p(benchmark::State& state) {
  putWholeImages(state, kWidth, kHeight);
}

void BM_ServerCopiesOfFit1080pInto1280x720(benchmark::State& state) {
  putWholeImages(state, 1280, 720);
}

BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentActualSize1080p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PresentActualSize1080pOverServerCopies)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PresentFit1080pInto1280x720)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PresentChangedArea1080p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ServerCopiesOfActualSize1080p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ServerCopiesOfFit1080pInto1280x720)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Wide enough for the canvas at actual size and a bare window of its size beside it.
  return corvane::bench::runOnPrivateXServer(argc, argv, 3840, 1440);
}
