// The notes page the sensitive-text tests type into: what the test client draws with Cairo is what
// Tesseract reads back from a capture of the real server, after each of its commands.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "platform/linux/ocr/tesseract_text_recognizer.h"
#include "platform/x11/x11_desktop.h"
#include "runtime/virtual_run_loop.h"
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"
#include "verification_x11/x11_capture_helpers.h"

namespace corvane::testing {
namespace {

TEST(NotesClientOnX11, TesseractReadsBackTheLinesAfterEachCommand) {
  runtime::VirtualRunLoop loop;
  XvfbServer server(1280, 720);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  TestClient notes(server.name(), {.windowClass = "Notes",
                                   .x = 40,
                                   .y = 40,
                                   .width = 1000,
                                   .height = 480,
                                   .textPixelSize = 28});
  ASSERT_NE(notes.window(), 0u);
  auto desktop = platform::x11::openDesktop(server.name(), static_cast<std::int32_t>(getpid()));
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  const auto display = desktop.value().screens->mainScreen();
  ASSERT_TRUE(display);
  platform::ocr::TesseractTextRecognizer recognizer({});

  // The lines read inside the notes window (recognition space: bottom-left origin).
  platform::TextRecognitionRequest request;
  request.regionOfInterest = {{40.0 / 1280, 1 - 520.0 / 720}, {1000.0 / 1280, 480.0 / 720}};
  request.recognitionLanguages = {"en-US"};
  std::vector<std::string> read;
  auto reads = [&](const std::vector<std::string>& expected) {
    return waitUntil([&] {
      const auto frame = captureOnce(desktop.value(), display->displayID);
      if (!frame) return false;
      auto results = recognizer.recognizeText(*frame, {request});
      if (!results.ok()) return false;
      read.clear();
      for (const auto& line : results->front()) {
        if (line.topCandidate) read.push_back(line.topCandidate->string);
      }
      return read == expected;
    });
  };
  auto describe = [&] {
    std::string text;
    for (const auto& line : read) text += "[" + line + "] ";
    return text;
  };

  notes.command("line 0 Meeting notes for the weekly sync");
  notes.command("line 1 Budget review moved");
  notes.command("append  to Friday");
  EXPECT_TRUE(reads({"Meeting notes for the weekly sync", "Budget review moved to Friday"}))
      << describe();
  notes.command("line 3 Deploy key sk-live4f9a8b7c6d5e3f2a");
  notes.command("scroll 1");
  EXPECT_TRUE(reads({"Budget review moved to Friday", "Deploy key sk-live4f9a8b7c6d5e3f2a"}))
      << describe();
  notes.command("clear");
  EXPECT_TRUE(reads({})) << describe();
}

}  // namespace
}  // namespace corvane::testing
