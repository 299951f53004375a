#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "runtime/task.h"

namespace corvane::app {

inline constexpr const char* kOpenProtectedShareFlag = "--qa-open-protected-share";
inline constexpr const char* kStartProtectedShareFlag = "--qa-start-protected-share";
inline constexpr const char* kPauseAfterFirstFrameFlag = "--qa-pause-after-first-frame";
inline constexpr const char* kSpaceChangeAfterPrefix = "--qa-space-change-after=";
inline constexpr const char* kResumeAfterPrefix = "--qa-resume-after=";
inline constexpr const char* kStopAfterPrefix = "--qa-stop-after=";

// A number of seconds written as a whole floating-point number in the C locale, whatever the
// process's locale: no leading white space and nothing left over. Absent when it is not one.
std::optional<double> parseAutomationSeconds(std::string_view text);

// How long a timed step waits for a given value: at least 0.5 s (not-a-number too) and at most a
// day, so every wait is a finite timer.
double automationStepWait(double seconds);

// What a scripted launch asks for, read from the process's arguments.
struct LaunchAutomationPlan {
  static constexpr double kFirstStepDelay = 0.6;
  static constexpr double kShortestStepWait = 0.5;
  static constexpr double kLongestStepWait = 24 * 60 * 60;

  bool startsSession = false;
  bool pausesAfterFirstFrame = false;
  // Each timed step's wait, already bounded; absent when the step is skipped.
  std::optional<double> spaceChangeWait;
  std::optional<double> resumeWait;
  std::optional<double> stopWait;

  // Absent unless the window is to be opened or a session started. A prefixed flag's value is
  // the argument with every occurrence of the prefix removed; of several arguments with one
  // prefix the first in the set's order is used.
  static std::optional<LaunchAutomationPlan> from(const std::set<std::string>& arguments);

  bool operator==(const LaunchAutomationPlan&) const = default;
};

// What the automation drives: the same operations the user's controls use.
class LaunchAutomationTarget {
 public:
  virtual ~LaunchAutomationTarget() = default;
  virtual void setPauseAfterFirstFrame(bool pause) = 0;
  virtual void openProtectedShareWindow() = 0;
  virtual runtime::Task<void> startDemoMode() = 0;
  virtual void beginSourceSpaceTransition(const std::string& reason) = 0;
  virtual void resumePublishing() = 0;
  virtual bool isProtectedShareStopping() const = 0;
  virtual void stopDemoMode() = 0;
  // True once the application began quitting: the automation ends there.
  virtual bool hasTerminationBegun() const = 0;
};

// Runs the plan on the main actor: waits 0.6 s, then takes the target (`lockTarget` gives null
// when its owner is gone, and the run ends) and keeps it until the last step. The timed steps
// wait one after another, each from the end of the step before; a cancelled wait still runs its
// step, unless the application began quitting meanwhile: then the run ends without it.
runtime::Task<void> runLaunchAutomationPlan(
    std::function<std::shared_ptr<LaunchAutomationTarget>()> lockTarget, LaunchAutomationPlan plan);

}  // namespace corvane::app
