#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace corvane::platform {

// The names applications were seen by together (on one window, or over one process's life),
// kept for as long as the groups live: a later copy of an application that shows any one of
// them goes by all, even after the desktop entry that tied them was removed or renamed. Ids are
// compared exactly, window classes without regard to case. Safe to call from any thread.
class ApplicationNameGroups {
 public:
  struct Names {
    std::set<std::string> ids;
    std::set<std::string> windowClassNames;  // lower case
  };

  // Joins `ids` and `windowClassNames` with every group that shares one of them, and returns
  // the names of the group they now make.
  Names join(const std::vector<std::string>& ids, const std::vector<std::string>& windowClassNames);

 private:
  std::mutex mutex_;
  std::vector<Names> groups_;
};

}  // namespace corvane::platform
