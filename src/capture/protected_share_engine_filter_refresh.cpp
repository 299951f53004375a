#include "capture/protected_share_engine.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "capture/protected_capture_operation.h"
#include "capture/protected_content_input_activity.h"
#include "model/diagnostic_reporter.h"
#include "model/protected_system_surface_capture_policy.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"

namespace corvane::capture {

using model::diagnosticFlag;
using model::ProtectedSharePhase;

void ProtectedShareEngine::refreshCaptureFilterForApplicationChange(
    bool freezeUntilApplied, std::optional<std::string> expectedProtectedBundleID,
    std::optional<std::int32_t> expectedProtectedProcessID) {
  runtime::assertMainActor();
  if (!model::isActive(phase.value())) return;
  FilterRefreshRequest request;
  request.generation = filterRefreshGeneration_.advance();
  request.freeze = freezeUntilApplied;
  request.deadline = runtime::uptime() + kCaptureFilterApplyTimeout;
  if (expectedProtectedBundleID || expectedProtectedProcessID) {
    request.expected = CaptureApplicationIdentity{expectedProtectedBundleID.value_or(""),
                                                  expectedProtectedProcessID.value_or(0)};
  }
  // A request that replaces one still waiting keeps what that one promised: its hold, the
  // application it waits for and its deadline.
  if (pendingFilterRefresh_ && pendingFilterRefresh_->freeze) {
    request.freeze = true;
    if (!request.expected) request.expected = pendingFilterRefresh_->expected;
    request.deadline = std::min(request.deadline, pendingFilterRefresh_->deadline);
  }
  if (freezeUntilApplied) {
    holdOwedThrough_ = request.generation;
    beginCaptureFilterTransition();
  }
  record("protected_share_capture_filter_refresh_requested",
         {{"freezeUntilApplied", diagnosticFlag(freezeUntilApplied)},
          {"expectedApplication", expectedProtectedBundleID.value_or("")}});
  pendingFilterRefresh_ = request;
  // One worker applies filters one after the other; a replacement under way is never cut short.
  if (!filterRefreshTask_.valid() || filterRefreshTask_.isDone())
    filterRefreshTask_ = runtime::spawn(runFilterRefresh(weak_from_this()));
}

namespace {
bool coversExpected(const CaptureFilterSnapshot& snapshot,
                    const std::optional<CaptureApplicationIdentity>& expected) {
  if (!expected) return true;
  for (const auto& identity : snapshot.applicationIdentities) {
    const bool bundleMatches =
        expected->bundleID.empty() || identity.bundleID == expected->bundleID;
    const bool processMatches =
        expected->processID <= 0 || identity.processID == expected->processID;
    if (bundleMatches && processMatches) return true;
  }
  return false;
}
}  // namespace

runtime::Task<void> ProtectedShareEngine::runFilterRefresh(
    std::weak_ptr<ProtectedShareEngine> weakSelf) {
  while (true) {
    {
      auto self = weakSelf.lock();
      if (!self || !self->pendingFilterRefresh_ || !model::isActive(self->phase.value())) co_return;
      const auto request = *self->pendingFilterRefresh_;
      auto attempt = applyCurrentFilter(self, request.generation, request.expected);
      const bool applied = co_await std::move(attempt);
      if (co_await runtime::isCancelled()) co_return;
      if (!self->pendingFilterRefresh_ || !model::isActive(self->phase.value())) co_return;
      const auto pending = *self->pendingFilterRefresh_;
      const bool superseded = pending.generation != request.generation;
      if (applied && !superseded) {
        self->pendingFilterRefresh_.reset();
        co_return;
      }
      // The session's first stream is still starting (a start may take longer than a refresh
      // may): the refresh's time limit starts once it runs.
      if (self->isFirstStreamStarting()) {
        self->pendingFilterRefresh_->deadline = runtime::uptime() + kCaptureFilterApplyTimeout;
        self->filterRefreshAwaitsStart_ = true;
      } else if (runtime::uptime() >= pending.deadline) {
        // Requests that keep coming faster than one filter applies carry the first one's
        // deadline: the hold ends here rather than waiting for a quiet moment that may not come.
        self->pendingFilterRefresh_.reset();
        if (pending.freeze) {
          self->failClosed(kFilterFailureMessage, "protected_share_capture_filter_timed_out",
                           {{"expectedApplication",
                             pending.expected ? pending.expected->bundleID : std::string()}});
        }
        co_return;
      } else if (superseded) {
        // A newer request came in meanwhile and there is time left: serve it at once.
        continue;
      }
    }
    co_await runtime::sleep(kCaptureFilterRetryInterval);
    if (co_await runtime::isCancelled()) co_return;
    if (auto self = weakSelf.lock()) self->filterRefreshAwaitsStart_ = false;
  }
}

void ProtectedShareEngine::resumeFilterRefreshAfterStart() {
  if (!filterRefreshAwaitsStart_) return;
  filterRefreshAwaitsStart_ = false;
  // The worker only sleeps until its next try: it is replaced by one that tries at once.
  filterRefreshTask_.cancel();
  filterRefreshTask_ = {};
  if (pendingFilterRefresh_)
    filterRefreshTask_ = runtime::spawn(runFilterRefresh(weak_from_this()));
}

runtime::Task<bool> ProtectedShareEngine::applyCurrentFilter(
    std::shared_ptr<ProtectedShareEngine> self, std::uint64_t refreshGeneration,
    std::optional<CaptureApplicationIdentity> expected) {
  auto& engine = *self;
  auto supervisor = engine.supervisor_;
  // The first stream of a session is still starting: its start owns it until it is running.
  if (!supervisor->stream() || supervisor->isStarting()) co_return false;
  const auto session = engine.sessionGeneration_.current();
  auto contentTask = supervisor->fetchContent();
  auto content = co_await std::move(contentTask);
  // A request made while the list was read is served next; this filter is applied all the same
  // (it is newer than the one in force), and ends the hold unless such a request holds too.
  if (!engine.isCurrentSession(session) || !supervisor->stream() || supervisor->isStarting())
    co_return false;
  if (!content || !content->ok()) co_return false;
  const auto display = supervisor->chooseDisplay(content->value(), engine.selectedDisplayID_);
  if (!display) co_return false;
  const auto snapshot = buildCaptureFilter(*display, content->value(), engine.exclusionPolicy());
  // An expected application that has quit meanwhile has nothing left to hide.
  if (expected && !engine.isStillRunning(*expected)) expected.reset();
  if (!coversExpected(snapshot, expected)) {
    engine.statusMessage.set("Waiting for the new protected app to enter the capture filter");
    co_return false;
  }
  const auto& active = supervisor->activeDisplay();
  const bool sameDisplay = active && isSameDisplayGeometry(*active, *display);
  if (sameDisplay && supervisor->activeFilter() &&
      supervisor->activeFilter()->leavesOutTheSameAs(snapshot)) {
    engine.endCaptureFilterTransitionFor(refreshGeneration);
    co_return true;
  }

  // Replace the stream: frames of a new stream are composed with its filter from the first one,
  // which a filter update on the running stream cannot promise.
  auto replaceTask = supervisor->replace(
      snapshot, *display,
      [self] {
        self->isFrameDeliveryEnabled_ = false;
        self->advanceCaptureGeneration();
      },
      [self, session] {
        return self->isCurrentSession(session) && model::isActive(self->phase.value());
      });
  const auto replaced = co_await std::move(replaceTask);
  if (replaced.outcome == StreamChange::Outcome::superseded) co_return false;
  if (!replaced.isRunning()) {
    engine.failClosed(kFilterFailureMessage, "protected_share_stream_replacement_failed",
                      {{"error", replaced.error}}, /*stopStream=*/false);
    co_return false;
  }

  engine.protectedBundleIDsInForce.set(snapshot.protectedBundleIDs);
  const bool displayChanged = !sameDisplay;
  engine.showOutputSize(supervisor->activeConfiguration());
  engine.records().callbackMonitor->setLastPixelTime(runtime::uptime());
  engine.minimumAcceptedTimestamp_ = runtime::uptime();
  engine.isFrameDeliveryEnabled_ = true;
  engine.advanceCaptureGeneration();
  if (displayChanged) engine.startCursorTracking(*display);
  engine.scheduleScreenshotFallback();
  auto updated = engine.metrics.value();
  ++updated.heldFrames;
  engine.metrics.set(updated);
  engine.record("protected_share_stream_replaced_for_filter",
                {{"displayChanged", diagnosticFlag(displayChanged)},
                 {"filterChanged", diagnosticFlag(!displayChanged)},
                 {"excludedApps", std::to_string(snapshot.excludedBundleIDs.size())}});
  engine.endCaptureFilterTransitionFor(refreshGeneration);
  co_return true;
}

}  // namespace corvane::capture
