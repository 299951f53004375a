#include "platform/sim/sim_capture_stream.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_scripted_operation.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"

namespace corvane::platform::sim {
namespace {

constexpr double kShortestFrameInterval = 0.001;
constexpr double kDefaultFrameInterval = 1.0 / 60.0;

// A zero, negative or non-finite interval would make the frame timer spin.
double usableInterval(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0) return kDefaultFrameInterval;
  return std::max(seconds, kShortestFrameInterval);
}

runtime::Status desktopGone() {
  return runtime::Status::failure("The capture service is no longer available.");
}

}  // namespace

SimCaptureStream::SimCaptureStream(std::weak_ptr<SimDesktop> desktop, ContentFilter filter,
                                   StreamConfiguration configuration, StreamOutput output,
                                   std::shared_ptr<runtime::SerialQueue> sampleQueue)
    : desktop_(std::move(desktop)),
      output_(std::move(output)),
      sampleQueue_(sampleQueue ? std::move(sampleQueue)
                               : runtime::makeSerialQueue("corvane.sim.capture-samples")),
      filter_(std::move(filter)),
      configuration_(configuration) {}

std::shared_ptr<SimDesktop> SimCaptureStream::desktopCounting(int SimCaptureCounters::*counter,
                                                              Completion& completion) {
  auto desktop = desktop_.lock();
  if (!desktop) {
    if (completion) completion(desktopGone());
    return nullptr;
  }
  desktop->count(counter);
  return desktop;
}

void SimCaptureStream::answer(const SimOperationScript& script, Completion completion,
                              std::function<runtime::Status(SimCaptureStream&)> effect) {
  std::weak_ptr<SimCaptureStream> weak = weak_from_this();
  completeAsScripted<runtime::Status>(
      script, std::move(completion), [weak, effect = std::move(effect)]() -> runtime::Status {
        auto self = weak.lock();
        if (!self) return runtime::Status::failure("The stream was released.");
        return effect(*self);
      });
}

void SimCaptureStream::startCapture(Completion completion) {
  auto desktop = desktopCounting(&SimCaptureCounters::startRequests, completion);
  if (!desktop) return;
  std::uint64_t lifecycle;
  {
    std::lock_guard lock(mutex_);
    startRequested_ = true;
    lifecycle = lifecycle_;
  }
  answer(desktop->captureScript().start, std::move(completion),
         [lifecycle](SimCaptureStream& self) { return self.beginRunning(lifecycle); });
}

runtime::Status SimCaptureStream::beginRunning(std::uint64_t lifecycle) {
  auto desktop = desktop_.lock();
  if (!desktop) return desktopGone();
  if (auto allowed = desktop->captureAllowed(); !allowed) return allowed;
  ContentFilter filter;
  {
    std::lock_guard lock(mutex_);
    if (lifecycle != lifecycle_) {
      return runtime::Status::failure("The stream was stopped before it started.");
    }
    if (running_) return runtime::Status::failure("The stream is already capturing.");
    filter = filter_;
  }
  if (!desktop->screen(filter.displayID)) {
    return runtime::Status::failure("Display " + std::to_string(filter.displayID) +
                                    " is not connected.");
  }
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    lastFingerprint_.reset();
  }
  scheduleFrame(lifecycle);
  return runtime::Status::success();
}

void SimCaptureStream::stopCapture(Completion completion) {
  auto desktop = desktopCounting(&SimCaptureCounters::stopRequests, completion);
  if (!desktop) return;
  answer(desktop->captureScript().stop, std::move(completion),
         [](SimCaptureStream& self) { return self.endRunning(); });
}

runtime::Status SimCaptureStream::endRunning() {
  std::lock_guard lock(mutex_);
  if (!running_ && !startRequested_) {
    return runtime::Status::failure("The stream is not capturing.");
  }
  running_ = false;
  startRequested_ = false;
  ++lifecycle_;
  return runtime::Status::success();
}

void SimCaptureStream::updateContentFilter(ContentFilter filter, Completion completion) {
  auto desktop = desktopCounting(&SimCaptureCounters::filterUpdates, completion);
  if (!desktop) return;
  std::uint64_t request;
  {
    std::lock_guard lock(mutex_);
    request = ++filterRequests_;
  }
  const SimCaptureScript& script = desktop->captureScript();
  const bool appliesOnCompletion = !script.filterNeverApplies && !script.filterApplyDelay;
  if (!script.filterNeverApplies && script.filterApplyDelay) {
    runtime::postToMainAfter(
        *script.filterApplyDelay, weak_from_this(),
        [request, filter](SimCaptureStream& self) { self.applyFilter(request, filter); });
  }
  answer(script.filterUpdate, std::move(completion),
         [request, filter = std::move(filter), appliesOnCompletion](SimCaptureStream& self) {
           if (appliesOnCompletion) self.applyFilter(request, filter);
           return runtime::Status::success();
         });
}

void SimCaptureStream::applyFilter(std::uint64_t request, ContentFilter filter) {
  std::lock_guard lock(mutex_);
  if (request <= filterApplied_) return;
  filterApplied_ = request;
  filter_ = std::move(filter);
}

void SimCaptureStream::updateConfiguration(StreamConfiguration configuration,
                                           Completion completion) {
  auto desktop = desktopCounting(&SimCaptureCounters::configurationUpdates, completion);
  if (!desktop) return;
  answer(desktop->captureScript().configurationUpdate, std::move(completion),
         [configuration](SimCaptureStream& self) {
           std::lock_guard lock(self.mutex_);
           self.configuration_ = configuration;
           ++self.configurationVersion_;
           return runtime::Status::success();
         });
}

void SimCaptureStream::requestFrame() {
  if (auto desktop = desktop_.lock()) desktop->count(&SimCaptureCounters::frameRequests);
}

bool SimCaptureStream::isRunning() const {
  std::lock_guard lock(mutex_);
  return running_;
}

ContentFilter SimCaptureStream::filterInForce() const {
  std::lock_guard lock(mutex_);
  return filter_;
}

StreamConfiguration SimCaptureStream::configuration() const {
  std::lock_guard lock(mutex_);
  return configuration_;
}

int SimCaptureStream::samplesSent() const {
  std::lock_guard lock(mutex_);
  return samplesSent_;
}

void SimCaptureStream::failWithError(const std::string& message) {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    running_ = false;
    startRequested_ = false;
    ++lifecycle_;
  }
  if (!output_.onStopWithError) return;
  sampleQueue_->post(
      [onStop = output_.onStopWithError, error = runtime::Error{message}] { onStop(error); });
}

void SimCaptureStream::scheduleFrame(std::uint64_t lifecycle) {
  double interval;
  {
    std::lock_guard lock(mutex_);
    interval = usableInterval(configuration_.minimumFrameInterval);
  }
  runtime::postToMainAfter(interval, weak_from_this(),
                           [lifecycle](SimCaptureStream& self) { self.produceFrame(lifecycle); });
}

void SimCaptureStream::produceFrame(std::uint64_t lifecycle) {
  ContentFilter filter;
  StreamConfiguration configuration;
  std::uint64_t filterVersion;
  std::uint64_t configurationVersion;
  {
    std::lock_guard lock(mutex_);
    if (lifecycle != lifecycle_ || !running_) return;
    filter = filter_;
    configuration = configuration_;
    filterVersion = filterApplied_;
    configurationVersion = configurationVersion_;
  }
  auto desktop = desktop_.lock();
  if (!desktop) return;
  scheduleFrame(lifecycle);

  const SimCaptureScript script = desktop->captureScript();
  if (script.stalled) return;
  if (script.frameTiming == SimFrameTiming::onChange) {
    // Nothing changed since the last frame: not even worth composing.
    const Fingerprint unchanged{desktop->revision(), filterVersion, configurationVersion};
    std::lock_guard lock(mutex_);
    if (lastFingerprint_ == unchanged) return;
  }
  auto composition = desktop->composeForStream(filter, configuration);
  if (!composition) {
    // The display went away (or the size became unusable): the stream ends, failing closed.
    failWithError(composition.message());
    return;
  }
  const Fingerprint fingerprint{composition->revision, filterVersion, configurationVersion};
  {
    std::lock_guard lock(mutex_);
    if (script.frameTiming == SimFrameTiming::onChange && lastFingerprint_ == fingerprint) return;
    lastFingerprint_ = fingerprint;
    ++samplesSent_;
  }
  desktop->count(&SimCaptureCounters::samplesComposed);

  CapturedSample sample;
  if (!script.samplesWithoutPixels) sample.pixels = std::move(composition.value().frame);
  sample.presentationTime = runtime::uptime();
  sample.status = script.sampleStatus;
  sample.valid = !script.samplesInvalid;
  deliver(std::move(sample), script.deliveryDelay);
}

void SimCaptureStream::deliver(CapturedSample sample, double delay) {
  if (!output_.onSample) return;
  runtime::Job job = [onSample = output_.onSample, sample = std::move(sample)] {
    onSample(sample);
  };
  if (delay > 0) {
    runtime::mainExecutor().postAfter(
        delay, [queue = sampleQueue_, job = std::move(job)] { queue->post(job); });
  } else {
    sampleQueue_->post(std::move(job));
  }
}

}  // namespace corvane::platform::sim
