#include "platform/x11/capture_session.h"

#include "platform/x11/x_event_pump.h"
#include "platform/x11/xlib.h"

namespace corvane::platform::x11 {
namespace {

runtime::Status missing(const char* extension) {
  return runtime::Status::failure(std::string("The X server lacks the ") + extension +
                                  " extension needed for Protected Share capture.");
}

}  // namespace

runtime::Result<std::unique_ptr<CaptureSession>> CaptureSession::open(
    XConnection& connection, std::shared_ptr<const ApplicationIdentityResolver> identities) {
  Display* display = connection.display();
  int eventBase = 0, errorBase = 0;
  int major = 0, minor = 0;
  if (!XCompositeQueryExtension(display, &eventBase, &errorBase))
    return missing("Composite").error();
  major = 0;
  minor = 2;
  if (!XCompositeQueryVersion(display, &major, &minor) || (major == 0 && minor < 2)) {
    return missing("Composite 0.2").error();
  }
  if (!XRenderQueryExtension(display, &eventBase, &errorBase)) return missing("RENDER").error();
  int damageEventBase = 0;
  if (!XDamageQueryExtension(display, &damageEventBase, &errorBase)) {
    return missing("DAMAGE").error();
  }
  major = 1;
  minor = 1;
  XDamageQueryVersion(display, &major, &minor);
  if (!XFixesQueryExtension(display, &eventBase, &errorBase)) return missing("XFIXES").error();
  major = 4;
  minor = 0;
  XFixesQueryVersion(display, &major, &minor);
  if (!hasExtension(display, "MIT-SHM")) return missing("MIT-SHM").error();
  int shapeEventBase = -1;
  if (!XShapeQueryExtension(display, &shapeEventBase, &errorBase)) shapeEventBase = -1;
  int randrEventBase = -1;
  if (!XRRQueryExtension(display, &randrEventBase, &errorBase)) randrEventBase = -1;

  std::unique_ptr<CaptureSession> session(new CaptureSession(
      connection, damageEventBase, shapeEventBase, randrEventBase, std::move(identities)));
  auto composer = FrameComposer::create(display, session->atoms_.rootPixmap);
  if (!composer) return composer.error();
  session->composer_ = std::move(composer).value();
  session->monitors_ = readMonitors(display);
  if (randrEventBase >= 0) {
    XRRSelectInput(display, connection.root(), RRScreenChangeNotifyMask);
  }
  {
    ErrorTrap trap(display);
    XCompositeRedirectSubwindows(display, connection.root(), CompositeRedirectAutomatic);
    if (!trap.sync()) {
      return runtime::Error{"The X server refused to redirect the windows for capture."};
    }
    session->redirected_ = true;
  }
  if (auto status = session->model_->load(); !status) return status.error();
  return session;
}

CaptureSession::CaptureSession(XConnection& connection, int damageEventBase, int shapeEventBase,
                               int randrEventBase,
                               std::shared_ptr<const ApplicationIdentityResolver> identities)
    : connection_(connection),
      atoms_(connection.display()),
      randrEventBase_(randrEventBase),
      model_(std::make_unique<WindowModel>(connection.display(), atoms_, damageEventBase,
                                           shapeEventBase, std::move(identities))) {}

CaptureSession::~CaptureSession() {
  if (connection_.isLost()) {
    abandon();
    return;
  }
  model_.reset();
  composer_.reset();
  if (redirected_) {
    ErrorTrap trap(connection_.display());
    XCompositeUnredirectSubwindows(connection_.display(), connection_.root(),
                                   CompositeRedirectAutomatic);
    XSync(connection_.display(), False);
  }
}

void CaptureSession::abandon() {
  assertEventPumpThread(connection_);
  if (model_) model_->abandon();
  if (composer_) composer_->abandon();
  redirected_ = false;
}

bool CaptureSession::handle(const XEvent& event) {
  assertEventPumpThread(connection_);
  if (randrEventBase_ >= 0 && event.type == randrEventBase_ + RRScreenChangeNotify) {
    XRRUpdateConfiguration(const_cast<XEvent*>(&event));
    monitors_ = readMonitors(connection_.display());
    model_->markAllChanged();
    return true;
  }
  if (!model_->handle(event)) return false;
  if (event.type != model_->damageEventType()) return true;
  return !leftOut_.contains(reinterpret_cast<const XDamageNotifyEvent&>(event).drawable);
}

runtime::Result<CaptureArea> CaptureSession::areaFor(std::uint32_t displayID) const {
  assertEventPumpThread(connection_);
  auto matching = monitorsMatching(monitors_, displayID);
  if (matching.empty()) {
    return runtime::Error{"Display " + std::to_string(displayID) + " is not connected."};
  }
  const auto& monitor = matching.front();
  return CaptureArea{monitor.x, monitor.y, monitor.width, monitor.height};
}

runtime::Result<SharedPixelBuffer> CaptureSession::compose(const ContentFilter& filter,
                                                           const StreamConfiguration& configuration,
                                                           std::int32_t ownProcess,
                                                           FrameComposer::Extent extent) {
  assertEventPumpThread(connection_);
  auto area = areaFor(filter.displayID);
  if (!area) return area.error();
  // What takes round trips of its own (the windows made since the last frame, their trees and
  // names, their new pixmaps) is settled first. The server is never held: what changes while
  // the frame is composed leaves it a moment behind at worst, unless the changes queued once it
  // is read say it may hold what it must not (WindowModel::queuedChanges).
  model_->settle();
  model_->refreshIdentities();
  // A window that windows of another client kept coming into or moving inside stays left out
  // until a frame's time passes without that.
  const std::set<Window> arrived = model_->takeForeignArrivals();
  std::erase_if(unsettled_, [&](Window window) { return arrived.count(window) == 0; });
  leftOut_ = model_->excludedWindows(filter, ownProcess);
  leftOut_.insert(unsettled_.begin(), unsettled_.end());
  auto frame = composer_->compose(*model_, leftOut_, *area, configuration.width,
                                  configuration.height, extent);
  const auto queued = model_->queuedChanges(leftOut_);
  bool outdated = queued.outdateEveryFrame;
  for (Window window : queued.foreignArrivals) {
    const TrackedWindow* top = model_->find(window);
    if (top == nullptr || !top->isVisible()) continue;
    outdated |= leftOut_.count(window) == 0;
    unsettled_.insert(window);
  }
  if (frame && outdated) {
    composer_->distrustLastFrame();
    return runtime::Error{"The windows changed while the frame was being composed."};
  }
  return frame;
}

bool CaptureSession::anyWindowAwaitingRepaint() {
  assertEventPumpThread(connection_);
  model_->settle();
  for (const TrackedWindow* window : model_->stacking()) {
    if (window->isVisible() && window->awaitingRepaint()) return true;
  }
  return false;
}

}  // namespace corvane::platform::x11
