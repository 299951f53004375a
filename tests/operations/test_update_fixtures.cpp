#include "operations/test_update_fixtures.h"

#include <archive.h>
#include <archive_entry.h>
#include <sodium.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace corvane::operations::testing {

namespace fs = std::filesystem;

namespace {

la_ssize_t appendToString(archive*, void* context, const void* buffer, size_t length) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(buffer), length);
  return static_cast<la_ssize_t>(length);
}

// Rewrites the Unix mode in the central-directory record of `name` to a named pipe's.
void markAsNamedPipe(std::string& zip, const std::string& name) {
  auto read16 = [&zip](std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(zip[at])) |
           static_cast<std::size_t>(static_cast<unsigned char>(zip[at + 1])) << 8;
  };
  for (std::size_t at = 0; at + 46 < zip.size(); ++at) {
    if (zip.compare(at, 4, "PK\x01\x02") != 0) continue;
    if (zip.compare(at + 46, read16(at + 28), name) != 0 || read16(at + 28) != name.size())
      continue;
    const std::uint32_t attributes = static_cast<std::uint32_t>(S_IFIFO | 0644) << 16;
    for (int i = 0; i < 4; ++i) zip[at + 38 + i] = static_cast<char>(attributes >> (8 * i));
  }
}

}  // namespace

std::string makeZip(const std::vector<ZipEntry>& entries) {
  std::string bytes;
  archive* writer = archive_write_new();
  archive_write_set_format_zip(writer);
  archive_write_set_bytes_in_last_block(writer, 1);  // no padding after the archive
  archive_write_open(writer, &bytes, nullptr, appendToString, nullptr);
  for (const auto& item : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, item.name.c_str());
    switch (item.kind) {
      case ZipEntry::Kind::file:
      case ZipEntry::Kind::fifo:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_size(entry, static_cast<la_int64_t>(item.contents.size()));
        break;
      case ZipEntry::Kind::folder:
        archive_entry_set_filetype(entry, AE_IFDIR);
        break;
      case ZipEntry::Kind::symlink:
        archive_entry_set_filetype(entry, AE_IFLNK);
        archive_entry_set_symlink(entry, item.linkTarget.c_str());
        break;
    }
    archive_entry_set_perm(entry, item.kind == ZipEntry::Kind::folder ? 0755 : item.mode);
    archive_write_header(writer, entry);
    if (item.kind == ZipEntry::Kind::file || item.kind == ZipEntry::Kind::fifo) {
      archive_write_data(writer, item.contents.data(), item.contents.size());
    }
    archive_entry_free(entry);
  }
  archive_write_close(writer);
  archive_write_free(writer);
  for (const auto& item : entries) {
    if (item.kind == ZipEntry::Kind::fifo) markAsNamedPipe(bytes, item.name);
  }
  return bytes;
}

std::string infoPlistText(const std::string& identifier, const std::string& build,
                          const std::string& shortVersion) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<plist version=\"1.0\">\n<dict>\n"
         "  <key>CFBundleIdentifier</key>\n  <string>" +
         identifier +
         "</string>\n"
         "  <key>CFBundleVersion</key>\n  <string>" +
         build +
         "</string>\n"
         "  <key>CFBundleShortVersionString</key>\n  <string>" +
         shortVersion +
         "</string>\n"
         "</dict>\n</plist>\n";
}

std::vector<ZipEntry> applicationEntries(const std::string& folder, const std::string& identifier,
                                         const std::string& build, const std::string& programText) {
  return {
      {folder + "/", "", 0755, ZipEntry::Kind::folder, ""},
      {folder + "/Info.plist", infoPlistText(identifier, build), 0644, ZipEntry::Kind::file, ""},
      {folder + "/bin/", "", 0755, ZipEntry::Kind::folder, ""},
      {folder + "/bin/corvane", programText, 0755, ZipEntry::Kind::file, ""},
      {folder + "/share/readme.txt", "build " + build + "\n", 0644, ZipEntry::Kind::file, ""},
  };
}

void writeFile(const fs::path& path, const std::string& contents) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

std::string readWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void writeApplication(const fs::path& root, const std::string& identifier, const std::string& build,
                      const std::string& programText) {
  writeFile(root / "Info.plist", infoPlistText(identifier, build));
  writeFile(root / "bin" / "corvane", programText);
  fs::permissions(root / "bin" / "corvane", fs::perms(0755));
  writeFile(root / "share" / "readme.txt", "build " + build + "\n");
}

SigningKey::SigningKey()
    : publicKey(crypto_sign_PUBLICKEYBYTES), secretKey(crypto_sign_SECRETKEYBYTES) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium unavailable");
  crypto_sign_keypair(publicKey.data(), secretKey.data());
}

std::string SigningKey::publicKeyBase64() const {
  return base64(publicKey);
}

std::string SigningKey::signBase64(std::string_view message) const {
  std::vector<unsigned char> signature(crypto_sign_BYTES);
  crypto_sign_detached(signature.data(), nullptr,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                       secretKey.data());
  return base64(signature);
}

std::string base64(const std::vector<unsigned char>& bytes) {
  std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), bytes.data(), bytes.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  out.resize(out.find('\0'));
  return out;
}

}  // namespace corvane::operations::testing
