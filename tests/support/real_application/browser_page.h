#pragma once

// A real browser's page: headless Chromium renders a prepared page of planted lines (a dashboard
// of cards, a settings form, a customer table, a runbook) at a zoom, light or dark, and takes its
// screenshot. The truth comes from the page itself: a script writes each planted line's and
// secret's element rectangle into the document, which the browser hands back with the
// screenshot.

#include <cairo.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/real_application/real_application_screen.h"
#include "support/x11/xvfb_server.h"

namespace corvane::testing::real_application {

enum class PageLayout { dashboard, form, table, runbook };

struct PageLook {
  PageLayout layout = PageLayout::dashboard;
  double zoom = 1.0;
  bool dark = false;
  std::string font;  // a fontconfig family
  int cssPixels = 14;

  std::string label() const {
    static const char* const names[] = {"dashboard", "form", "table", "runbook"};
    return std::string("chromium ") + names[static_cast<int>(layout)] + " " + font + " " +
           std::to_string(cssPixels) + "px " + std::to_string(static_cast<int>(zoom * 100)) + "%" +
           (dark ? " dark" : " light");
  }
};

// A page's planted lines, each with its font size in CSS pixels, and its HTML.
class PageWriter {
 public:
  PageWriter(PlantedTextMaker& maker, const PageLook& look) : maker_(maker), look_(look) {}

  std::string html() {
    switch (look_.layout) {
      case PageLayout::dashboard:
        dashboard();
        break;
      case PageLayout::form:
        form();
        break;
      case PageLayout::table:
        table();
        break;
      case PageLayout::runbook:
        runbook();
        break;
    }
    const bool dark = look_.dark;
    std::ostringstream page;
    page << "<!DOCTYPE html><html><head><meta charset='utf-8'><style>"
         << "body{margin:0;padding:24px 32px;font-family:'" << look_.font
         << "';font-size:" << look_.cssPixels << "px;background:" << (dark ? "#17181c" : "#ffffff")
         << ";color:" << (dark ? "#e3e5e8" : "#202124") << "}"
         << ".row{white-space:nowrap;margin:0 0 " << look_.cssPixels / 2 << "px 0}"
         << ".muted{color:" << (dark ? "#9aa0a8" : "#5f6368") << "}"
         << ".accent{color:" << (dark ? "#8ab4f8" : "#1a57c9") << "}"
         << ".big{font-size:1.6em;font-weight:600}"
         << ".cards{display:grid;grid-template-columns:repeat(3,340px);gap:18px;margin-bottom:18px}"
         << ".card{background:" << (dark ? "#22252b" : "#f4f5f7") << ";border:1px solid "
         << (dark ? "#3a3f47" : "#d0d4da") << ";border-radius:8px;padding:14px 16px}"
         << ".field{border:1px solid " << (dark ? "#4a4f57" : "#b8bdc4")
         << ";border-radius:4px;padding:6px 8px;width:520px;background:"
         << (dark ? "#111215" : "#fbfbfc") << "}"
         << "table{border-collapse:collapse}td,th{padding:5px 14px;border-bottom:1px solid "
         << (dark ? "#33373e" : "#e1e3e6") << ";text-align:left;font-weight:normal}"
         << "</style></head><body>" << body_.str() << "<script>"
         << "const out=[];document.querySelectorAll('[data-line]').forEach(e=>{"
         << "const t=e.querySelector('.t').getBoundingClientRect();const s=e.querySelector('.s');"
         << "const r=s?s.getBoundingClientRect():{x:0,y:0,width:0,height:0};"
         << "out.push([e.dataset.line,t.x,t.y,t.width,t.height,r.x,r.y,r.width,r.height]"
         << ".join(' '))});document.body.setAttribute('data-truth',out.join(';'));"
         << "</script></body></html>";
    return page.str();
  }

  const std::vector<PlantedLine>& lines() const { return lines_; }
  const std::vector<int>& cssSizes() const { return sizes_; }

 private:
  static std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c == '<')
        out += "&lt;";
      else if (c == '>')
        out += "&gt;";
      else if (c == '&')
        out += "&amp;";
      else
        out += c;
    }
    return out;
  }

  // One planted line as an element of `tag` with `classes`; the text in a span that is measured.
  std::string line(PlantedLine planted, const std::string& tag = "div",
                   const std::string& classes = "row", double scale = 1.0) {
    std::ostringstream element;
    element << "<" << tag << " class='" << classes << "' data-line='" << lines_.size()
            << "'><span class='t'>";
    for (const auto& piece : planted.pieces) {
      const char* style = piece.secret ? "s" : piece.accent ? "accent" : "";
      element << "<span class='" << style << "'>" << escaped(piece.text) << "</span>";
    }
    element << "</span></" << tag << ">";
    sizes_.push_back(static_cast<int>(std::lround(look_.cssPixels * scale)));
    lines_.push_back(std::move(planted));
    return element.str();
  }
  static PlantedLine plain(std::string text, LineRole role = LineRole::plain) {
    return {{{std::move(text)}}, role, std::nullopt};
  }
  static PlantedLine secretOnly(const std::string& value, model::SensitiveKind kind) {
    return {{{value, true}}, LineRole::secret, kind};
  }

  void dashboard() {
    body_ << line(plain("Finance overview, November"), "div", "row big", 1.6)
          << "<div class='cards'>";
    for (int card = 0; card < 9; ++card) {
      body_ << "<div class='card'>";
      if (card % 3 == 2) {
        body_ << line(plain("Operations"), "div", "row muted")
              << line(plain(maker_.pageNearMiss(), LineRole::nearMiss), "div", "row big", 1.6);
      } else {
        const auto kind = maker_.nextKind();
        body_ << line(plain(maker_.pageLabel(kind)), "div", "row muted")
              << (kind == model::SensitiveKind::revenue
                      ? line(secretOnly(maker_.secret(kind), kind), "div", "row big", 1.6)
                      : line(secretOnly(maker_.secret(kind), kind)));
      }
      body_ << line(plain(maker_.pagePlainLine().substr(0, 34)), "div", "row muted") << "</div>";
    }
    body_ << "</div>";
    for (int i = 0; i < 3; ++i) body_ << line(plain(maker_.pagePlainLine()));
  }

  void form() {
    body_ << line(plain("Workspace settings"), "div", "row big", 1.6);
    for (int field = 0; field < 8; ++field) {
      const bool secret = field % 4 != 3;
      const auto kind = maker_.nextKind();
      body_ << line(plain(secret ? maker_.pageLabel(kind) : "Notes"), "div", "row muted");
      body_ << line(secret ? secretOnly(maker_.secret(kind), kind)
                           : plain(maker_.pageNearMiss(), LineRole::nearMiss),
                    "div", "row field");
      if (field % 2 == 0) body_ << line(plain(maker_.pagePlainLine()), "div", "row muted");
    }
  }

  void table() {
    using K = model::SensitiveKind;
    body_ << line(plain("Accounts due for renewal"), "div", "row big", 1.6) << "<table><tr>";
    for (const char* heading : {"Account", "Contact", "Phone", "Booked", "Status"})
      body_ << line(plain(heading), "th", "muted");
    body_ << "</tr>";
    for (int row = 0; row < 12; ++row) {
      body_ << "<tr>"
            << line(plain(maker_.pick({"Harbor Freight Co", "Mill Street Bakery", "Quillon Ltd",
                                       "Saltmarsh Studio", "Northgate Clinics", "Ferrow & Sons"})),
                    "td", "");
      for (K kind : {K::email, K::phoneNumber, K::revenue}) {
        body_ << (row % 4 == 3 && kind == K::revenue
                      ? line(plain(maker_.pageNearMiss(), LineRole::nearMiss), "td", "")
                      : line(secretOnly(maker_.secret(kind), kind), "td", ""));
      }
      body_ << line(plain(maker_.pick({"renewing", "on hold", "signed", "in review"})), "td", "")
            << "</tr>";
    }
    body_ << "</table>";
  }

  void runbook() {
    body_ << line(plain("Runbook: ledger failover"), "div", "row big", 1.6);
    for (int step = 0; step < 18; ++step) {
      if (step % 3 == 1) {
        const auto kind = maker_.nextKind();
        PlantedLine planted = maker_.terminalSecretLine(kind);
        planted.pieces.insert(planted.pieces.begin(), {"Step " + std::to_string(step + 1) + ": "});
        body_ << line(std::move(planted));
      } else if (step % 6 == 3) {
        body_ << line(plain(maker_.terminalNearMiss().text(), LineRole::nearMiss));
      } else {
        body_ << line(plain(maker_.pagePlainLine()));
      }
    }
  }

  PlantedTextMaker& maker_;
  PageLook look_;
  std::ostringstream body_;
  std::vector<PlantedLine> lines_;
  std::vector<int> sizes_;
};

// Runs `command` to its end (with `environment` besides this process's) with its standard
// output into `output`; false when it failed.
inline bool runToEnd(const std::vector<std::string>& command,
                     const std::vector<std::string>& environment,
                     const std::filesystem::path& output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const pid_t pid = spawnProgram(command, environment, &actions);
  posix_spawn_file_actions_destroy(&actions);
  if (pid <= 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The page rendered at 1280×800 CSS pixels (times the zoom), with its truth; a screen without an
// image when the browser failed. The browser keeps its settings in `folder`, not the user's.
inline RealApplicationScreen renderPage(const std::filesystem::path& folder, const PageLook& look,
                                        std::uint32_t seed, int& unseen) {
  PlantedTextMaker maker(seed);
  PageWriter writer(maker, look);
  const std::string name = "page-" + std::to_string(seed);
  const auto page = folder / (name + ".html");
  std::ofstream(page) << writer.html();
  const auto shot = folder / (name + ".png");
  const auto dom = folder / (name + ".dom");
  char zoom[16];
  std::snprintf(zoom, sizeof zoom, "%.2f", look.zoom);
  RealApplicationScreen made;
  made.screen.label = look.label();
  const bool ran =
      runToEnd({"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                "--no-first-run", "--user-data-dir=" + (folder / (name + "-profile")).string(),
                std::string("--force-device-scale-factor=") + zoom, "--window-size=1280,800",
                "--screenshot=" + shot.string(), "--dump-dom", "file://" + page.string()},
               {"HOME=" + folder.string()}, dom);
  if (!ran) return made;
  cairo_surface_t* surface = cairo_image_surface_create_from_png(shot.c_str());
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    auto image = std::make_shared<platform::PixelBuffer>(width, height);
    const auto* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
      std::memcpy(image->mutableData() + static_cast<std::size_t>(y) * image->bytesPerRow(),
                  pixels + static_cast<std::size_t>(y) * stride,
                  static_cast<std::size_t>(width) * 4);
    }
    // A browser filling the screen: one window, all of it.
    image->setWindowAreas({{{0, 0, width, height}}});
    made.screen.windows = {platform::Rect{{0, 0}, {double(width), double(height)}}};
    made.screen.image = std::move(image);
  }
  cairo_surface_destroy(surface);
  if (!made.screen.image) return made;
  std::ifstream in(dom);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto start = text.find("data-truth=\"");
  if (start == std::string::npos) return made;
  std::istringstream truth(text.substr(start + 12, text.find('"', start + 12) - start - 12));
  std::string entry;
  while (std::getline(truth, entry, ';')) {
    std::istringstream numbers(entry);
    std::size_t index = 0;
    double box[8] = {};
    numbers >> index;
    for (double& value : box) numbers >> value;
    for (double& value : box) value *= look.zoom;
    if (index >= writer.lines().size()) continue;
    placeLine(made, writer.lines()[index], {{box[0], box[1]}, {box[2], box[3]}},
              {{box[4], box[5]}, {box[6], box[7]}},
              static_cast<int>(std::lround(writer.cssSizes()[index] * look.zoom)), unseen);
  }
  return made;
}

}  // namespace corvane::testing::real_application
