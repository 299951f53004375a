#include "platform/x11/x11_screen_capture.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "platform/x11/capture_session.h"
#include "platform/x11/client_windows.h"
#include "platform/x11/monitors.h"
#include "platform/x11/watched_desktop_entries.h"
#include "platform/x11/x11_capture_stream.h"
#include "platform/x11/x_event_pump.h"
#include "runtime/thread_signal_stack.h"

namespace corvane::platform::x11 {

std::shared_ptr<const ApplicationIdentityResolver> makeDefaultIdentityResolver() {
  return std::make_shared<const ApplicationIdentityResolver>(
      std::make_shared<WatchedDesktopEntries>(DesktopEntryIndex::applicationDirectories()));
}

X11ScreenCapture::X11ScreenCapture(std::string displayName,
                                   std::shared_ptr<const ApplicationIdentityResolver> identities,
                                   std::int32_t ownProcess)
    : displayName_(std::move(displayName)),
      identities_(identities ? std::move(identities) : makeDefaultIdentityResolver()),
      ownProcess_(ownProcess < 0 ? static_cast<std::int32_t>(getpid()) : ownProcess),
      redirects_(std::make_shared<LastingRedirects>(displayName_)) {}

void X11ScreenCapture::shareableContent(
    std::function<void(runtime::Result<ShareableContent>)> completion) {
  std::thread([name = displayName_, identities = identities_, completion] {
    runtime::ThreadSignalStack signalStack;
    auto connection = XConnection::open(name);
    if (!connection) {
      completion(connection.error());
      return;
    }
    Display* display = (*connection)->display();
    Atoms atoms(display);
    ShareableContent content;
    for (const auto& monitor : readMonitors(display)) {
      content.displays.push_back(
          ShareableDisplay{monitor.displayID,
                           Rect{{double(monitor.x), double(monitor.y)},
                                {double(monitor.width), double(monitor.height)}},
                           monitor.width, monitor.height});
    }
    std::map<std::pair<std::string, std::int32_t>, bool> seen;
    for (const auto& client : listClientWindows(display, atoms, *identities)) {
      ShareableApplication application{client.identity.id, client.identity.name,
                                       client.identity.processID};
      if (!seen[{application.bundleIdentifier, application.processID}]) {
        seen[{application.bundleIdentifier, application.processID}] = true;
        content.applications.push_back(application);
      }
      ShareableWindow window;
      window.windowID = static_cast<std::uint32_t>(client.id);
      window.owningApplication = application;
      window.title = client.title;
      window.frame =
          Rect{{double(client.x), double(client.y)}, {double(client.width), double(client.height)}};
      window.isOnScreen = client.viewable;
      window.isDesktopWindow = client.isDesktopWindow;
      window.desktop = client.desktop;
      content.windows.push_back(std::move(window));
    }
    const bool lost = (*connection)->isLost();
    connection.value().reset();
    if (lost) {
      completion(runtime::Error{"The connection to the X display was lost."});
    } else {
      completion(std::move(content));
    }
  }).detach();
}

std::shared_ptr<CaptureStream> X11ScreenCapture::makeStream(
    ContentFilter filter, StreamConfiguration configuration, StreamOutput output,
    std::shared_ptr<runtime::SerialQueue> sampleQueue) {
  auto stream = std::make_shared<X11CaptureStream>(displayName_, std::move(filter), configuration,
                                                   std::move(output), std::move(sampleQueue),
                                                   identities_, ownProcess_, redirects_);
  stream->setStallLimit(stallLimit_);
  return stream;
}

namespace {

constexpr double kChangingWindowsGrace = 1.0;

// One image: open a session, let the windows repaint for a moment, compose once.
struct OneShot {
  ContentFilter filter;
  StreamConfiguration configuration;
  std::int32_t ownProcess = 0;
  double deadline = 0;
  std::unique_ptr<CaptureSession> session;
  std::function<void(runtime::Result<SharedPixelBuffer>)> completion;
  std::atomic<bool> done{false};  // finished from the pump's thread or the watchdog's
  XEventPump pump;

  void finish(runtime::Result<SharedPixelBuffer> result) {
    if (done.exchange(true)) return;
    completion(std::move(result));
  }
};

}  // namespace

void X11ScreenCapture::captureImage(
    ContentFilter filter, StreamConfiguration configuration,
    std::function<void(runtime::Result<SharedPixelBuffer>)> completion) {
  auto shot = std::make_shared<OneShot>();
  shot->filter = std::move(filter);
  shot->configuration = configuration;
  shot->ownProcess = ownProcess_;
  shot->completion = std::move(completion);
  shot->deadline = pumpClock() + repaintWait_;
  XEventPump::Callbacks callbacks;
  callbacks.setup = [shot, identities = identities_](XConnection& connection) {
    auto session = CaptureSession::open(connection, identities);
    if (!session) return runtime::Status(session.error());
    shot->session = std::move(session).value();
    return runtime::Status::success();
  };
  callbacks.ready = [shot](runtime::Status status) {
    if (!status) shot->finish(status.error());
  };
  callbacks.event = [shot](XEvent& event) {
    if (shot->session) shot->session->handle(event);
  };
  callbacks.idle = [shot]() -> std::optional<double> {
    if (shot->done) {
      // Given up on while the server was not answering: end once it does.
      shot->pump.requestStop();
      return std::nullopt;
    }
    if (!shot->session) return std::nullopt;
    const double now = pumpClock();
    if (now < shot->deadline && shot->session->anyWindowAwaitingRepaint()) {
      return std::min(0.02, shot->deadline - now);
    }
    auto frame = shot->session->compose(shot->filter, shot->configuration, shot->ownProcess);
    // A frame dropped because the windows were changing is tried again for a while.
    if (!frame && now < shot->deadline + kChangingWindowsGrace) return 0.005;
    shot->finish(std::move(frame));
    shot->pump.requestStop();
    return std::nullopt;
  };
  callbacks.stallLimit = imageStallLimit_;
  // A server that does not answer may not even have let the connection open: give up now.
  callbacks.stalled = [shot] { shot->finish(runtime::Error{"The X server stopped answering."}); };
  callbacks.connectionLost = [shot] {
    if (shot->session) shot->session->abandon();
    shot->session.reset();
    shot->finish(runtime::Error{"The connection to the X display was lost."});
  };
  // The session ends on the pump's thread; the last reference to the shot goes with the
  // callbacks when that thread ends.
  callbacks.teardown = [shot] { shot->session.reset(); };
  shot->pump.start(displayName_, std::move(callbacks));
}

}  // namespace corvane::platform::x11
