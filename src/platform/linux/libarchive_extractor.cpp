#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <memory>
#include <set>
#include <string>

#include "platform/archive_extractor.h"

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;
using runtime::Status;

struct ReaderDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
  void operator()(archive* a) const { archive_write_free(a); }
};

// A relative path with no "..", "." or empty component that names something below the root.
bool isConfinedRelativePath(const fs::path& path) {
  if (path.empty() || path.is_absolute() || path.has_root_name()) return false;
  for (const auto& part : path) {
    const std::string text = part.string();
    if (text == "..") return false;
  }
  const fs::path normal = path.lexically_normal();
  return !normal.empty() && *normal.begin() != ".." && normal != ".";
}

// A symbolic link stays inside when its target, read relative to the link's folder, does.
bool isConfinedLinkTarget(const fs::path& entryPath, const std::string& target) {
  if (target.empty()) return false;
  const fs::path targetPath(target);
  if (targetPath.is_absolute()) return false;
  const fs::path resolved = (entryPath.parent_path() / targetPath).lexically_normal();
  return !resolved.empty() && *resolved.begin() != ".." && resolved.is_relative();
}

bool passesThroughLink(const fs::path& normalName, const std::set<fs::path>& links) {
  fs::path prefix;
  for (const auto& part : normalName) {
    prefix /= part;
    if (links.count(prefix) != 0) return true;
  }
  return false;
}

Status copyData(archive* reader, archive* writer, std::uint64_t& totalBytes,
                const ExtractionLimits& limits) {
  const void* block = nullptr;
  size_t size = 0;
  la_int64_t offset = 0;
  while (true) {
    const int status = archive_read_data_block(reader, &block, &size, &offset);
    if (status == ARCHIVE_EOF) return Status::success();
    if (status != ARCHIVE_OK) {
      return Status::failure(std::string("Archive data is damaged: ") +
                             archive_error_string(reader));
    }
    totalBytes += size;
    if (totalBytes > limits.maxTotalBytes) {
      return Status::failure("Archive unpacks to more data than allowed.");
    }
    if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
      return Status::failure(std::string("Could not write an unpacked file: ") +
                             archive_error_string(writer));
    }
  }
}

class LibarchiveExtractor final : public ArchiveExtractor {
 public:
  Status extract(const fs::path& archivePath, const fs::path& destination,
                 const ExtractionLimits& limits) override {
    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    std::unique_ptr<archive, WriterDeleter> writer(archive_write_disk_new());
    if (!reader || !writer) return Status::failure("Archive reader unavailable.");
    // The central directory is what every zip tool reads; streaming local headers could disagree.
    archive_read_support_format_zip_seekable(reader.get());
    archive_read_support_filter_none(reader.get());
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME |
                                                     ARCHIVE_EXTRACT_NO_OVERWRITE);
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 64 * 1024) != ARCHIVE_OK) {
      return Status::failure(std::string("Could not open the archive: ") +
                             archive_error_string(reader.get()));
    }

    // Links unpacked so far: nothing may be written through one.
    std::set<fs::path> links;
    std::uint64_t entries = 0;
    std::uint64_t totalBytes = 0;
    archive_entry* entry = nullptr;
    while (true) {
      const int status = archive_read_next_header(reader.get(), &entry);
      if (status == ARCHIVE_EOF) break;
      if (status != ARCHIVE_OK) {
        return Status::failure(std::string("Archive is damaged: ") +
                               archive_error_string(reader.get()));
      }
      if (++entries > limits.maxEntries) {
        return Status::failure("Archive holds more entries than allowed.");
      }
      const char* rawName = archive_entry_pathname(entry);
      const fs::path name = rawName != nullptr ? fs::path(rawName) : fs::path();
      if (!isConfinedRelativePath(name)) {
        return Status::failure("Archive entry lies outside the unpack folder: " + name.string());
      }
      if (passesThroughLink(name.lexically_normal(), links)) {
        return Status::failure("Archive entry lies behind a link: " + name.string());
      }
      const mode_t type = archive_entry_filetype(entry);
      if (archive_entry_hardlink(entry) != nullptr) {
        return Status::failure("Archive entry is a hard link: " + name.string());
      }
      if (type == AE_IFLNK) {
        const char* target = archive_entry_symlink(entry);
        if (target == nullptr || !isConfinedLinkTarget(name, target)) {
          return Status::failure("Archive link points outside the unpack folder: " + name.string());
        }
        links.insert(name.lexically_normal());
      } else if (type != AE_IFREG && type != AE_IFDIR) {
        return Status::failure("Archive entry is not a file or folder: " + name.string());
      }
      // Owner-only permissions at most; no set-id bits from an archive.
      archive_entry_set_perm(entry, archive_entry_perm(entry) & 0755);
      const std::string target = (destination / name.lexically_normal()).string();
      archive_entry_set_pathname(entry, target.c_str());
      if (archive_write_header(writer.get(), entry) != ARCHIVE_OK) {
        return Status::failure(std::string("Could not unpack ") + name.string() + ": " +
                               archive_error_string(writer.get()));
      }
      if (type == AE_IFREG) {
        Status copied = copyData(reader.get(), writer.get(), totalBytes, limits);
        if (!copied) return copied;
      }
      if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) {
        return Status::failure(std::string("Could not finish ") + name.string() + ": " +
                               archive_error_string(writer.get()));
      }
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
      return Status::failure(std::string("Could not finish unpacking: ") +
                             archive_error_string(writer.get()));
    }
    return Status::success();
  }
};

}  // namespace

std::shared_ptr<ArchiveExtractor> makeArchiveExtractor() {
  return std::make_shared<LibarchiveExtractor>();
}

}  // namespace corvane::platform
