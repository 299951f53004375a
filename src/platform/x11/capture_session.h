#pragma once

#include "platform/x11/xlib.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/pixel_buffer.h"
#include "platform/screen_capture.h"
#include "platform/x11/application_identity.h"
#include "platform/x11/frame_composer.h"
#include "platform/x11/monitors.h"
#include "platform/x11/window_model.h"
#include "platform/x11/x_atoms.h"
#include "platform/x11/x_connection.h"
#include "runtime/result.h"

namespace corvane::platform::x11 {

// Everything one capture needs on its connection: the redirect of every top-level window for
// the session, the window model kept up to date by events, and the composer. Lives on the
// thread that owns the connection (an event pump's), and checks that it is called there.
class CaptureSession {
 public:
  // Refuses, naming the extension, when the server lacks Composite, RENDER, DAMAGE, XFIXES or
  // MIT-SHM; fails when the window tree cannot be read.
  static runtime::Result<std::unique_ptr<CaptureSession>> open(
      XConnection& connection, std::shared_ptr<const ApplicationIdentityResolver> identities);
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // Applies one event; true when the picture may have changed. What a window the last frame left
  // out draws changes nothing in the picture (the share window showing a frame, say, would
  // otherwise ask for the next frame, and so on for ever).
  bool handle(const XEvent& event);
  // The area of the display the filter names; an error when it is not connected.
  runtime::Result<CaptureArea> areaFor(std::uint32_t displayID) const;
  // A frame, composed again only where the windows changed since the last one unless `extent`
  // asks for all of it.
  runtime::Result<SharedPixelBuffer> compose(
      const ContentFilter& filter, const StreamConfiguration& configuration,
      std::int32_t ownProcess, FrameComposer::Extent extent = FrameComposer::Extent::changes);
  // Whether windows are left out only until what moves inside them settles: another frame is due
  // soon, even when nothing else changes.
  bool leavesOutUnsettledWindows() const { return !unsettled_.empty(); }
  // True while some visible window has not repainted all of its pixmap since it was made.
  bool anyWindowAwaitingRepaint();
  WindowModel& model() { return *model_; }
  bool connectionLost() const { return connection_.isLost(); }
  // After a lost connection: drop everything without talking to the server.
  void abandon();

 private:
  CaptureSession(XConnection& connection, int damageEventBase, int shapeEventBase,
                 int randrEventBase, std::shared_ptr<const ApplicationIdentityResolver> identities);

  XConnection& connection_;
  Atoms atoms_;
  int randrEventBase_;
  std::unique_ptr<WindowModel> model_;
  std::unique_ptr<FrameComposer> composer_;
  std::vector<MonitorInfo> monitors_;
  // The windows the last frame left out.
  std::set<Window> leftOut_;
  // Visible windows that windows of another client came into or moved inside while the last
  // frame was read: left out until that stops.
  std::set<Window> unsettled_;
  bool redirected_ = false;
};

}  // namespace corvane::platform::x11
