#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/bundle.h"
#include "platform/value.h"
#include "runtime/result.h"

namespace corvane::platform {

// Parses an XML property list (<plist><dict>…</dict></plist>). Malformed input gives an error
// naming what is wrong; it never throws.
runtime::Result<Value> parsePropertyList(std::string_view xml);

// Writes a value as an XML property list.
std::string serializePropertyList(const Value& value);

// Loads a bundle: reads <root>/Info.plist, whose top level must be a dictionary.
runtime::Result<Bundle> loadBundle(const std::filesystem::path& root);

}  // namespace corvane::platform
