#pragma once

#include <memory>
#include <utility>

#include "runtime/main_actor.h"
#include "runtime/notification_center.h"

namespace corvane::platform::x11 {

// Posts notifications from a backend thread to the owner's centre on the main actor; nothing
// is posted once the owner is gone.
template <class Owner>
void postOnMain(const std::weak_ptr<Owner>& owner, runtime::Notification notification) {
  if (!runtime::hasRuntime()) return;
  runtime::postToMain(owner, [notification = std::move(notification)](Owner& strong) {
    strong.notifications().post(notification);
  });
}

}  // namespace corvane::platform::x11
