// Unpacks arbitrary bytes as an update archive into a folder nested in a scratch tree. Whatever
// the archive holds, nothing may appear in the tree outside the unpack folder, and no link inside
// it may lead out of it.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/archive_extractor.h"

namespace {

namespace fs = std::filesystem;

const fs::path& scratchRoot() {
  static const fs::path root = [] {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/corvane-fuzz-extract-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) abort();
    return fs::canonical(pattern);
  }();
  return root;
}

bool isWithin(const fs::path& path, const fs::path& folder) {
  const auto relative = path.lexically_normal().lexically_relative(folder);
  return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::platform;
  static const auto extractor = makeArchiveExtractor();
  const fs::path& root = scratchRoot();
  const fs::path destination = root / "a" / "b" / "out";
  std::error_code error;
  fs::remove_all(root / "a", error);
  fs::create_directories(destination);
  (void)extractor->extract(std::string_view(reinterpret_cast<const char*>(data), size), destination,
                           ExtractionLimits{1000, 16 * 1024 * 1024});

  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error)) {
    const fs::path& path = it->path();
    const bool onTheWay = path == root / "a" || path == root / "a" / "b" || path == destination;
    if (!onTheWay && !isWithin(path, destination)) __builtin_trap();
    if (!it->is_symlink(error)) continue;
    std::error_code unresolved;
    const fs::path resolved = fs::weakly_canonical(path, unresolved);
    // A loop of links cannot be resolved; it leads nowhere, so not outside either.
    if (!unresolved && resolved != destination && !isWithin(resolved, destination)) {
      __builtin_trap();
    }
  }
  return 0;
}
