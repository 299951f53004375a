// How applications are named by what starts them, tried with the programs that start them: Tk
// scripts their interpreter runs, helpers cut from their application, one process drawing the
// modules of a suite, a browser drawing its web applications. Each private window must be out of
// every frame, from the first; each public one shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/program_path.h"
#include "x11/application_naming_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

class LaunchedApplicationNamingTest : public ApplicationNamingTest {
 protected:
  static bool runsTk() {
    return fs::exists("/usr/bin/python3") &&
           std::system("/usr/bin/python3 -c 'import tkinter' 2>/dev/null") == 0;
  }
  static bool installed(const std::string& program) {
    return findProgram(program, programSearchPath()).has_value();
  }
  // The Tk test application installed as an executable "#!" script named `name`.
  fs::path installScript(const std::string& name) const {
    const auto path = folder_.path() / "bin" / name;
    fs::create_directories(path.parent_path());
    fs::copy_file(CORVANE_TK_TEST_WINDOW, path, fs::copy_options::overwrite_existing);
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
    return path;
  }
  // `options` with the client run as `program`, given `extraArguments` too.
  static TestClientOptions runAs(const fs::path& program, TestClientOptions options,
                                 std::vector<std::string> extraArguments = {}) {
    options.program = program.string();
    options.extraArguments = std::move(extraArguments);
    return options;
  }
  static std::string arguments(const TestClientOptions& options) {
    return "--class " + options.windowClass + " --colour " + hex(options.colour) + " --geometry " +
           geometryOf(options);
  }
  // An entry `id` whose Exec= runs `script` with the window's arguments, started by dex.
  TestClientOptions startedByDex(const std::string& id, const fs::path& script,
                                 TestClientOptions options) const {
    writeEntry(id, "", script.string() + " " + arguments(options));
    options.startedBy = {"dex", (userApplications() / (id + ".desktop")).string()};
    return options;
  }
  // The interpreter's entry as Debian installs it: hidden, starting the interpreter alone.
  void writeInterpreterEntry() const {
    const fs::path debian = "/usr/share/applications/python3.11.desktop";
    const auto folder = folder_.path() / "system/applications";
    fs::create_directories(folder);
    if (fs::exists(debian)) {
      fs::copy_file(debian, folder / debian.filename(), fs::copy_options::overwrite_existing);
      return;
    }
    std::ofstream(folder / "python3.11.desktop")
        << "[Desktop Entry]\nName=Python (v3.11)\nExec=/usr/bin/python3.11\nTerminal=true\n"
           "Type=Application\nNoDisplay=true\n";
  }
};

// An entry whose Exec= names a script: the process runs the interpreter the script's "#!" line
// names, with the script as its first argument, whether a shell or dex started it.
TEST_P(LaunchedApplicationNamingTest, AnEntryThatRunsAScriptNamesTheInterpreterRunningIt) {
  if (!runsTk()) GTEST_SKIP() << "needs /usr/bin/python3 with tkinter (python3-tk)";
  if (!installed("dex")) GTEST_SKIP() << "needs dex";
  constexpr std::uint32_t kShellVault = 0x000080, kRelativeVault = 0x800080, kDexVault = 0x400000;
  constexpr std::uint32_t kShellNotes = 0x808000, kDexNotes = 0x008080;
  const auto vault = installScript("vault_sh.py");
  const auto notes = installScript("notes_sh.py");
  writeEntry("org.example.ScriptVault", "", vault.string() + " %U");
  writeEntry("org.example.ScriptNotes", "", notes.string() + " %U");
  const auto dexVaultOptions =
      startedByDex("org.example.DexVault", installScript("vault_dex.py"), cell(2, "Tk", kDexVault));
  const auto dexNotesOptions =
      startedByDex("org.example.DexNotes", installScript("notes_dex.py"), cell(6, "Tk", kDexNotes));
  makeCapture();
  auto fromShell = [&](const fs::path& script, TestClientOptions options) {
    return client(runAs(script, std::move(options)));
  };
  auto shellVault = fromShell(vault, cell(0, "Tk", kShellVault));
  auto shellNotes = fromShell(notes, cell(5, "Tk", kShellNotes));
  // Typed in a terminal in the script's folder: the kernel passes the path as typed.
  auto relative = cell(1, "Tk", kRelativeVault);
  relative.startedBy = {"/bin/sh", "-c",
                        "cd '" + vault.parent_path().string() + "' && ./" +
                            vault.filename().string() + " " + arguments(relative)};
  auto relativeVault = client(relative);
  auto dexVault = client(dexVaultOptions);
  auto dexNotes = client(dexNotesOptions);
  auto& running = startStream(excluding({"org.example.ScriptVault", "org.example.DexVault"}));
  expectOnly(running, {kShellVault, kRelativeVault, kDexVault}, {kShellNotes, kDexNotes});
}

// A helper that cut every tie to its application's process but the launch record it inherited:
// the interpreter's hidden entry, which every Python process runs, does not make it an
// application of its own.
TEST_P(LaunchedApplicationNamingTest, AHelperCutFromItsApplicationGoesWithItsLaunch) {
  if (!runsTk()) GTEST_SKIP() << "needs /usr/bin/python3 with tkinter (python3-tk)";
  constexpr std::uint32_t kVault = 0x000080, kVaultHelper = 0x800080;
  constexpr std::uint32_t kNotes = 0x808000, kNotesHelper = 0x008080;
  writeInterpreterEntry();
  auto launched = [&](const std::string& id, int at, std::uint32_t colour) {
    const auto script = installScript(id + ".py");
    installScript("helperwin.py");
    writeEntry("org.example." + id, "", script.string() + " %U");
    auto options = runAs(script, cell(at, "Tk", colour));
    options.launchedFrom = (userApplications() / ("org.example." + id + ".desktop")).string();
    return client(options);
  };
  auto vault = launched("TkVault", 0, kVault);
  auto notes = launched("TkNotes", 5, kNotes);
  makeCapture();
  auto& running = startStream(excluding({"org.example.TkVault"}));
  waitForCurrentFrames(running);
  for (auto [application, name, at, colour] :
       {std::tuple{vault.get(), "VaultHelper", 1, kVaultHelper},
        std::tuple{notes.get(), "NotesHelper", 6, kNotesHelper}}) {
    const auto helper = application->command(std::string("helper ") + name + " " +
                                             geometryOf(cell(at, "", 0)) + " " + hex(colour));
    ASSERT_NE(helper, 0u);
    ASSERT_TRUE(waitUntil([&] { return rootRect(display(), helper).viewable; }));
  }
  expectOnly(running, {kVault, kVaultHelper}, {kNotes, kNotesHelper});
  auto& next = startStream(excluding({"org.example.TkVault"}));
  expectOnly(next, {kVault, kVaultHelper}, {kNotes, kNotesHelper});
}

// One process draws the modules of a suite; a new window maps under a generic class and takes
// its module's class once the module has loaded.
TEST_P(LaunchedApplicationNamingTest, ASuiteWindowIsHeldBackUntilItHasAName) {
  const auto office = installProgram("office");
  writeEntry("office-writer", "office-writer", office.string() + " --writer %U");
  writeEntry("office-calc", "office-calc", office.string() + " --calc %U");
  makeCapture();
  constexpr std::uint32_t kCalc = 0x00C0C0, kWriter = 0x0000C0, kLoading = 0x804000;
  constexpr std::uint32_t kNewInCalc = 0x400040, kNewInWriter = 0x004040;
  auto module = [&](int at, const std::string& windowClass, const std::string& option,
                    std::uint32_t colour) {
    return client(runAs(office, cell(at, windowClass, colour), {option}));
  };
  auto calc = module(0, "office-calc", "--calc", kCalc);
  auto writer = module(5, "office-writer", "--writer", kWriter);
  auto& writerPrivate = startStream(excluding({"office-writer"}));
  auto& calcPrivate = startStream(excluding({"office-calc"}));
  // The first window of a launch its command line names goes with that module from the start.
  auto loading = module(10, "Soffice", "--writer", kLoading);
  // Each process opens the other module: under the generic class first, then under its own.
  auto openOther = [&](TestClient& process, int at, const std::string& moduleClass,
                       std::uint32_t colour) {
    const auto window = openWindow(process, "soffice", "Soffice", at, colour);
    waitForCurrentFrames(writerPrivate);
    waitForCurrentFrames(calcPrivate);
    ASSERT_EQ(process.command("class " + moduleClass + " " + std::to_string(window)), window);
  };
  openOther(*calc, 1, "office-writer", kNewInCalc);
  openOther(*writer, 6, "office-calc", kNewInWriter);
  expectOnly(writerPrivate, {kWriter, kNewInCalc, kLoading}, {kCalc, kNewInWriter});
  expectOnly(calcPrivate, {kCalc, kNewInWriter}, {kWriter, kNewInCalc});
}

// A browser's web application carries the browser's class and an instance its own entry claims:
// the entry that claims the instance speaks for it, whichever of the two is private.
TEST_P(LaunchedApplicationNamingTest, AWebApplicationIsNamedByItsInstanceBeforeItsClass) {
  const auto browser = installProgram("chromium");
  writeEntry("chromium", "chromium", browser.string() + " %U");
  writeEntry("chrome-mail-Default", "crx_mail", browser.string() + " --app-id=mail");
  makeCapture();
  constexpr std::uint32_t kBrowser = 0xC00000, kWebApp = 0x4000FF;
  auto process = client(runAs(browser, cell(0, "Chromium", kBrowser)));
  openWindow(*process, "crx_mail", "Chromium", 1, kWebApp);
  auto& browserPrivate = startStream(excluding({"chromium"}));
  auto& webAppPrivate = startStream(excluding({"chrome-mail-Default"}));
  expectOnly(browserPrivate, {kBrowser}, {kWebApp});
  expectOnly(webAppPrivate, {kWebApp}, {kBrowser});
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWindowManager, LaunchedApplicationNamingTest,
                         ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
