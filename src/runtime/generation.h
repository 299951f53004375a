#pragma once

#include <atomic>
#include <cstdint>

namespace corvane::runtime {

// A counter that makes late completions harmless: work remembers the generation it started with
// and does nothing once the counter has moved on.
class Generation {
 public:
  std::uint64_t current() const { return value_.load(); }
  std::uint64_t advance() { return ++value_; }
  bool isCurrent(std::uint64_t generation) const { return value_.load() == generation; }

 private:
  std::atomic<std::uint64_t> value_{0};
};

}  // namespace corvane::runtime
