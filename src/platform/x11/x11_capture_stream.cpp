#include "platform/x11/x11_capture_stream.h"

#include <chrono>
#include <thread>

#include "platform/x11/capture_session.h"
#include "runtime/runtime.h"

namespace corvane::platform::x11 {
namespace {

constexpr double kKeepAliveInterval = 1.0;
constexpr double kShortestFrameInterval = 1.0 / 60.0;
// How long an ending session waits for the lasting redirect to be in place before it ends its
// own redirect.
constexpr double kRedirectHandOver = 1.0;
// How often an ended session whose redirect could not be handed over tries again.
constexpr double kRedirectRetry = 0.1;
// A start still waiting on the server this long is reported as made: another client holds the
// server, and the frames follow once it lets go (a setup that fails then stops the stream with
// an error). A stop still waiting on the server this long shuts the connection instead, once
// the lasting redirect keeps the windows redirected.
constexpr double kStartGrace = 2.5;
constexpr double kStopGrace = 0.5;

}  // namespace

double captureClock() {
  return runtime::hasRuntime() ? runtime::uptime() : pumpClock();
}

struct X11CaptureStream::Worker {
  std::atomic<bool> serverStalled{false};
  ContentFilter filter;
  StreamConfiguration configuration;
  std::unique_ptr<CaptureSession> session;
  std::shared_ptr<LastingRedirects> redirects;
  LastingRedirects::Hold redirect;
  bool dirty = true;
  double lastFrameAt = -1e9;
};

void X11CaptureStream::keepRedirectUntilHandedOver(Worker& worker, double seconds) {
  const double until = pumpClock() + seconds;
  while (pumpClock() < until && !worker.session->connectionLost()) {
    if (worker.redirects->handOver(kRedirectHandOver)) return;
    std::this_thread::sleep_for(std::chrono::duration<double>(kRedirectRetry));
  }
}

X11CaptureStream::X11CaptureStream(std::string displayName, ContentFilter filter,
                                   StreamConfiguration configuration, StreamOutput output,
                                   std::shared_ptr<runtime::SerialQueue> sampleQueue,
                                   std::shared_ptr<const ApplicationIdentityResolver> identities,
                                   std::int32_t ownProcess,
                                   std::shared_ptr<LastingRedirects> redirects)
    : displayName_(std::move(displayName)),
      output_(std::move(output)),
      sampleQueue_(std::move(sampleQueue)),
      identities_(std::move(identities)),
      ownProcess_(ownProcess),
      worker_(std::make_shared<Worker>()) {
  worker_->filter = std::move(filter);
  worker_->configuration = std::move(configuration);
  if (redirects) worker_->redirect = redirects->hold();
  worker_->redirects = std::move(redirects);
}

X11CaptureStream::~X11CaptureStream() {
  // Its connection keeps the windows redirected until a lasting redirect is in place for the
  // streams that follow: a pump still waiting on the server ends by itself, and its connection
  // is shut only once the windows stay redirected without it.
  pump_.stopWithoutCutting();
}

void X11CaptureStream::startCapture(Completion completion) {
  {
    std::unique_lock lock(mutex_);
    if (phase_ != Phase::idle) {
      lock.unlock();
      completion(runtime::Status::failure("The capture stream was already started."));
      return;
    }
    phase_ = Phase::starting;
  }
  std::weak_ptr<X11CaptureStream> weak = weak_from_this();
  auto worker = worker_;
  XEventPump::Callbacks callbacks;
  callbacks.setup = [worker, identities = identities_](XConnection& connection) {
    auto session = CaptureSession::open(connection, identities);
    if (!session) return runtime::Status(session.error());
    worker->session = std::move(session).value();
    if (auto area = worker->session->areaFor(worker->filter.displayID); !area) {
      worker->session.reset();
      return runtime::Status(area.error());
    }
    return runtime::Status::success();
  };
  // Reported once: when the setup ends, or earlier when it waits on a server held by another
  // client (then a setup that fails afterwards stops the stream with its error).
  auto startReport = std::make_shared<std::atomic<bool>>(false);
  callbacks.ready = [weak, completion, startReport](runtime::Status status) {
    const bool reportedBefore = startReport->exchange(true);
    auto self = weak.lock();
    Completion stopCompletion;
    bool wasStopping = false;
    if (self) {
      std::lock_guard lock(self->mutex_);
      if (!status) {
        wasStopping = self->phase_ == Phase::stopping;
        self->phase_ = Phase::stopped;
        stopCompletion = std::move(self->stopCompletion_);
      } else if (self->phase_ == Phase::starting) {
        self->phase_ = Phase::running;
      }
    }
    if (!reportedBefore) completion(status);
    if (status || !self) return;
    if (wasStopping) {
      self->completeStopAfterQueuedSamples(std::move(stopCompletion));
    } else if (reportedBefore && self->output_.onStopWithError) {
      self->sampleQueue_->post([onError = self->output_.onStopWithError, status] {
        onError(runtime::Error{status.message()});
      });
    }
  };
  callbacks.waitingAfter = kStartGrace;
  callbacks.waitingOnServer = [weak, completion, startReport] {
    if (startReport->exchange(true)) return;
    if (auto self = weak.lock()) {
      std::lock_guard lock(self->mutex_);
      if (self->phase_ == Phase::starting) self->phase_ = Phase::running;
    }
    completion(runtime::Status::success());
  };
  callbacks.cutAfterStop = kStopGrace;
  callbacks.mayCutOnStop = [worker] {
    return !worker->redirects || worker->redirects->handOver(kRedirectHandOver);
  };
  callbacks.event = [worker](XEvent& event) {
    if (worker->session && worker->session->handle(event)) worker->dirty = true;
  };
  callbacks.idle = [weak, worker]() -> std::optional<double> {
    auto self = weak.lock();
    if (!self) return std::nullopt;
    return self->produceFrameIfDue(*worker);
  };
  callbacks.stallLimit = stallLimit_;
  callbacks.stalled = [worker] { worker->serverStalled.store(true); };
  callbacks.connectionLost = [weak, worker] {
    if (worker->session) worker->session->abandon();
    worker->session.reset();
    worker->redirect.reset();
    auto self = weak.lock();
    if (!self) return;
    Completion stopCompletion;
    bool wasStopping = false;
    {
      std::lock_guard lock(self->mutex_);
      wasStopping = self->phase_ == Phase::stopping;
      self->phase_ = Phase::stopped;
      stopCompletion = std::move(self->stopCompletion_);
    }
    if (wasStopping) {
      self->completeStopAfterQueuedSamples(std::move(stopCompletion));
      return;
    }
    auto onError = self->output_.onStopWithError;
    if (onError) {
      const std::string message =
          worker->serverStalled.load()
              ? "The X server stopped answering; capture stopped."
              : "The connection to the X display was lost; capture stopped.";
      self->sampleQueue_->post([onError, message] { onError(runtime::Error{message}); });
    }
  };
  callbacks.teardown = [weak, worker, keepFor = stallLimit_] {
    // The windows stay redirected for the streams that follow: this session ends its redirect
    // only once a lasting one is in place for them. When none can be had (the server refuses
    // another connection), the stop fails, and so does the replacement that asked for it; the
    // session's redirect then stays, with its connection, until a lasting one is in place.
    const bool handedOver =
        !worker->session || !worker->redirects || worker->redirects->handOver(kRedirectHandOver);
    runtime::Status status = runtime::Status::success();
    if (!handedOver) {
      status = runtime::Status::failure(
          "The windows could not be kept redirected for the next capture stream.");
    }
    if (auto self = weak.lock()) {
      Completion stopCompletion;
      {
        std::lock_guard lock(self->mutex_);
        self->phase_ = Phase::stopped;
        stopCompletion = std::move(self->stopCompletion_);
      }
      self->completeStopAfterQueuedSamples(std::move(stopCompletion), std::move(status));
    }
    if (!handedOver) keepRedirectUntilHandedOver(*worker, keepFor);
    worker->session.reset();
    worker->redirect.reset();
  };
  pump_.start(displayName_, std::move(callbacks));
}

void X11CaptureStream::stopCapture(Completion completion) {
  {
    std::unique_lock lock(mutex_);
    if (phase_ == Phase::idle || phase_ == Phase::stopped) {
      phase_ = Phase::stopped;
      lock.unlock();
      completion(runtime::Status::success());
      return;
    }
    if (phase_ == Phase::stopping) {
      auto previous = std::move(stopCompletion_);
      stopCompletion_ = [previous, completion](runtime::Status status) {
        if (previous) previous(status);
        completion(status);
      };
      return;
    }
    phase_ = Phase::stopping;
    stopCompletion_ = std::move(completion);
  }
  pump_.requestStop();
}

void X11CaptureStream::updateContentFilter(ContentFilter filter, Completion completion) {
  auto worker = worker_;
  pump_.post([worker, filter = std::move(filter), completion](XConnection* connection) mutable {
    if (connection == nullptr || !worker->session) {
      completion(runtime::Status::failure("The capture stream is not running."));
      return;
    }
    if (auto area = worker->session->areaFor(filter.displayID); !area) {
      completion(runtime::Status(area.error()));
      return;
    }
    worker->filter = std::move(filter);
    worker->dirty = true;
    completion(runtime::Status::success());
  });
}

void X11CaptureStream::updateConfiguration(StreamConfiguration configuration,
                                           Completion completion) {
  auto worker = worker_;
  pump_.post([worker, configuration, completion](XConnection* connection) {
    if (connection == nullptr || !worker->session) {
      completion(runtime::Status::failure("The capture stream is not running."));
      return;
    }
    worker->configuration = configuration;
    worker->dirty = true;
    completion(runtime::Status::success());
  });
}

void X11CaptureStream::requestFrame() {
  auto worker = worker_;
  pump_.post([worker](XConnection*) { worker->dirty = true; });
}

std::optional<double> X11CaptureStream::produceFrameIfDue(Worker& worker) {
  if (!worker.session) return std::nullopt;
  {
    std::lock_guard lock(mutex_);
    if (phase_ != Phase::running) return std::nullopt;
  }
  const double interval =
      std::max(kShortestFrameInterval, worker.configuration.minimumFrameInterval);
  const double now = pumpClock();
  const double sinceLast = now - worker.lastFrameAt;
  if (!worker.dirty && sinceLast < kKeepAliveInterval) return kKeepAliveInterval - sinceLast;
  if (sinceLast < interval) return interval - sinceLast;
  const int depth = std::max(1, worker.configuration.queueDepth);
  if (samplesInFlight_->load() >= depth) return interval;  // the consumer is behind: wait
  auto frame = worker.session->compose(worker.filter, worker.configuration, ownProcess_);
  worker.lastFrameAt = now;
  if (!frame) {
    // Fail closed: no frame this time; the model catches up through the events that follow.
    worker.dirty = true;
    return interval;
  }
  worker.dirty = worker.session->leavesOutUnsettledWindows();
  CapturedSample sample;
  sample.pixels = std::move(frame).value();
  sample.presentationTime = captureClock();
  sample.status = FrameStatus::complete;
  deliver(std::move(sample));
  return interval;
}

void X11CaptureStream::completeStopAfterQueuedSamples(Completion completion,
                                                      runtime::Status status) {
  if (!completion) return;
  // Samples handed over before the stop still run on the sample queue; the stop is reported
  // behind them, so once it completes no sample reaches the output any more.
  sampleQueue_->post(
      [completion = std::move(completion), status = std::move(status)] { completion(status); });
}

void X11CaptureStream::deliver(CapturedSample sample) {
  auto onSample = output_.onSample;
  if (!onSample) return;
  deliveredFrames_.fetch_add(1);
  samplesInFlight_->fetch_add(1);
  auto inFlight = samplesInFlight_;
  sampleQueue_->post([onSample, inFlight, sample = std::move(sample)] {
    inFlight->fetch_sub(1);
    onSample(sample);
  });
}

}  // namespace corvane::platform::x11
