#pragma once

#include <optional>
#include <string>

#include "platform/screen_capture.h"

namespace corvane::platform::sim {

// How one kind of asynchronous capture operation answers: after `latency` seconds of virtual time
// its completion runs on the main actor, with `failure` as the error when set; a hanging
// operation never completes.
struct SimOperationScript {
  double latency = 0;
  bool hangs = false;
  std::optional<std::string> failure;

  static SimOperationScript answeringAfter(double seconds) {
    SimOperationScript script;
    script.latency = seconds;
    return script;
  }
};

// How a capture matches the filter's excluded applications to windows: by application id or
// process (what ContentFilter means), or by process only, like a service whose filter names
// application instances, so that a relaunched application shows until a filter naming its new
// process is in force.
enum class SimApplicationMatching { idOrProcess, processOnly };

// When a running stream delivers: a frame every minimum frame interval, or only the intervals in
// which the composed content changed (the desktop, the filter in force or the configuration).
enum class SimFrameTiming { everyInterval, onChange };

// The test's script for the capture service. It is read when each operation is asked for and
// when each frame is due, so a test may change it at any moment.
struct SimCaptureScript {
  SimOperationScript shareableContent = SimOperationScript::answeringAfter(0.0);
  SimOperationScript start = SimOperationScript::answeringAfter(0.05);
  SimOperationScript stop = SimOperationScript::answeringAfter(0.05);
  SimOperationScript filterUpdate = SimOperationScript::answeringAfter(0.02);
  SimOperationScript configurationUpdate = SimOperationScript::answeringAfter(0.02);
  SimOperationScript screenshot = SimOperationScript::answeringAfter(0.03);

  // A new content filter takes effect this many seconds after it was asked for (frames keep the
  // old filter until then); absent = when the update completes. filterNeverApplies: the update
  // completes as scripted but frames keep the old filter for good.
  std::optional<double> filterApplyDelay;
  bool filterNeverApplies = false;
  SimApplicationMatching applicationMatching = SimApplicationMatching::idOrProcess;

  SimFrameTiming frameTiming = SimFrameTiming::everyInterval;
  // A stalled stream stays running but delivers nothing.
  bool stalled = false;
  // Seconds between a frame's composition (its presentation time) and its delivery.
  double deliveryDelay = 0;
  // What delivered samples look like: their status, whether they carry pixels, whether the
  // service could describe them.
  FrameStatus sampleStatus = FrameStatus::complete;
  bool samplesWithoutPixels = false;
  bool samplesInvalid = false;
};

// What the capture service was asked for, for tests to check.
struct SimCaptureCounters {
  int shareableContentRequests = 0;
  int streamsMade = 0;
  int startRequests = 0;
  int stopRequests = 0;
  int filterUpdates = 0;
  int configurationUpdates = 0;
  int frameRequests = 0;
  int screenshots = 0;
  int samplesComposed = 0;
};

}  // namespace corvane::platform::sim
