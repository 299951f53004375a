#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/result.h"

namespace corvane::operations {

// One usable enclosure of the feed: an https archive with a version and an Ed25519 signature.
struct AppcastEntry {
  std::string version;
  std::string url;
  std::string edSignature;

  bool operator==(const AppcastEntry&) const = default;
};

// Reads the "enclosure" elements of an appcast feed, wherever they stand, in document order.
// Enclosures without a version, an https URL or a signature are skipped; a document that is not
// well-formed XML is an error.
class AppcastParser {
 public:
  static runtime::Result<std::vector<AppcastEntry>> parse(std::string_view feed);
};

// The entries ordered newest first; entries of equal version keep their feed order.
std::vector<AppcastEntry> sortedNewestFirst(std::vector<AppcastEntry> entries);

}  // namespace corvane::operations
