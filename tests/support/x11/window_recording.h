#pragma once

// GStreamer's ximagesrc recording a window by its id, as a screen recorder or a meeting
// application's window share does: ten frames a second, each scaled to a small raw BGRx frame
// appended to a file, in the background.
#include <sys/wait.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/x11/xvfb_server.h"

namespace corvane::testing {

inline constexpr int kRecordedWidth = 64;
inline constexpr int kRecordedHeight = 36;
inline constexpr int kRecordedFramesPerSecond = 10;
inline constexpr std::uintmax_t kRecordedFrameBytes = kRecordedWidth * kRecordedHeight * 4;

// Records `window` for `seconds` into `file`; the recorder's process, or -1.
inline pid_t recordWithGStreamer(unsigned long window, int seconds,
                                 const std::filesystem::path& file) {
  const std::string size =
      "width=" + std::to_string(kRecordedWidth) + ",height=" + std::to_string(kRecordedHeight);
  return spawnQuietly(
      {"gst-launch-1.0", "-q", "ximagesrc", "xid=" + std::to_string(window), "use-damage=false",
       "num-buffers=" + std::to_string(seconds * kRecordedFramesPerSecond), "!",
       "video/x-raw,framerate=" + std::to_string(kRecordedFramesPerSecond) + "/1", "!",
       "videoconvert", "!", "videoscale", "!", "video/x-raw,format=BGRx," + size, "!", "filesink",
       "location=" + file.string()},
      {});
}

// The frames recorded into `file` so far.
inline std::uintmax_t recordedFrames(const std::filesystem::path& file) {
  std::error_code error;
  const auto bytes = std::filesystem::file_size(file, error);
  return error ? 0 : bytes / kRecordedFrameBytes;
}

// Waits for a recording of `seconds` to end (four times as long at most, for a loaded machine),
// calling `meanwhile` between looks (the test's own event loop); the recorder's wait status, or
// nothing when it did not end.
template <class Meanwhile>
std::optional<int> awaitRecording(pid_t recorder, int seconds, Meanwhile meanwhile) {
  int status = -1;
  const bool ended = waitUntil(
      [&] {
        meanwhile();
        return waitpid(recorder, &status, WNOHANG) == recorder;
      },
      seconds * 4.0);
  if (!ended) return std::nullopt;
  return status;
}

}  // namespace corvane::testing
