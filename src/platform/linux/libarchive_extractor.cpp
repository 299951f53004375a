#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/archive_extractor.h"
#include "platform/linux/archive_paths.h"
#include "platform/linux/zip_unix_file_types.h"

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
using Reader = std::unique_ptr<archive, ReaderDeleter>;

std::string readerError(archive* reader) {
  const char* text = archive_error_string(reader);
  return text != nullptr ? text : "unknown error";
}

runtime::Result<Reader> openReader(std::string_view bytes) {
  Reader reader(archive_read_new());
  if (!reader) return runtime::Result<Reader>::failure("Archive reader unavailable.");
  // The central directory is what every zip tool reads; streaming local headers could disagree.
  archive_read_support_format_zip_seekable(reader.get());
  archive_read_support_filter_none(reader.get());
  if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
    return runtime::Result<Reader>::failure("Could not open the archive: " +
                                            readerError(reader.get()));
  }
  return reader;
}

std::string entryName(archive_entry* entry) {
  const char* name = archive_entry_pathname(entry);
  return name != nullptr ? name : "";
}

std::string joined(const std::vector<std::string>& elements) {
  std::string path;
  for (const auto& element : elements) path += (path.empty() ? "" : "/") + element;
  return path;
}

// One header as the survey read it.
struct SurveyedEntry {
  std::vector<std::string> elements;
  mode_t type = 0;
  std::string linkTarget;
  std::uint64_t size = 0;

  bool operator==(const SurveyedEntry&) const = default;
};

// What the whole archive would unpack to, learned from its headers before anything is written.
struct ArchiveSurvey {
  std::vector<SurveyedEntry> entries;
  ArchiveLinks links;
  std::uint64_t declaredBytes = 0;
};

// The entry as its header describes it; nothing when its name is not a confined path.
std::optional<SurveyedEntry> describe(archive_entry* entry) {
  auto elements = confinedEntryElements(entryName(entry));
  if (!elements) return std::nullopt;
  SurveyedEntry described{std::move(*elements), archive_entry_filetype(entry), {}, 0};
  if (described.type == AE_IFLNK && archive_entry_symlink(entry) != nullptr) {
    described.linkTarget = archive_entry_symlink(entry);
  }
  if (described.type == AE_IFREG) {
    described.size = static_cast<std::uint64_t>(archive_entry_size(entry));
  }
  return described;
}

// Reads every header: names, types, links, counts and declared sizes, refusing at the first entry
// that could not be unpacked safely.
runtime::Result<ArchiveSurvey> survey(std::string_view bytes, const ExtractionLimits& limits) {
  using Failure = runtime::Result<ArchiveSurvey>;
  auto reader = openReader(bytes);
  if (!reader) return Failure(reader.error());
  const std::set<std::string> otherTypeNames = zipEntriesOfOtherUnixTypes(bytes);
  ArchiveSurvey result;
  std::set<std::vector<std::string>> leaves;  // every path but folders: none may repeat
  std::uint64_t entries = 0;
  archive_entry* entry = nullptr;
  for (;;) {
    const int status = archive_read_next_header(reader->get(), &entry);
    if (status == ARCHIVE_EOF) break;
    if (status != ARCHIVE_OK) {
      return Failure::failure("Archive is damaged: " + readerError(reader->get()));
    }
    if (++entries > limits.maxEntries) {
      return Failure::failure("Archive holds more entries than allowed.");
    }
    const std::string name = entryName(entry);
    auto surveyed = describe(entry);
    if (!surveyed) return Failure::failure("Archive entry lies outside the unpack folder: " + name);
    if (archive_entry_hardlink(entry) != nullptr) {
      return Failure::failure("Archive entry is a hard link: " + name);
    }
    const mode_t type = surveyed->type;
    const bool ordinary = type == AE_IFREG || type == AE_IFDIR || type == AE_IFLNK;
    if (!ordinary || otherTypeNames.count(name) != 0) {
      return Failure::failure("Archive entry is not a file or folder: " + name);
    }
    if (type != AE_IFDIR && !leaves.insert(surveyed->elements).second) {
      return Failure::failure("Archive holds the same path twice: " + name);
    }
    if (type == AE_IFLNK) {
      if (archive_entry_symlink(entry) == nullptr) {
        return Failure::failure("Archive link has no target: " + name);
      }
      result.links.add(surveyed->elements, surveyed->linkTarget);
    }
    if (type == AE_IFREG) {
      if (archive_entry_size_is_set(entry) == 0 || archive_entry_size(entry) < 0) {
        return Failure::failure("Archive entry does not declare its size: " + name);
      }
      result.declaredBytes += surveyed->size;
      if (result.declaredBytes > limits.maxTotalBytes) {
        return Failure::failure("Archive unpacks to more data than allowed.");
      }
    }
    result.entries.push_back(std::move(*surveyed));
  }
  for (const auto& [elements, target] : result.links.targets()) {
    if (!result.links.staysInside(elements, target)) {
      return Failure::failure("Archive link points outside the unpack folder: " + joined(elements));
    }
  }
  for (const auto& surveyed : result.entries) {
    if (result.links.passesThroughLink(surveyed.elements)) {
      return Failure::failure("Archive entry lies behind a link: " + joined(surveyed.elements));
    }
  }
  return result;
}

Status checkFreeSpace(const fs::path& destination, std::uint64_t needed) {
  struct statvfs info {};
  if (::statvfs(destination.c_str(), &info) != 0) return Status::success();
  const std::uint64_t available =
      static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
  if (needed > available) {
    return Status::failure("There is not enough free space to unpack the archive (" +
                           std::to_string(needed) + " bytes needed).");
  }
  return Status::success();
}

// Copies one file's data, holding it to what its header declared and the whole to the limit.
Status copyData(archive* reader, archive* writer, std::uint64_t declared, std::uint64_t& totalBytes,
                const ExtractionLimits& limits) {
  const void* block = nullptr;
  size_t size = 0;
  la_int64_t offset = 0;
  std::uint64_t written = 0;
  for (;;) {
    const int status = archive_read_data_block(reader, &block, &size, &offset);
    if (status == ARCHIVE_EOF) return Status::success();
    if (status != ARCHIVE_OK)
      return Status::failure("Archive data is damaged: " + readerError(reader));
    written += size;
    totalBytes += size;
    if (written > declared)
      return Status::failure("Archive entry holds more data than it declares.");
    if (totalBytes > limits.maxTotalBytes) {
      return Status::failure("Archive unpacks to more data than allowed.");
    }
    if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
      return Status::failure("Could not write an unpacked file: " + readerError(writer));
    }
  }
}

Status unpack(std::string_view bytes, const ArchiveSurvey& surveyed, const fs::path& destination,
              const ExtractionLimits& limits) {
  auto reader = openReader(bytes);
  if (!reader) return Status(reader.error());
  std::unique_ptr<archive, WriterDeleter> writer(archive_write_disk_new());
  if (!writer) return Status::failure("Archive writer unavailable.");
  archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                   ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME |
                                                   ARCHIVE_EXTRACT_NO_OVERWRITE);
  std::uint64_t totalBytes = 0;
  std::size_t index = 0;
  archive_entry* entry = nullptr;
  for (;;) {
    const int status = archive_read_next_header(reader->get(), &entry);
    if (status == ARCHIVE_EOF) break;
    if (status != ARCHIVE_OK) {
      return Status::failure("Archive is damaged: " + readerError(reader->get()));
    }
    const std::string name = entryName(entry);
    // Only what was surveyed is written, in the order it was surveyed.
    const auto described = describe(entry);
    if (index >= surveyed.entries.size() || !described ||
        !(*described == surveyed.entries[index])) {
      return Status::failure("Archive changed while it was unpacked: " + name);
    }
    const SurveyedEntry& expected = surveyed.entries[index++];
    // Owner-only permissions at most; no set-id bits from an archive.
    archive_entry_set_perm(entry, archive_entry_perm(entry) & 0755);
    fs::path target = destination;
    for (const auto& element : expected.elements) target /= element;
    archive_entry_set_pathname(entry, target.c_str());
    if (archive_write_header(writer.get(), entry) != ARCHIVE_OK) {
      return Status::failure("Could not unpack " + name + ": " + readerError(writer.get()));
    }
    if (expected.type == AE_IFREG) {
      Status copied = copyData(reader->get(), writer.get(), expected.size, totalBytes, limits);
      if (!copied) return copied;
    }
    if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) {
      return Status::failure("Could not finish " + name + ": " + readerError(writer.get()));
    }
  }
  if (archive_write_close(writer.get()) != ARCHIVE_OK) {
    return Status::failure("Could not finish unpacking: " + readerError(writer.get()));
  }
  return Status::success();
}

class LibarchiveExtractor final : public ArchiveExtractor {
 public:
  Status extract(std::string_view bytes, const fs::path& destination,
                 const ExtractionLimits& limits) override {
    auto surveyed = survey(bytes, limits);
    if (!surveyed) return Status(surveyed.error());
    if (auto space = checkFreeSpace(destination, surveyed->declaredBytes); !space) return space;
    // The second reading yields the same headers: the bytes are the same and held by the caller.
    return unpack(bytes, *surveyed, destination, limits);
  }
};

}  // namespace

std::shared_ptr<ArchiveExtractor> makeArchiveExtractor() {
  return std::make_shared<LibarchiveExtractor>();
}

}  // namespace corvane::platform
