// Feeds arbitrary bytes to the appcast parser and checks what it hands on: every entry has an
// https URL and a non-blank version and signature, and the newest-first order is consistent.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "operations/appcast_parser.h"
#include "operations/numeric_version.h"
#include "operations/url.h"

namespace {

bool isBlank(const std::string& text) {
  return text.find_first_not_of(" \t\n\r\v\f") == std::string::npos;
}

void require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::operations;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  auto entries = AppcastParser::parse(input);
  if (entries.ok()) {
    for (const auto& entry : *entries) {
      auto url = ParsedURL::parse(entry.url);
      require(url.has_value() && url->scheme == "https" && !url->host.empty());
      require(!isBlank(entry.version) && !isBlank(entry.edSignature));
    }
    const auto sorted = sortedNewestFirst(*entries);
    require(sorted.size() == entries->size());
    for (std::size_t i = 1; i < sorted.size(); ++i) {
      require(compareVersionsNumerically(sorted[i - 1].version, sorted[i].version) >= 0);
    }
  }
  // The version order is antisymmetric whatever the two texts are.
  const std::size_t half = size / 2;
  const std::string_view a = input.substr(0, half);
  const std::string_view b = input.substr(half);
  require(compareVersionsNumerically(a, b) == -compareVersionsNumerically(b, a));
  require(compareVersionsNumerically(a, a) == 0);
  return 0;
}
