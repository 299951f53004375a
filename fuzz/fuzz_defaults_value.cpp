// Decodes arbitrary bytes as a defaults suite file. Every value that decodes must encode to a
// form that decodes to the same value again.

#include <cstddef>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "platform/linux/defaults_value_coding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::platform;
  const auto json = nlohmann::json::parse(data, data + size, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return 0;
  for (const auto& [key, item] : json.items()) {
    const auto value = decodeDefaultsValue(item);
    if (!value) continue;
    const nlohmann::json encoded = encodeDefaultsValue(*value);
    const auto again = decodeDefaultsValue(encoded);
    if (!again || encodeDefaultsValue(*again) != encoded) __builtin_trap();
  }
  return 0;
}
