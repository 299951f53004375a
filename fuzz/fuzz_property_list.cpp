// Feeds arbitrary bytes to the Info.plist reader. Whatever it accepts must be readable the way the
// update installer reads a new bundle, and must survive being written and read back.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::platform;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  auto value = parsePropertyList(input);
  if (!value.ok()) return 0;
  if (const auto* dictionary = value->asDictionary()) {
    Bundle bundle;
    bundle.info = *dictionary;
    (void)bundle.bundleIdentifier();
    (void)bundle.string("CFBundleVersion");
  }
  auto reread = parsePropertyList(serializePropertyList(*value));
  if (!reread.ok()) __builtin_trap();
  return 0;
}
