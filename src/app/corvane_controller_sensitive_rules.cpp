#include <algorithm>

#include "app/corvane_controller.h"
#include "runtime/main_actor.h"

namespace corvane::app {

void CorvaneController::setSensitiveRule(model::SensitiveKind kind, bool isEnabled) {
  runtime::assertMainActor();
  auto rules = *sensitiveRules_;
  auto rule = std::ranges::find(rules, kind, &model::SensitiveRule::id);
  if (rule == rules.end() || rule->isEnabled == isEnabled) return;
  rule->isEnabled = isEnabled;
  setSensitiveRules(std::move(rules));
}

}  // namespace corvane::app
