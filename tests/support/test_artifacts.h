#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace corvane::testing {

// Where a test leaves what a person may want to look at afterwards (screenshots): the build
// folder's test-artifacts folder, or $TMPDIR when the tests were built without one. The folder is
// made when missing.
inline std::filesystem::path artifactPath(const std::string& name) {
#if defined(CORVANE_TEST_ARTIFACT_DIR)
  const std::filesystem::path folder = CORVANE_TEST_ARTIFACT_DIR;
#else
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "corvane-tests";
#endif
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder / name;
}

}  // namespace corvane::testing
