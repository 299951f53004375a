#pragma once

#include <cstdint>
#include <optional>

namespace corvane::platform::sim {

// Every simulated window paints with colours that carry its id, so a test can tell from any pixel
// of a frame which window it came from. A colour is opaque; its 24 colour bits hold a 2-bit tag
// (01 = a window's primary colour, 10 = its secondary, pattern colour) and the window id scrambled
// by a bijective multiply, so neighbouring ids get clearly different colours. Tags 00 and 11 never
// belong to a window: the desktop background and the pointer use them.
inline constexpr std::uint32_t kMaxSimWindowId = (1u << 22) - 1;

inline constexpr std::uint32_t kDefaultBackgroundColor = 0xFF1E2A36;
inline constexpr std::uint32_t kCursorFillColor = 0xFFFFFFFF;
inline constexpr std::uint32_t kCursorOutlineColor = 0xFF000000;

std::uint32_t windowPrimaryColor(std::uint32_t windowId);
std::uint32_t windowSecondaryColor(std::uint32_t windowId);

// The window whose colour this is; absent for the background, the pointer and anything else.
std::optional<std::uint32_t> windowIdForColor(std::uint32_t argb);

}  // namespace corvane::platform::sim
