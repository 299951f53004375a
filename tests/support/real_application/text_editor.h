#pragma once

// A GTK editor (Geany, Mousepad or Pluma) showing a configuration file of planted lines, alone on
// a private X server without a window manager: its menus, tool bar, tab and status bar around the
// text. Its margins are its own, so the truth comes from its drawings (drawn_lines.h): the same
// editor, at the same size, opened on the file and on the file redrawn three ways, one after
// another.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/real_application/drawn_lines.h"
#include "support/real_application/x_screen.h"

namespace corvane::testing::real_application {

struct EditorLook {
  std::string font;  // a fontconfig family
  int points = 10;
  std::string program = "geany";  // or "mousepad", "pluma"

  int pixelSize() const { return points * 4 / 3; }
  std::string label() const { return program + " " + font + " " + std::to_string(points) + "pt"; }
};

// A configuration file of `rows` lines: settings, secrets among them, commented near-misses.
inline std::vector<PlantedLine> configFileLines(PlantedTextMaker& maker, int rows) {
  std::vector<PlantedLine> lines;
  while (static_cast<int>(lines.size()) < rows) {
    switch (lines.size() % 5) {
      case 1:
      case 3:
        lines.push_back(maker.terminalSecretLine(maker.nextKind()));
        break;
      case 4: {
        PlantedLine nearMiss = maker.terminalNearMiss();
        nearMiss.pieces.front().text = "# " + nearMiss.pieces.front().text;
        lines.push_back(std::move(nearMiss));
        break;
      }
      default:
        lines.push_back(
            {{{maker.pick({"[server]", "listen_port = 8443", "workers = 4", "log_level = info",
                           "max_connections: 200", "timeout_seconds: 30",
                           "retry_backoff = exponential", "cache_dir = /var/cache/ledger",
                           "enable_metrics: true", "# rotate logs weekly", "pool_size = 16",
                           "tls_min_version = 1.2", "[database]",
                           "feature_flags: [beta_export, audit_log]"})}},
             LineRole::plain,
             std::nullopt});
    }
  }
  return lines;
}

namespace editor_detail {

// The command and environment that open `file` in `look`'s editor at `width` × `height`, its
// settings written into `home` (its own).
inline std::pair<std::vector<std::string>, std::vector<std::string>> launch(
    const EditorLook& look, const std::filesystem::path& home, const std::filesystem::path& file,
    int width, int height) {
  const std::string font = look.font + " " + std::to_string(look.points);
  // A caret that does not blink (it would tell the drawings apart), and a folder of temporary
  // files of its own: Pluma hands a file to a copy already running for the user through a socket
  // there, which would open it on that copy's server.
  const auto settings = home / "settings";
  std::filesystem::create_directories(settings / "gtk-3.0");
  std::filesystem::create_directories(home / "tmp");
  std::ofstream(settings / "gtk-3.0" / "settings.ini") << "[Settings]\ngtk-cursor-blink=false\n";
  std::vector<std::string> environment{"HOME=" + home.string(), "NO_AT_BRIDGE=1",
                                       "XDG_CONFIG_HOME=" + settings.string(),
                                       "TMPDIR=" + (home / "tmp").string()};
  if (look.program == "geany") {
    std::filesystem::create_directories(home / "config");
    std::ofstream(home / "config" / "geany.conf")
        << "[geany]\npref_main_save_winpos=true\ngeometry=0;0;" << width << ";" << height
        << ";0;\nsidebar_visible=false\nmsgwindow_visible=false\neditor_font=" << font << "\n";
    return {{"geany", "-c", (home / "config").string(), "-i", file.string()}, environment};
  }
  // The others keep their settings in GSettings: a key file of their own.
  std::filesystem::create_directories(settings / "glib-2.0" / "settings");
  std::ofstream keys(settings / "glib-2.0" / "settings" / "keyfile");
  if (look.program == "mousepad") {
    keys << "[org/xfce/mousepad/preferences/view]\nfont-name='" << font
         << "'\nuse-default-monospace-font=false\n[org/xfce/mousepad/state/window]\nwidth=" << width
         << "\nheight=" << height << "\n";
  } else {
    // Pluma's status bar names the language it guesses from the content, which the drawings
    // change: it is hidden.
    keys << "[org/mate/pluma]\nstatusbar-visible=false\neditor-font='" << font
         << "'\nuse-default-font=false\nsize=(" << width << "," << height << ")\n";
  }
  environment.push_back("GSETTINGS_BACKEND=keyfile");
  if (look.program == "mousepad")
    return {{"mousepad", "--disable-server", file.string()}, environment};
  return {{look.program, file.string()}, environment};
}

}  // namespace editor_detail

// The editor at `width` × `height` on `display` (a server without a window manager), opened on
// the lines in each of its four drawings; drawings missing where one did not show.
inline Drawings drawEditor(Display* display, const std::string& server,
                           const std::filesystem::path& folder, const EditorLook& look,
                           const std::vector<PlantedLine>& lines, int width, int height,
                           const std::string& name) {
  Drawings drawings;
  const platform::Rect area{{0, 0}, {double(width), double(height)}};
  int variant = 0;
  for (auto* drawing :
       {&drawings.lines, &drawings.blank, &drawings.marks, &drawings.secretsBlank}) {
    // Each opening in a folder of its own (the editor keeps its session there), with the same
    // file name, so that the tab and the status bar read the same.
    const auto home = folder / (name + "-" + std::to_string(variant));
    std::filesystem::create_directories(home);
    {
      std::ofstream file(home / "ledger.env");
      static const Redrawn redrawings[] = {Redrawn::blank, Redrawn::marks, Redrawn::secretsBlank};
      for (const PlantedLine& line : lines)
        file << (variant == 0 ? line.text() : redrawn(line, redrawings[variant - 1])) << "\n";
    }
    auto [command, environment] =
        editor_detail::launch(look, home, home / "ledger.env", width, height);
    environment.push_back("DISPLAY=" + server);
    pid_t pid = spawnQuietly(command, environment);
    const bool shown = waitUntil(
        [&] {
          for (const auto& window : topLevelWindows(display))
            if (window.bounds.width() == width && window.bounds.height() == height) return true;
          return false;
        },
        15.0);
    // The editor draws its window before it has read its file: a drawing that stays the same
    // for a while is the finished one.
    if (shown) *drawing = grabSettled(display, area, 6);
    endProcess(pid);
    waitUntil([&] { return topLevelWindows(display).empty(); }, 5.0);
    ++variant;
  }
  return drawings;
}

}  // namespace corvane::testing::real_application
