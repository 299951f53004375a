#pragma once

#include <optional>
#include <string>

#include "platform/application_relauncher.h"

namespace corvane::platform::sim {

// Counts relaunches; fails each with the given reason while one is set.
class SimApplicationRelauncher final : public ApplicationRelauncher {
 public:
  void failWith(std::optional<std::string> reason) { failure_ = std::move(reason); }

  runtime::Status relaunch() override {
    ++attempts_;
    if (failure_) return runtime::Status::failure(*failure_);
    return runtime::Status::success();
  }

  int attempts() const { return attempts_; }

 private:
  std::optional<std::string> failure_;
  int attempts_ = 0;
};

}  // namespace corvane::platform::sim
