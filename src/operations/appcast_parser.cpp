#include "operations/appcast_parser.h"

#include <algorithm>
#include <optional>

#include "operations/numeric_version.h"
#include "operations/url.h"
#include "platform/xml_elements.h"

namespace corvane::operations {
namespace {

std::optional<std::string> attribute(const platform::XmlAttributes& attributes,
                                     const char* preferred, const char* fallback) {
  if (auto it = attributes.find(preferred); it != attributes.end()) return it->second;
  if (auto it = attributes.find(fallback); it != attributes.end()) return it->second;
  return std::nullopt;
}

bool isBlank(const std::string& text) {
  return text.find_first_not_of(" \t\n\r\v\f") == std::string::npos;
}

std::optional<AppcastEntry> entryFrom(const platform::XmlAttributes& attributes) {
  auto version = attribute(attributes, "sparkle:version", "version");
  if (!version) return std::nullopt;
  auto urlText = attributes.find("url");
  if (urlText == attributes.end()) return std::nullopt;
  auto url = ParsedURL::parse(urlText->second);
  if (!url || url->scheme != "https") return std::nullopt;
  auto signature = attribute(attributes, "sparkle:edSignature", "edSignature");
  if (!signature) return std::nullopt;
  if (isBlank(*version) || isBlank(*signature)) return std::nullopt;
  return AppcastEntry{*version, urlText->second, *signature};
}

}  // namespace

runtime::Result<std::vector<AppcastEntry>> AppcastParser::parse(std::string_view feed) {
  std::vector<AppcastEntry> entries;
  auto status = platform::forEachXmlElementStart(
      feed, [&entries](const std::string& name, const platform::XmlAttributes& attributes) {
        if (name != "enclosure") return;
        if (auto entry = entryFrom(attributes)) entries.push_back(std::move(*entry));
      });
  if (!status) return runtime::Result<std::vector<AppcastEntry>>(status.error());
  return entries;
}

std::vector<AppcastEntry> sortedNewestFirst(std::vector<AppcastEntry> entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const AppcastEntry& a, const AppcastEntry& b) {
                     return compareVersionsNumerically(a.version, b.version) > 0;
                   });
  return entries;
}

}  // namespace corvane::operations
