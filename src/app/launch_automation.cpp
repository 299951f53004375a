#include "app/launch_automation.h"

#include <locale.h>

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace corvane::app {
namespace {

// The C locale, made once; strtod_l reads with it whatever the process's locale is.
locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

std::string withoutEvery(std::string text, std::string_view prefix) {
  for (auto at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at)) {
    text.erase(at, prefix.size());
  }
  return text;
}

// The bounded wait of the first argument (in the set's order) carrying `prefix`, when its value
// is a number.
std::optional<double> stepWait(const std::set<std::string>& arguments, std::string_view prefix) {
  for (const auto& argument : arguments) {
    if (!argument.starts_with(prefix)) continue;
    const auto seconds = parseAutomationSeconds(withoutEvery(argument, prefix));
    if (!seconds) return std::nullopt;
    return automationStepWait(*seconds);
  }
  return std::nullopt;
}

}  // namespace

std::optional<double> parseAutomationSeconds(std::string_view text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
  const std::string terminated(text);
  char* end = nullptr;
  const double value = strtod_l(terminated.c_str(), &end, cLocale());
  if (end != terminated.c_str() + terminated.size()) return std::nullopt;
  return value;
}

double automationStepWait(double seconds) {
  if (std::isnan(seconds)) return LaunchAutomationPlan::kShortestStepWait;
  return std::min(std::max(seconds, LaunchAutomationPlan::kShortestStepWait),
                  LaunchAutomationPlan::kLongestStepWait);
}

std::optional<LaunchAutomationPlan> LaunchAutomationPlan::from(
    const std::set<std::string>& arguments) {
  const bool starts = arguments.contains(kStartProtectedShareFlag);
  if (!starts && !arguments.contains(kOpenProtectedShareFlag)) return std::nullopt;
  LaunchAutomationPlan plan;
  plan.startsSession = starts;
  plan.pausesAfterFirstFrame = arguments.contains(kPauseAfterFirstFrameFlag);
  plan.spaceChangeWait = stepWait(arguments, kSpaceChangeAfterPrefix);
  plan.resumeWait = stepWait(arguments, kResumeAfterPrefix);
  plan.stopWait = stepWait(arguments, kStopAfterPrefix);
  return plan;
}

runtime::Task<void> runLaunchAutomationPlan(
    std::function<std::shared_ptr<LaunchAutomationTarget>()> lockTarget,
    LaunchAutomationPlan plan) {
  co_await runtime::sleep(LaunchAutomationPlan::kFirstStepDelay);
  const std::shared_ptr<LaunchAutomationTarget> target = lockTarget();
  if (!target || target->hasTerminationBegun()) co_return;
  target->setPauseAfterFirstFrame(plan.pausesAfterFirstFrame);
  target->openProtectedShareWindow();
  if (plan.startsSession) co_await target->startDemoMode();
  if (plan.spaceChangeWait) {
    co_await runtime::sleep(*plan.spaceChangeWait);
    if (target->hasTerminationBegun()) co_return;
    target->beginSourceSpaceTransition("space_changed");
  }
  if (plan.resumeWait) {
    co_await runtime::sleep(*plan.resumeWait);
    if (target->hasTerminationBegun()) co_return;
    target->resumePublishing();
  }
  if (plan.stopWait) {
    co_await runtime::sleep(*plan.stopWait);
    if (target->hasTerminationBegun()) co_return;
    if (!target->isProtectedShareStopping()) target->stopDemoMode();
  }
}

}  // namespace corvane::app
