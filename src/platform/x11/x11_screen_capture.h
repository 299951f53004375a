#pragma once

#include <memory>
#include <string>

#include "platform/screen_capture.h"
#include "platform/x11/application_identity.h"
#include "platform/x11/lasting_redirect.h"
#include "platform/x11/x11_capture_stream.h"

namespace corvane::platform::x11 {

// Screen capture of an X display: filtered streams, one-off filtered images and the list of
// what can be captured. Every call returns at once; the work runs on threads with connections
// of their own.
class X11ScreenCapture final : public ScreenCapture {
 public:
  // `displayName` empty means $DISPLAY. Windows of `ownProcess` are always left out.
  explicit X11ScreenCapture(std::string displayName = {},
                            std::shared_ptr<const ApplicationIdentityResolver> identities = {},
                            std::int32_t ownProcess = -1);

  void shareableContent(std::function<void(runtime::Result<ShareableContent>)> completion) override;
  std::shared_ptr<CaptureStream> makeStream(
      ContentFilter filter, StreamConfiguration configuration, StreamOutput output,
      std::shared_ptr<runtime::SerialQueue> sampleQueue) override;
  // Waits up to `repaintWait` seconds for freshly redirected windows to repaint; windows that
  // have not by then show the neutral fill.
  void captureImage(ContentFilter filter, StreamConfiguration configuration,
                    std::function<void(runtime::Result<SharedPixelBuffer>)> completion) override;

  std::optional<std::string> applicationIndexPollingReason() const override {
    return identities_->entriesPollingReason();
  }

  void setRepaintWait(double seconds) { repaintWait_ = seconds; }
  // How long a stream or an image waits on a server that does not answer before it stops with
  // an error (by default: a stream X11CaptureStream::kDefaultStallLimit, an image
  // kImageStallLimit, whose caller has its own time limit).
  void setStallLimit(double seconds) { stallLimit_ = imageStallLimit_ = seconds; }
  static constexpr double kImageStallLimit = 4.0;
  const std::shared_ptr<const ApplicationIdentityResolver>& identities() const {
    return identities_;
  }

 private:
  std::string displayName_;
  std::shared_ptr<const ApplicationIdentityResolver> identities_;
  std::int32_t ownProcess_;
  // Held by the streams: the windows stay redirected from the first stream of a share to the end
  // of its last.
  std::shared_ptr<LastingRedirects> redirects_;
  double repaintWait_ = 0.5;
  double stallLimit_ = X11CaptureStream::kDefaultStallLimit;
  double imageStallLimit_ = kImageStallLimit;
};

// The resolver over the application directories of this session, kept current as they change.
std::shared_ptr<const ApplicationIdentityResolver> makeDefaultIdentityResolver();

}  // namespace corvane::platform::x11
