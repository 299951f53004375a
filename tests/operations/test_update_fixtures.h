#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/temporary_folder.h"

namespace corvane::operations::testing {

using corvane::testing::TemporaryFolder;

struct ZipEntry {
  std::string name;
  std::string contents;
  unsigned mode = 0644;
  // A fifo is recorded as a named pipe in the central directory, the way only a crafted archive
  // holds one.
  enum class Kind { file, folder, symlink, fifo } kind = Kind::file;
  std::string linkTarget;
};

// Writes a zip archive of the entries, in order, and returns its bytes.
std::string makeZip(const std::vector<ZipEntry>& entries);

// The entries of an install folder named `folder`: Info.plist and an executable bin/corvane.
std::vector<ZipEntry> applicationEntries(const std::string& folder, const std::string& identifier,
                                         const std::string& build, const std::string& programText);

// An Info.plist with the identifier, build and short version.
std::string infoPlistText(const std::string& identifier, const std::string& build,
                          const std::string& shortVersion = "1.0");

// Writes an install folder on disk.
void writeApplication(const std::filesystem::path& root, const std::string& identifier,
                      const std::string& build, const std::string& programText);

// An Ed25519 key pair made for one test.
class SigningKey {
 public:
  SigningKey();
  std::string publicKeyBase64() const;
  std::string signBase64(std::string_view message) const;
  std::vector<unsigned char> publicKey;
  std::vector<unsigned char> secretKey;
};

std::string base64(const std::vector<unsigned char>& bytes);

void writeFile(const std::filesystem::path& path, const std::string& contents);
std::string readWholeFile(const std::filesystem::path& path);

}  // namespace corvane::operations::testing
