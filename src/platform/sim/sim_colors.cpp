#include "platform/sim/sim_colors.h"

namespace corvane::platform::sim {
namespace {

constexpr std::uint32_t kIdMask = (1u << 22) - 1;
constexpr std::uint32_t kPrimaryTag = 1u << 22;
constexpr std::uint32_t kSecondaryTag = 2u << 22;
constexpr std::uint32_t kOpaque = 0xFF000000;
constexpr std::uint32_t kScramble = 0x2F1A35;  // odd, so multiplying is a bijection mod 2^22

// The inverse of an odd number modulo 2^32 by Newton's iteration (each step doubles the bits).
constexpr std::uint32_t inverseModPowerOfTwo(std::uint32_t odd) {
  std::uint32_t inverse = odd;
  for (int i = 0; i < 5; ++i) inverse *= 2u - odd * inverse;
  return inverse;
}
constexpr std::uint32_t kUnscramble = inverseModPowerOfTwo(kScramble);
static_assert(((kScramble * kUnscramble) & kIdMask) == 1u);

constexpr std::uint32_t scrambled(std::uint32_t windowId) {
  return (windowId * kScramble) & kIdMask;
}

static_assert((kDefaultBackgroundColor & 0x00C00000) == 0,
              "background must not look like a window");
static_assert((kCursorFillColor & 0x00C00000) == 0x00C00000, "pointer must not look like a window");
static_assert((kCursorOutlineColor & 0x00C00000) == 0, "pointer must not look like a window");

}  // namespace

std::uint32_t windowPrimaryColor(std::uint32_t windowId) {
  return kOpaque | kPrimaryTag | scrambled(windowId);
}

std::uint32_t windowSecondaryColor(std::uint32_t windowId) {
  // A different scramble for the secondary colour keeps it far from the primary one.
  return kOpaque | kSecondaryTag | scrambled(windowId ^ 0x155555);
}

std::optional<std::uint32_t> windowIdForColor(std::uint32_t argb) {
  if ((argb & kOpaque) != kOpaque) return std::nullopt;
  const std::uint32_t tag = argb & ~kOpaque & ~kIdMask;
  const std::uint32_t bits = argb & kIdMask;
  std::uint32_t id = 0;
  if (tag == kPrimaryTag) {
    id = (bits * kUnscramble) & kIdMask;
  } else if (tag == kSecondaryTag) {
    id = ((bits * kUnscramble) & kIdMask) ^ 0x155555;
  } else {
    return std::nullopt;
  }
  if (id == 0) return std::nullopt;
  return id;
}

}  // namespace corvane::platform::sim
