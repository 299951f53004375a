#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/value.h"

namespace corvane::platform {

// Standard Base64 (RFC 4648 alphabet, "=" padding) for the data values of property lists and
// defaults files.
std::string encodeBase64(const Value::Data& bytes);

// Decodes standard Base64. Whitespace between characters is skipped (property lists wrap long
// data); any other character outside the alphabet, or a wrong length or padding, gives nothing.
std::optional<Value::Data> decodeBase64(std::string_view text);

}  // namespace corvane::platform
