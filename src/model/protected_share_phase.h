#pragma once

#include <array>

#include "model/enum_coding.h"

namespace corvane::model {

// The phase a capture engine publishes.
enum class ProtectedSharePhase {
  idle,
  permissionRequired,
  starting,
  analyzing,
  sharing,
  stopping,
  failed
};

template <>
struct EnumCases<ProtectedSharePhase> {
  static constexpr std::array cases{
      EnumCase<ProtectedSharePhase>{ProtectedSharePhase::idle, "idle"},
      EnumCase<ProtectedSharePhase>{ProtectedSharePhase::permissionRequired, "permissionRequired"},
      EnumCase<ProtectedSharePhase>{ProtectedSharePhase::starting, "starting"},
      EnumCase<ProtectedSharePhase>{ProtectedSharePhase::analyzing, "analyzing"},
      EnumCase<ProtectedSharePhase>{ProtectedSharePhase::sharing, "sharing"},
      EnumCase<ProtectedSharePhase>{ProtectedSharePhase::stopping, "stopping"},
      EnumCase<ProtectedSharePhase>{ProtectedSharePhase::failed, "failed"},
  };
};

// Starting, analyzing, sharing and stopping: a session is under way.
constexpr bool isActive(ProtectedSharePhase phase) {
  return phase == ProtectedSharePhase::starting || phase == ProtectedSharePhase::analyzing ||
         phase == ProtectedSharePhase::sharing || phase == ProtectedSharePhase::stopping;
}

}  // namespace corvane::model
