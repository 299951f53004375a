#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane::platform {

// The path elements of an archive entry's name once trailing "/" are trimmed; nothing when the
// name is empty or absolute or holds an empty, "." or ".." element.
std::optional<std::vector<std::string>> confinedEntryElements(const std::string& name);

// Every link of an archive, by the elements of its path, and where each one leads. Resolves paths
// the way the kernel will once all of them are on disk: element by element, following every link
// met on the way, so a chain of links that are each harmless cannot add up to a way out, whatever
// order they are unpacked in.
class ArchiveLinks {
 public:
  // Whether the entry's path passes through one of the links (the entry itself excluded).
  bool passesThroughLink(const std::vector<std::string>& elements) const;
  // Whether a link at `elements` with this target resolves inside the unpack folder.
  bool staysInside(const std::vector<std::string>& elements, const std::string& target) const;
  bool empty() const { return targets_.empty(); }
  const std::map<std::vector<std::string>, std::string>& targets() const { return targets_; }
  void add(const std::vector<std::string>& elements, const std::string& target);

 private:
  std::map<std::vector<std::string>, std::string> targets_;
};

}  // namespace corvane::platform
