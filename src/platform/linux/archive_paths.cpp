#include "platform/linux/archive_paths.h"

#include <deque>

namespace corvane::platform {
namespace {

// How many links one resolution may follow, as the kernel allows.
constexpr int kMaxLinksFollowed = 40;

std::vector<std::string> splitOnSlash(const std::string& text) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (c == '/') {
      parts.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  parts.push_back(std::move(current));
  return parts;
}

}  // namespace

std::optional<std::vector<std::string>> confinedEntryElements(const std::string& name) {
  std::string trimmed = name;
  while (!trimmed.empty() && trimmed.back() == '/') trimmed.pop_back();
  if (trimmed.empty() || trimmed.front() == '/') return std::nullopt;
  auto elements = splitOnSlash(trimmed);
  for (const auto& element : elements) {
    if (element.empty() || element == "." || element == ".." ||
        element.find('\0') != std::string::npos) {
      return std::nullopt;
    }
  }
  return elements;
}

bool ArchiveLinks::passesThroughLink(const std::vector<std::string>& elements) const {
  std::vector<std::string> prefix;
  for (std::size_t i = 0; i + 1 < elements.size(); ++i) {
    prefix.push_back(elements[i]);
    if (targets_.count(prefix) != 0) return true;
  }
  return false;
}

bool ArchiveLinks::staysInside(const std::vector<std::string>& elements,
                               const std::string& target) const {
  if (target.empty() || target.front() == '/') return false;
  std::vector<std::string> resolved(elements.begin(), elements.end() - 1);
  std::deque<std::string> pending;
  for (auto& part : splitOnSlash(target)) pending.push_back(std::move(part));
  int followed = 0;
  while (!pending.empty()) {
    std::string part = std::move(pending.front());
    pending.pop_front();
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (resolved.empty()) return false;
      resolved.pop_back();
      continue;
    }
    resolved.push_back(std::move(part));
    const auto link = targets_.find(resolved);
    if (link == targets_.end()) continue;
    if (++followed > kMaxLinksFollowed || link->second.empty() || link->second.front() == '/') {
      return false;
    }
    resolved.pop_back();
    const auto inner = splitOnSlash(link->second);
    pending.insert(pending.begin(), inner.begin(), inner.end());
  }
  return true;
}

void ArchiveLinks::add(const std::vector<std::string>& elements, const std::string& target) {
  targets_[elements] = target;
}

}  // namespace corvane::platform
