#pragma once

// The fixture of the naming tests: a private X server whose session reads application entries
// from folders of the test's own, with streams whose every frame is kept.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/polling.h"
#include "support/temporary_folder.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {

namespace fs = std::filesystem;

class ApplicationNamingTest : public CaptureOnServer {
 protected:
  // The session's application directories are folders of the test's own: the capture reads them
  // as it reads the real ones.
  void SetUp() override {
    CaptureOnServer::SetUp();  // the window manager keeps the session's folders
    if (HasFatalFailure()) return;
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
      const char* value = getenv(name);
      savedEnvironment_.emplace_back(name,
                                     value ? std::optional<std::string>(value) : std::nullopt);
    }
    setenv("XDG_DATA_HOME", (folder_ / "data").c_str(), 1);
    setenv("XDG_DATA_DIRS", (folder_ / "system").c_str(), 1);
  }
  // The capture as the application makes it, reading the entries written so far.
  void makeCapture() {
    capture_ = std::make_unique<X11ScreenCapture>(display(), makeDefaultIdentityResolver());
  }
  // The streams end before their recorders and queues go.
  void TearDown() override {
    for (auto& running : streams_) EXPECT_TRUE(stopStream(*running.stream).ok());
    for (const auto& [name, value] : savedEnvironment_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  fs::path userApplications() const { return folder_ / "data/applications"; }
  void writeEntry(const std::string& id, const std::string& startupClass,
                  const std::string& exec = "") const {
    fs::create_directories(userApplications());
    std::ofstream(userApplications() / (id + ".desktop"), std::ios::binary)
        << "[Desktop Entry]\nType=Application\nName=" << id << "\n"
        << (startupClass.empty() ? "" : "StartupWMClass=" + startupClass + "\n")
        << (exec.empty() ? "" : "Exec=" + exec + "\n");
  }
  // A copy of the test client installed as a program of its own.
  fs::path installProgram(const std::string& name) const {
    const auto path = folder_.path() / "bin" / name;
    fs::create_directories(path.parent_path());
    fs::copy_file(CORVANE_X11_TEST_CLIENT, path, fs::copy_options::overwrite_existing);
    return path;
  }
  // Where the grid's window number `cell` goes, 5 to a row, apart even when framed.
  static TestClientOptions cell(int cell, const std::string& windowClass, std::uint32_t colour) {
    return {.windowClass = windowClass,
            .colour = colour,
            .x = 10 + (cell % 5) * 158,
            .y = 10 + (cell / 5) * 118,
            .width = 130,
            .height = 80};
  }
  static std::string geometryOf(const TestClientOptions& options) {
    return std::to_string(options.width) + "x" + std::to_string(options.height) + "+" +
           std::to_string(options.x) + "+" + std::to_string(options.y);
  }
  static std::string hex(std::uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%06X", colour & 0xFFFFFF);
    return text;
  }
  // A stream with `filter`, started and kept until the end of the test.
  struct Running {
    SampleRecorder recorder;
    std::shared_ptr<runtime::ThreadSerialQueue> queue;
    std::shared_ptr<CaptureStream> stream;
  };
  Running& startStream(ContentFilter filter) {
    auto& running = streams_.emplace_back();
    running.queue = std::make_shared<runtime::ThreadSerialQueue>("test.samples");
    running.stream =
        capture_->makeStream(std::move(filter), {}, running.recorder.output(), running.queue);
    EXPECT_TRUE(testing::startStream(*running.stream).ok());
    return running;
  }
  // Waits for two frames composed after everything done so far: a new configuration makes the
  // stream compose at once.
  static void waitForCurrentFrames(Running& running) {
    auto& recorder = running.recorder;
    for (int round = 0; round < 2; ++round) {
      const std::size_t count = recorder.frameCount();
      running.stream->updateConfiguration({}, [](runtime::Status) {});
      ASSERT_TRUE(waitUntil([&] { return recorder.frameCount() > count; }))
          << "no frame came after the request";
    }
  }
  // Once the frames are current: a frame shows every public colour (a window just mapped may
  // not have painted yet), and no frame ever showed a private one.
  static void expectOnly(Running& running, std::initializer_list<std::uint32_t> hidden,
                         std::initializer_list<std::uint32_t> shown) {
    waitForCurrentFrames(running);
    auto& recorder = running.recorder;
    const auto showing =
        recorder.waitForFrame(recorder.frameCount() - 1, [&](const PixelBuffer& f) {
          return std::all_of(shown.begin(), shown.end(),
                             [&](std::uint32_t colour) { return countPixels(f, colour) > 0; });
        });
    const auto latest = showing ? showing : recorder.latest();
    ASSERT_TRUE(latest);
    for (std::uint32_t colour : shown) {
      EXPECT_GT(countPixels(*latest, colour), 0u) << "public " << hex(colour);
    }
    for (std::uint32_t colour : hidden) {
      EXPECT_EQ(recorder.framesShowingAny({colour}), 0u) << "private " << hex(colour);
    }
  }
  // Has `process` open another top-level window, class `windowClass` and instance `instance`, in
  // the grid's `cell`; its id once it shows.
  unsigned long openWindow(TestClient& process, const std::string& instance,
                           const std::string& windowClass, int at, std::uint32_t colour) {
    const auto window = process.command("window " + instance + " " + windowClass + " " +
                                        geometryOf(cell(at, "", 0)) + " " + hex(colour));
    EXPECT_NE(window, 0u);
    EXPECT_TRUE(waitUntil([&] { return rootRect(display(), window).viewable; }));
    return window;
  }
  std::unique_ptr<TestClient> privateClient(const std::string& windowClass, std::uint32_t colour,
                                            int x, std::vector<std::string> environment = {}) {
    return client({.windowClass = windowClass,
                   .colour = colour,
                   .x = x,
                   .y = 100,
                   .width = 200,
                   .height = 150,
                   .extraEnvironment = std::move(environment)});
  }

  corvane::testing::TemporaryFolder folder_{"corvane-naming"};
  std::list<Running> streams_;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

}  // namespace corvane::platform::x11::testing
