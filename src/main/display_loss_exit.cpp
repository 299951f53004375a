#include "main/display_loss_exit.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace corvane::wiring {
namespace {

std::function<bool()>& lostCheck() {
  static auto* check = new std::function<bool()>();
  return *check;
}

std::function<void()>& lossRecorder() {
  static auto* recorder = new std::function<void()>();
  return *recorder;
}

void endIfDisplayLost() {
  if (!lostCheck() || !lostCheck()()) return;
  if (lossRecorder()) lossRecorder()();
  [[maybe_unused]] const auto written =
      write(STDERR_FILENO, DisplayLossExit::kSentence, std::strlen(DisplayLossExit::kSentence));
  _exit(DisplayLossExit::kStatus);
}

}  // namespace

void DisplayLossExit::install(std::function<bool()> displayLost, std::function<void()> recordLoss) {
  lostCheck() = std::move(displayLost);
  lossRecorder() = std::move(recordLoss);
  // Registered after Qt started, so it runs before every exit handler registered earlier.
  std::atexit(&endIfDisplayLost);
}

}  // namespace corvane::wiring
