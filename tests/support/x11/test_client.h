#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/x11/xvfb_server.h"

namespace corvane::testing {

struct TestClientOptions {
  std::string windowClass = "TestClient";
  std::string instance;             // WM_CLASS's instance; empty: the class in lower case
  std::uint32_t colour = 0xFF0000;  // RRGGBB
  int x = 0, y = 0, width = 100, height = 100;
  bool lazy = false;  // never paints
  bool desktop = false;
  bool overrideRedirect = false;
  bool shaped = false;        // only the left half is in its bounding shape
  bool stubborn = false;      // ignores WM_DELETE_WINDOW
  bool withoutClass = false;  // maps without WM_CLASS (set later with the "class" command)
  int textPixelSize = 0;      // above 0: a page of black monospace text on white, this high
  std::vector<std::string> extraEnvironment;
  int runAsUser = -1;       // 0 or above (the caller being root): the client runs as this user
  bool undumpable = false;  // not dumpable: its environment and executable hidden from others
  bool unmapped = false;    // its window is mapped only by the "remap" command
  // Started from this desktop entry file, as a desktop launcher records it in the environment.
  std::string launchedFrom;
  // The program run: a copy of the test client (installed as an application is); empty: the
  // test client itself.
  std::string program;
  // More arguments, which the client ignores, for an entry's Exec= to find ("--writer").
  std::vector<std::string> extraArguments;
  // Run instead of the client: a command that starts it (a launcher given an entry whose Exec=
  // runs the client with every option). The options above then only say where it draws.
  std::vector<std::string> startedBy;
};

// One running x11_test_client, driven through its standard input.
class TestClient {
 public:
  TestClient(const std::string& display, const TestClientOptions& options) {
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    char colour[16];
    std::snprintf(colour, sizeof colour, "%06X", options.colour & 0xFFFFFF);
    std::vector<std::string> arguments = {
        options.program.empty() ? std::string(CORVANE_X11_TEST_CLIENT) : options.program,
        "--class",
        options.windowClass,
        "--colour",
        colour,
        "--geometry",
        std::to_string(options.width) + "x" + std::to_string(options.height) + "+" +
            std::to_string(options.x) + "+" + std::to_string(options.y)};
    if (!options.instance.empty())
      arguments.insert(arguments.end(), {"--instance", options.instance});
    if (options.lazy) arguments.push_back("--lazy");
    if (options.desktop) arguments.push_back("--desktop");
    if (options.overrideRedirect) arguments.push_back("--override-redirect");
    if (options.shaped) arguments.push_back("--shaped");
    if (options.stubborn) arguments.push_back("--stubborn");
    if (options.withoutClass) arguments.push_back("--no-class");
    if (options.textPixelSize > 0) {
      arguments.push_back("--text");
      arguments.push_back(std::to_string(options.textPixelSize));
    }
    if (options.undumpable) arguments.push_back("--undumpable");
    if (options.unmapped) arguments.push_back("--unmapped");
    arguments.insert(arguments.end(), options.extraArguments.begin(), options.extraArguments.end());
    if (options.runAsUser >= 0) {
      const auto user = std::to_string(options.runAsUser);
      arguments.insert(arguments.begin(),
                       {"setpriv", "--reuid=" + user, "--regid=" + user, "--clear-groups", "--"});
    }
    if (!options.startedBy.empty()) arguments = options.startedBy;
    auto environment = options.extraEnvironment;
    environment.push_back("DISPLAY=" + display);
    if (!options.launchedFrom.empty()) {
      // The launcher names the process it starts: the shell's id is the client's after exec.
      environment.push_back("GIO_LAUNCHED_DESKTOP_FILE=" + options.launchedFrom);
      arguments.insert(
          arguments.begin(),
          {"/bin/sh", "-c", "export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; exec \"$@\"", "launcher"});
    }
    pid_ = spawnProgram(arguments, environment, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    input_ = input[1];
    output_ = output[0];
    window_ = readWindow();
  }
  ~TestClient() {
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
    endProcess(pid_, SIGKILL);
  }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  pid_t pid() const { return pid_; }
  unsigned long window() const { return window_; }

  // Sends a command; returns the window id the client announces in reply.
  unsigned long command(const std::string& line) {
    const std::string text = line + "\n";
    if (write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return 0;
    return readWindow();
  }
  void send(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] auto written = write(input_, text.data(), text.size());
  }
  // True once the process has ended by itself.
  bool hasExited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return true;
    }
    return false;
  }

 private:
  unsigned long readWindow() {
    std::string line;
    pollfd descriptor{output_, POLLIN, 0};
    while (poll(&descriptor, 1, 10000) > 0) {
      char c;
      if (read(output_, &c, 1) != 1) break;
      if (c == '\n') return std::stoul(line);
      line.push_back(c);
    }
    return 0;
  }

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  unsigned long window_ = 0;
};

}  // namespace corvane::testing
