#include "platform/linux/zip_unix_file_types.h"

#include <sys/stat.h>

#include <cstdint>
#include <optional>

namespace corvane::platform {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kEntrySignature = 0x02014b50;
constexpr std::size_t kEndBytes = 22;
constexpr std::size_t kEntryBytes = 46;
constexpr unsigned kUnixHost = 3;

// Little-endian fields, zero when they would lie beyond the end.
std::uint64_t field(std::string_view bytes, std::size_t at, int width) {
  if (at > bytes.size() || bytes.size() - at < static_cast<std::size_t>(width)) return 0;
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

// Where the central directory starts, searching back through the largest possible comment.
std::optional<std::uint64_t> directoryOffset(std::string_view bytes) {
  if (bytes.size() < kEndBytes) return std::nullopt;
  const std::size_t earliest =
      bytes.size() > kEndBytes + 0xFFFF ? bytes.size() - kEndBytes - 0xFFFF : 0;
  for (std::size_t at = bytes.size() - kEndBytes + 1; at-- > earliest;) {
    if (field(bytes, at, 4) != kEndSignature) continue;
    std::uint64_t offset = field(bytes, at + 16, 4);
    if (offset == 0xFFFFFFFF && at >= 20 && field(bytes, at - 20, 4) == kZip64LocatorSignature) {
      const std::uint64_t record = field(bytes, at - 20 + 8, 8);
      if (record >= bytes.size() || field(bytes, record, 4) != kZip64EndSignature) {
        return std::nullopt;
      }
      offset = field(bytes, record + 48, 8);
    }
    return offset;
  }
  return std::nullopt;
}

bool isSpecialType(std::uint32_t mode) {
  const std::uint32_t type = mode & S_IFMT;
  return type != 0 && type != S_IFREG && type != S_IFDIR && type != S_IFLNK;
}

}  // namespace

std::set<std::string> zipEntriesOfOtherUnixTypes(std::string_view bytes) {
  std::set<std::string> names;
  const auto start = directoryOffset(bytes);
  if (!start) return names;
  for (std::uint64_t at = *start; at < bytes.size() && field(bytes, at, 4) == kEntrySignature;) {
    const auto host = static_cast<unsigned>(field(bytes, at + 5, 1));
    const auto nameLength = field(bytes, at + 28, 2);
    const auto extraLength = field(bytes, at + 30, 2);
    const auto commentLength = field(bytes, at + 32, 2);
    const auto mode = static_cast<std::uint32_t>(field(bytes, at + 38, 4) >> 16);
    if (bytes.size() - at < kEntryBytes + nameLength) break;
    if (host == kUnixHost && isSpecialType(mode)) {
      names.emplace(bytes.substr(at + kEntryBytes, nameLength));
    }
    at += kEntryBytes + nameLength + extraLength + commentLength;
  }
  return names;
}

}  // namespace corvane::platform
