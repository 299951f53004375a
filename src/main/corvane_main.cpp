// The corvane executable: one instance per settings folder, the process-wide order (Xlib's
// threads and error handlers, then Qt, then the main actor), the application, and an ordered
// end whether the user quits or a signal asks.
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "main/corvane_application.h"
#include "main/display_loss_exit.h"
#include "main/maintenance_wiring.h"
#include "main/private_runtime_folder.h"
#include "main/qt_x11_display.h"
#include "main/quit_signals.h"
#include "main/single_instance.h"
#include "model/diagnostic_reporter.h"
#include "runtime/runtime.h"
#include "ui/qt_main_executor.h"

// Xlib last: its macros clash with Qt's names.
#include "platform/x11/x_connection.h"

namespace {

// The install directory: the folder above bin/corvane.
std::filesystem::path bundleRoot(const char* argument0) {
  std::error_code error;
  auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) executable = std::filesystem::absolute(argument0, error);
  return executable.parent_path().parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvane;
  std::vector<std::string> arguments(argv, argv + argc);
  const auto folders = platform::WellKnownFolders::fromEnvironment();

  // A copy started by a restart first lets the one that started it finish.
  wiring::awaitEarlierCopy(arguments);

  // Before anything writes a setting or starts the crash reporter: a later launch hands "reopen"
  // to the running one and ends, or gives up when that one does not answer. Without a private
  // place for the socket, or with another user holding it, this copy runs on its own rather than
  // hand anything to someone else.
  using Role = wiring::SingleInstance::Role;
  auto runtimeFolder = wiring::privateRuntimeFolder(std::getenv("XDG_RUNTIME_DIR"));
  auto claim = runtimeFolder
                   ? wiring::SingleInstance::claim(runtimeFolder.value(), folders.configHome,
                                                   wiring::SingleInstance::kReopenMessage)
                   : runtime::Result<wiring::SingleInstance::Claim>(runtimeFolder.error());
  if (claim && claim->role == Role::forwarded) return 0;
  if (claim && claim->role == Role::unanswered) {
    std::fprintf(stderr, "corvane: Corvane is already running but does not answer.\n");
    return 1;
  }
  if (!claim) std::fprintf(stderr, "corvane: %s\n", claim.message().c_str());
  std::unique_ptr<wiring::SingleInstance> instance =
      claim ? std::move(claim.value().primary) : nullptr;

  platform::x11::installProcessHandlers();
  QApplication qtApplication(argc, argv);
  // Again: Qt's xcb plugin installed its own, which end the process from any thread.
  platform::x11::installProcessHandlers();
  QApplication::setApplicationName("Corvane");
  QApplication::setDesktopFileName("com.pemberquist.corvane");
  // Corvane lives in the tray: closing its last window does not end it.
  QApplication::setQuitOnLastWindowClosed(false);
  ui::QtMainExecutor executor;
  runtime::ScopedRuntime runtime({&executor, runtime::threadQueueFactory()});

  auto opened = wiring::CorvaneApplication::open(bundleRoot(argv[0]), folders, arguments);
  if (!opened) {
    std::fprintf(stderr, "corvane: %s\n", opened.message().c_str());
    return 1;
  }
  auto application = std::move(opened).value();
  wiring::DisplayLossExit::install(&wiring::qtX11ConnectionBroken, [&application] {
    // The exit skips every destructor: settings still waiting to be saved go out here.
    if (application) application->flushSettings();
    auto& eventLog = model::DiagnosticReporter::shared();
    eventLog.record("x_display_connection_lost");
    eventLog.flush();
  });

  // exit() rather than quit(): quit asks every window to close first, and Corvane's windows only
  // order out when asked.
  wiring::QuitSignals quitSignals([](int) { QApplication::exit(0); });
  std::unique_ptr<QSocketNotifier> reopenRequests;
  if (instance) {
    reopenRequests =
        std::make_unique<QSocketNotifier>(instance->descriptor(), QSocketNotifier::Read);
    QObject::connect(reopenRequests.get(), &QSocketNotifier::activated, [&] {
      for (const auto& message : instance->takeMessages()) {
        if (message == wiring::SingleInstance::kReopenMessage) application->reopen();
      }
    });
  }

  application->finishLaunching();
  const int status = QApplication::exec();
  reopenRequests.reset();
  application->terminate();
  application.reset();
  return status;
}
