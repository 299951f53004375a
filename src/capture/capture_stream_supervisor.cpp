#include "capture/capture_stream_supervisor.h"

#include <utility>

#include "capture/protected_capture_operation.h"
#include "runtime/main_actor.h"

namespace corvane::capture {

std::shared_ptr<CaptureStreamSupervisor> CaptureStreamSupervisor::make(
    std::shared_ptr<platform::ScreenCapture> capture, std::shared_ptr<platform::Screens> screens,
    std::shared_ptr<runtime::SerialQueue> samplesQueue, Sinks sinks) {
  return std::make_shared<CaptureStreamSupervisor>(std::move(capture), std::move(screens),
                                                   std::move(samplesQueue), std::move(sinks));
}

CaptureStreamSupervisor::CaptureStreamSupervisor(std::shared_ptr<platform::ScreenCapture> capture,
                                                 std::shared_ptr<platform::Screens> screens,
                                                 std::shared_ptr<runtime::SerialQueue> samplesQueue,
                                                 Sinks sinks)
    : capture_(std::move(capture)),
      screens_(std::move(screens)),
      samplesQueue_(std::move(samplesQueue)),
      sinks_(std::move(sinks)) {}

CaptureStreamSupervisor::~CaptureStreamSupervisor() {
  if (stream_) stream_->stopCapture([](runtime::Status) {});
}

runtime::Task<std::optional<runtime::Result<platform::ShareableContent>>>
CaptureStreamSupervisor::fetchContent() {
  auto waiter = runtime::awaitCompletion<runtime::Result<platform::ShareableContent>>(
      [capture =
           capture_](std::function<void(runtime::Result<platform::ShareableContent>)> complete) {
        capture->shareableContent(std::move(complete));
      },
      kShareableContentTimeout);
  auto outcome = co_await waiter;
  co_return outcome;
}

std::optional<std::uint32_t> CaptureStreamSupervisor::mainDisplayID() const {
  if (!screens_) return std::nullopt;
  if (auto screen = screens_->mainScreen()) return screen->displayID;
  return std::nullopt;
}

std::optional<platform::ShareableDisplay> CaptureStreamSupervisor::chooseDisplay(
    const platform::ShareableContent& content, std::optional<std::uint32_t> selected) const {
  return chooseCaptureDisplay(
      content, selected, activeDisplay_ ? std::optional(activeDisplay_->displayID) : std::nullopt,
      mainDisplayID());
}

CaptureStreamSupervisor::Made CaptureStreamSupervisor::makeStream(
    const CaptureFilterSnapshot& snapshot, const platform::StreamConfiguration& configuration) {
  const auto identity = nextIdentity_++;
  platform::StreamOutput output;
  output.onSample = [sink = sinks_.sample, identity](const platform::CapturedSample& sample) {
    if (sink) sink(sample, identity);
  };
  std::weak_ptr<CaptureStreamSupervisor> weak = weak_from_this();
  output.onStopWithError = [weak, identity](const runtime::Error& error) {
    runtime::postToMain(weak, [identity, error](CaptureStreamSupervisor& self) {
      if (self.sinks_.stoppedWithError) self.sinks_.stoppedWithError(identity, error);
    });
  };
  auto stream =
      capture_->makeStream(snapshot.filter, configuration, std::move(output), samplesQueue_);
  return Made{std::move(stream), identity};
}

void CaptureStreamSupervisor::install(Made made, CaptureFilterSnapshot snapshot,
                                      platform::ShareableDisplay display,
                                      platform::StreamConfiguration configuration) {
  stream_ = std::move(made.stream);
  identity_ = made.identity;
  activeFilter_ = std::move(snapshot);
  activeDisplay_ = std::move(display);
  configuration_ = configuration;
}

runtime::Task<runtime::Status> CaptureStreamSupervisor::startStream(
    std::shared_ptr<platform::CaptureStream> stream) {
  return ProtectedCaptureOperationAwaiter::wait(
      ProtectedCaptureOperation::start, kStartTimeout,
      [stream](platform::Completion completion) { stream->startCapture(std::move(completion)); });
}

runtime::Task<runtime::Status> CaptureStreamSupervisor::stop(
    std::shared_ptr<platform::CaptureStream> stream) {
  return ProtectedCaptureOperationAwaiter::wait(
      ProtectedCaptureOperation::stop, kStopTimeout,
      [stream](platform::Completion completion) { stream->stopCapture(std::move(completion)); });
}

void CaptureStreamSupervisor::stopQuietly(std::shared_ptr<platform::CaptureStream> stream) {
  if (!stream) return;
  runtime::spawn(stop(std::move(stream)));
}

platform::StreamConfiguration CaptureStreamSupervisor::configurationFor(
    const platform::ShareableDisplay& display) const {
  auto configuration = streamConfiguration(display);
  if (queueDepth_) configuration.queueDepth = *queueDepth_;
  return configuration;
}

runtime::Task<StreamChange> CaptureStreamSupervisor::start(CaptureFilterSnapshot snapshot,
                                                           platform::ShareableDisplay display,
                                                           std::function<void()> prepared) {
  runtime::assertMainActor();
  auto self = shared_from_this();
  const auto configuration = configurationFor(display);
  auto made = makeStream(snapshot, configuration);
  auto stream = made.stream;
  install(std::move(made), std::move(snapshot), std::move(display), configuration);
  if (prepared) prepared();
  isStarting_ = true;
  auto startTask = startStream(stream);
  const auto status = co_await std::move(startTask);
  if (self->stream_ == stream) self->isStarting_ = false;
  // A stop (or a new session) while the stream was starting owns the stream now.
  if (self->stream_ != stream) co_return StreamChange{StreamChange::Outcome::superseded, {}};
  if (!status.ok()) co_return StreamChange{StreamChange::Outcome::failed, status.message()};
  co_return StreamChange{StreamChange::Outcome::running, {}};
}

runtime::Task<StreamChange> CaptureStreamSupervisor::replace(CaptureFilterSnapshot snapshot,
                                                             platform::ShareableDisplay display,
                                                             std::function<void()> prepared,
                                                             std::function<bool()> stillWanted) {
  runtime::assertMainActor();
  auto self = shared_from_this();
  const auto configuration = configurationFor(display);
  auto oldStream = stream_;
  auto made = makeStream(snapshot, configuration);
  auto newStream = made.stream;
  if (prepared) prepared();

  auto stopTask = stop(oldStream);
  auto stopStatus = co_await std::move(stopTask);
  runtime::Status startStatus;
  if (stopStatus.ok() && self->stream_ == oldStream && stillWanted()) {
    auto startTask = startStream(newStream);
    startStatus = co_await std::move(startTask);
  }
  if (self->stream_ != oldStream || !stillWanted()) {
    stopQuietly(newStream);
    co_return StreamChange{StreamChange::Outcome::superseded, {}};
  }
  if (!stopStatus.ok() || !startStatus.ok()) {
    // Neither stream delivers what the output may show any more.
    self->release();
    stopQuietly(oldStream);
    stopQuietly(newStream);
    co_return StreamChange{StreamChange::Outcome::failed,
                           !stopStatus.ok() ? stopStatus.message() : startStatus.message()};
  }
  self->install(std::move(made), std::move(snapshot), std::move(display), configuration);
  co_return StreamChange{StreamChange::Outcome::running, {}};
}

std::shared_ptr<platform::CaptureStream> CaptureStreamSupervisor::release() {
  isStarting_ = false;
  identity_ = 0;
  return std::exchange(stream_, nullptr);
}

void CaptureStreamSupervisor::forgetConfiguration() {
  activeFilter_.reset();
  activeDisplay_.reset();
}

}  // namespace corvane::capture
