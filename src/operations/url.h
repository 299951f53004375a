#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvane::operations {

// The parts of an absolute URL of the form scheme://[user[:password]@]host[:port]/path?query#frag.
struct ParsedURL {
  std::string scheme;  // as written, case kept
  std::string user;
  std::string host;
  std::optional<int> port;
  std::string path;  // starts with "/" or is empty
  std::string query;

  static std::optional<ParsedURL> parse(const std::string& text);

  // Path components after the root, without empty ones ("/a//b/" gives "a", "b").
  std::vector<std::string> pathComponents() const;
};

// Percent-encodes everything but the unreserved characters, for a query value.
std::string percentEncodeQueryValue(const std::string& value);

}  // namespace corvane::operations
