#include "operations/url.h"

#include <cctype>

namespace corvane::operations {
namespace {

bool isSchemeCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

// Characters that may not appear anywhere in a URL as written.
bool hasForbiddenCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c <= 0x20 || c == 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
        c == '`' || c == '{' || c == '|' || c == '}') {
      return true;
    }
  }
  return false;
}

bool isHostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_' ||
         c == '[' || c == ']' || c == ':' || c == '%';
}

}  // namespace

std::optional<ParsedURL> ParsedURL::parse(const std::string& text) {
  if (text.empty() || hasForbiddenCharacter(text)) return std::nullopt;
  const auto colon = text.find(':');
  if (colon == std::string::npos || colon == 0 ||
      std::isalpha(static_cast<unsigned char>(text[0])) == 0) {
    return std::nullopt;
  }
  ParsedURL url;
  url.scheme = text.substr(0, colon);
  for (char c : url.scheme) {
    if (!isSchemeCharacter(c)) return std::nullopt;
  }
  if (text.compare(colon, 3, "://") != 0) return std::nullopt;

  std::string rest = text.substr(colon + 3);
  if (auto hash = rest.find('#'); hash != std::string::npos) rest.resize(hash);
  if (auto question = rest.find('?'); question != std::string::npos) {
    url.query = rest.substr(question + 1);
    rest.resize(question);
  }
  const auto slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  url.path = slash == std::string::npos ? std::string() : rest.substr(slash);

  if (auto at = authority.rfind('@'); at != std::string::npos) {
    std::string userInfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
    url.user = userInfo.substr(0, userInfo.find(':'));
  }
  std::string host = authority;
  if (!host.empty() && host.front() == '[') {
    const auto close = host.find(']');
    if (close == std::string::npos) return std::nullopt;
    const std::string after = host.substr(close + 1);
    host.resize(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      authority = after;  // ":port"
    } else {
      authority.clear();
    }
  } else if (auto portColon = host.rfind(':'); portColon != std::string::npos) {
    authority = host.substr(portColon);
    host.resize(portColon);
  } else {
    authority.clear();
  }
  if (!authority.empty()) {
    const std::string digits = authority.substr(1);
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    for (char c : digits) {
      if (std::isdigit(static_cast<unsigned char>(c)) == 0) return std::nullopt;
    }
    const int port = std::stoi(digits);
    if (port > 65535) return std::nullopt;
    url.port = port;
  }
  if (host.empty()) return std::nullopt;
  for (char c : host) {
    if (!isHostCharacter(c)) return std::nullopt;
  }
  url.host = host;
  return url;
}

std::vector<std::string> ParsedURL::pathComponents() const {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string percentEncodeQueryValue(const std::string& value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

}  // namespace corvane::operations
