#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "runtime/result.h"

namespace corvane::platform {

using XmlAttributes = std::map<std::string, std::string>;

// Reads an XML document without namespace processing (names keep their prefixes, such as
// "sparkle:version") and calls `onElementStart` for every element in document order. A document
// that is not well-formed, or declares a document type, gives an error.
runtime::Status forEachXmlElementStart(
    std::string_view xml,
    const std::function<void(const std::string& name, const XmlAttributes& attributes)>&
        onElementStart);

}  // namespace corvane::platform
