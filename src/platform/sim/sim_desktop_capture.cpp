// The simulated desktop's capture service and the frame checks that go with it.
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/sim/sim_capture_stream.h"
#include "platform/sim/sim_composer.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_frame_checks.h"
#include "platform/sim/sim_scripted_operation.h"

namespace corvane::platform::sim {
namespace {

ShareableApplication shareable(const RunningApplication& app) {
  return ShareableApplication{app.bundleIdentifier, app.localizedName, app.processIdentifier};
}

ShareableContent shareableContentOf(const SimDesktopState& state) {
  ShareableContent content;
  for (const Screen& display : state.displays) {
    content.displays.push_back(ShareableDisplay{
        display.displayID, display.frame,
        static_cast<int>(std::lround(display.frame.width() * display.backingScaleFactor)),
        static_cast<int>(std::lround(display.frame.height() * display.backingScaleFactor))});
  }
  for (const SimApplication& app : state.applications) {
    content.applications.push_back(shareable(app.info));
  }
  // Topmost first, like the window lists of a real desktop: this application's windows lie above
  // every other.
  for (auto it = state.ownWindows.rbegin(); it != state.ownWindows.rend(); ++it) {
    const SimApplication* app = state.application(it->ownerProcessID);
    if (it->ownerProcessID <= 0 || app == nullptr) continue;
    ShareableWindow window;
    window.windowID = it->windowID;
    window.owningApplication = shareable(app->info);
    window.frame = it->frame;
    window.isOnScreen = true;
    content.windows.push_back(std::move(window));
  }
  for (auto it = state.windows.rbegin(); it != state.windows.rend(); ++it) {
    ShareableWindow window;
    window.windowID = it->id;
    if (const SimApplication* app = state.application(it->ownerProcessID)) {
      window.owningApplication = shareable(app->info);
    }
    window.title = it->title;
    window.frame = it->frame;
    window.isOnScreen = state.isOnScreen(*it);
    window.isDesktopWindow = it->kind == SimWindowKind::desktopIcons;
    window.desktop = it->desktop;
    content.windows.push_back(std::move(window));
  }
  return content;
}

}  // namespace

runtime::Status SimDesktop::captureAllowed() const {
  std::lock_guard lock(mutex_);
  if (screenCaptureAllowed_) return runtime::Status::success();
  return runtime::Status::failure(denialReason_);
}

void SimDesktop::count(int SimCaptureCounters::*counter) {
  std::lock_guard lock(mutex_);
  ++(counters_.*counter);
}

SimCaptureCounters SimDesktop::captureCounters() const {
  std::lock_guard lock(mutex_);
  return counters_;
}

void SimDesktop::shareableContent(
    std::function<void(runtime::Result<ShareableContent>)> completion) {
  count(&SimCaptureCounters::shareableContentRequests);
  std::weak_ptr<SimDesktop> weak = weak_from_this();
  completeAsScripted<runtime::Result<ShareableContent>>(
      captureScript_.shareableContent, std::move(completion),
      [weak]() -> runtime::Result<ShareableContent> {
        auto self = weak.lock();
        if (!self) return runtime::Error{"The capture service is no longer available."};
        if (auto allowed = self->captureAllowed(); !allowed) return allowed.error();
        std::lock_guard lock(self->mutex_);
        return shareableContentOf(self->state_);
      });
}

std::shared_ptr<CaptureStream> SimDesktop::makeStream(
    ContentFilter filter, StreamConfiguration configuration, StreamOutput output,
    std::shared_ptr<runtime::SerialQueue> sampleQueue) {
  return makeSimStream(std::move(filter), configuration, std::move(output), std::move(sampleQueue));
}

std::shared_ptr<SimCaptureStream> SimDesktop::makeSimStream(
    ContentFilter filter, StreamConfiguration configuration, StreamOutput output,
    std::shared_ptr<runtime::SerialQueue> sampleQueue) {
  auto stream =
      std::make_shared<SimCaptureStream>(weak_from_this(), std::move(filter), configuration,
                                         std::move(output), std::move(sampleQueue));
  std::lock_guard lock(mutex_);
  ++counters_.streamsMade;
  std::erase_if(streams_, [](const auto& weak) { return weak.expired(); });
  streams_.push_back(stream);
  return stream;
}

void SimDesktop::captureImage(ContentFilter filter, StreamConfiguration configuration,
                              std::function<void(runtime::Result<SharedPixelBuffer>)> completion) {
  count(&SimCaptureCounters::screenshots);
  std::weak_ptr<SimDesktop> weak = weak_from_this();
  completeAsScripted<runtime::Result<SharedPixelBuffer>>(
      captureScript_.screenshot, std::move(completion),
      [weak, filter = std::move(filter), configuration]() -> runtime::Result<SharedPixelBuffer> {
        auto self = weak.lock();
        if (!self) return runtime::Error{"The capture service is no longer available."};
        auto composition = self->composeForStream(filter, configuration);
        if (!composition) return composition.error();
        return SharedPixelBuffer(std::move(composition.value().frame));
      });
}

runtime::Result<SimDesktop::Composition> SimDesktop::composeForStream(
    const ContentFilter& filter, const StreamConfiguration& configuration) const {
  if (auto allowed = captureAllowed(); !allowed) return allowed.error();
  std::lock_guard lock(mutex_);
  auto frame = composeFrame(state_, filter, configuration.width, configuration.height,
                            configuration.showsCursor, captureScript_.applicationMatching);
  if (!frame) return frame.error();
  return Composition{std::move(frame.value()), state_.revision};
}

runtime::Result<std::shared_ptr<PixelBuffer>> SimDesktop::composeNow(const ContentFilter& filter,
                                                                     int width, int height,
                                                                     bool showsCursor) const {
  std::lock_guard lock(mutex_);
  return composeFrame(state_, filter, width, height, showsCursor);
}

std::vector<std::shared_ptr<SimCaptureStream>> SimDesktop::liveStreams() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<SimCaptureStream>> live;
  for (const auto& weak : streams_) {
    if (auto stream = weak.lock()) live.push_back(std::move(stream));
  }
  return live;
}

void SimDesktop::stopStreamsWithError(const std::string& message) {
  for (const auto& stream : liveStreams()) stream->failWithError(message);
}

// ---- Frame inspection

std::set<std::uint32_t> SimDesktop::windowsInFrame(const PixelBuffer& frame) const {
  return windowIdsInFrame(frame);
}

bool SimDesktop::frameContainsWindow(const PixelBuffer& frame, std::uint32_t windowID) const {
  return frameHasWindowPixel(frame, [&](std::uint32_t id) { return id == windowID; });
}

bool SimDesktop::frameContainsPixelsOf(const PixelBuffer& frame,
                                       const std::string& bundleIdentifier) const {
  std::map<std::uint32_t, SimWindowOwner> owners;
  {
    std::lock_guard lock(mutex_);
    owners = windowOwners_;
  }
  return frameHasWindowPixel(frame, [&](std::uint32_t id) {
    auto it = owners.find(id);
    return it != owners.end() && it->second.bundleIdentifier == bundleIdentifier;
  });
}

bool SimDesktop::frameIsUnfiltered(const PixelBuffer& frame, const ContentFilter& filter) const {
  std::map<std::uint32_t, SimWindowOwner> owners;
  {
    std::lock_guard lock(mutex_);
    owners = windowOwners_;
  }
  return frameHasWindowPixel(frame, [&](std::uint32_t id) {
    auto it = owners.find(id);
    return it != owners.end() && filterLeavesOut(filter, id, it->second);
  });
}

}  // namespace corvane::platform::sim
