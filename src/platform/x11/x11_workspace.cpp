#include "platform/x11/x11_workspace.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include "platform/x11/xlib.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "platform/process_handle.h"
#include "platform/x11/x11_screen_capture.h"
#include "platform/x11/x_properties.h"
#include "runtime/main_actor.h"

extern char** environ;

namespace corvane::platform::x11 {
namespace {

constexpr double kFocusPollInterval = 0.25;

std::string applicationKey(const RunningApplication& application) {
  if (application.processIdentifier > 0)
    return "pid:" + std::to_string(application.processIdentifier);
  return "id:" + application.bundleIdentifier;
}

std::string applicationKey(const ApplicationIdentity& identity) {
  if (identity.processID > 0) return "pid:" + std::to_string(identity.processID);
  return "id:" + identity.id;
}

WorkspaceEvent about(WorkspaceEventKind kind, const RunningApplication& application, int desktop) {
  return WorkspaceEvent{kind, application, desktop};
}

Window focusedWindow(Display* display) {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  return focus;
}

// Asks for property changes on every window that is or may become a client window: those the
// window manager lists, or without one the top-level windows and the windows just inside them.
void watchClientProperties(Display* display, const Atoms& atoms) {
  const Window root = DefaultRootWindow(display);
  std::vector<Window> windows = windowListProperty(display, root, atoms.netClientListStacking);
  for (Window listed : windowListProperty(display, root, atoms.netClientList)) {
    windows.push_back(listed);
  }
  if (windows.empty() && !hasWindowManager(display, atoms)) {
    for (Window top : childWindows(display, root)) {
      windows.push_back(top);
      for (Window inner : childWindows(display, top)) windows.push_back(inner);
    }
  }
  std::sort(windows.begin(), windows.end());
  windows.erase(std::unique(windows.begin(), windows.end()), windows.end());
  ErrorTrap trap(display);
  for (Window window : windows) XSelectInput(display, window, PropertyChangeMask);
}

}  // namespace

WorkspaceSnapshot readWorkspace(Display* display, const Atoms& atoms,
                                const ApplicationIdentityResolver& identities) {
  WorkspaceSnapshot snapshot;
  const Window root = DefaultRootWindow(display);
  snapshot.clients = listClientWindows(display, atoms, identities);
  const bool managed = hasWindowManager(display, atoms);
  Window active = None;
  if (managed) {
    auto list = windowListProperty(display, root, atoms.netActiveWindow);
    if (!list.empty()) active = list.front();
  } else {
    active = focusedWindow(display);
  }
  // The active window and those holding it, read once for every client to be matched against.
  const auto activeAndHolders =
      active == None ? std::set<Window>{} : windowAndAncestors(display, active);
  std::string frontKey;
  for (const auto& client : snapshot.clients) {
    if (activeAndHolders.contains(client.id) ||
        (!managed && activeAndHolders.contains(client.topLevel))) {
      frontKey = applicationKey(client.identity);
    }
  }
  std::map<std::string, std::size_t> indexByKey;
  std::map<std::string, bool> allHidden;
  for (const auto& client : snapshot.clients) {
    const std::string key = applicationKey(client.identity);
    auto [it, inserted] = indexByKey.emplace(key, snapshot.applications.size());
    if (inserted) {
      snapshot.applications.push_back(RunningApplication{client.identity.id, client.identity.name,
                                                         client.identity.processID, true,
                                                         key == frontKey, false});
    }
    auto& application = snapshot.applications[it->second];
    application.isHidden = application.isHidden && client.hidden;
    if (!client.isDesktopWindow) application.hasOrdinaryWindows = true;
    if (client.isDesktopWindow) snapshot.desktopOwner = application;
  }
  for (const auto& application : snapshot.applications) {
    if (applicationKey(application) == frontKey) snapshot.frontmost = application;
  }
  if (snapshot.desktopOwner) {
    snapshot.desktopOwner =
        snapshot.applications[indexByKey[applicationKey(*snapshot.desktopOwner)]];
  }
  snapshot.activeDesktop = static_cast<int>(
      cardinalValue(display, root, atoms.netCurrentDesktop, XA_CARDINAL).value_or(0));
  return snapshot;
}

std::vector<WorkspaceEvent> workspaceChanges(const WorkspaceSnapshot& before,
                                             const WorkspaceSnapshot& after) {
  std::vector<WorkspaceEvent> changes;
  const int desktop = after.activeDesktop;
  std::map<std::string, const RunningApplication*> previous, current;
  for (const auto& application : before.applications)
    previous[applicationKey(application)] = &application;
  for (const auto& application : after.applications)
    current[applicationKey(application)] = &application;
  for (const auto& application : before.applications) {
    if (current.count(applicationKey(application)) == 0) {
      auto terminated = application;
      terminated.isTerminated = true;
      changes.push_back(about(WorkspaceEventKind::applicationTerminated, terminated, desktop));
    }
  }
  for (const auto& application : after.applications) {
    auto it = previous.find(applicationKey(application));
    if (it == previous.end()) {
      changes.push_back(about(WorkspaceEventKind::applicationLaunched, application, desktop));
    } else if (it->second->isHidden != application.isHidden) {
      changes.push_back(about(application.isHidden ? WorkspaceEventKind::applicationHidden
                                                   : WorkspaceEventKind::applicationUnhidden,
                              application, desktop));
    }
  }
  const std::string beforeFront = before.frontmost ? applicationKey(*before.frontmost) : "";
  if (after.frontmost && applicationKey(*after.frontmost) != beforeFront) {
    changes.push_back(about(WorkspaceEventKind::applicationActivated, *after.frontmost, desktop));
  }
  if (before.activeDesktop != after.activeDesktop) {
    changes.push_back(
        WorkspaceEvent{WorkspaceEventKind::activeDesktopChanged, std::nullopt, desktop});
  }
  return changes;
}

struct X11Workspace::Watcher {
  std::unique_ptr<Atoms> atoms;
  bool dirty = false;
  std::atomic<bool> managed{false};  // read by the actions on the caller's thread
  double nextFocusPoll = 0;
  struct PendingTermination {
    std::shared_ptr<const ProcessHandle> process;  // held since the request
    double deadline;
  };
  std::vector<PendingTermination> terminations;
};

X11Workspace::X11Workspace(std::shared_ptr<const ApplicationIdentityResolver> identities)
    : identities_(std::move(identities)), watcher_(std::make_shared<Watcher>()) {}

X11Workspace::~X11Workspace() {
  pump_.stop();
}

runtime::Result<std::shared_ptr<X11Workspace>> X11Workspace::open(
    const std::string& displayName, std::shared_ptr<const ApplicationIdentityResolver> identities) {
  if (!identities) identities = makeDefaultIdentityResolver();
  auto connection = XConnection::open(displayName);
  if (!connection) return connection.error();
  std::shared_ptr<X11Workspace> workspace(new X11Workspace(identities));
  {
    Atoms atoms((*connection)->display());
    workspace->snapshot_ = readWorkspace((*connection)->display(), atoms, *identities);
  }
  connection.value().reset();

  std::weak_ptr<X11Workspace> weak = workspace;
  auto watcher = workspace->watcher_;
  XEventPump::Callbacks callbacks;
  callbacks.setup = [watcher](XConnection& connection) {
    watcher->atoms = std::make_unique<Atoms>(connection.display());
    XSelectInput(connection.display(), connection.root(),
                 PropertyChangeMask | SubstructureNotifyMask);
    watcher->managed = hasWindowManager(connection.display(), *watcher->atoms);
    watcher->dirty = true;
    return runtime::Status::success();
  };
  callbacks.event = [watcher](XEvent& event) {
    switch (event.type) {
      case PropertyNotify: {
        const Atom atom = event.xproperty.atom;
        const Atoms& atoms = *watcher->atoms;
        if (atom == atoms.netClientList || atom == atoms.netClientListStacking ||
            atom == atoms.netActiveWindow || atom == atoms.netCurrentDesktop ||
            atom == atoms.netSupported || atom == atoms.wmState || atom == atoms.netWmState ||
            atom == atoms.wmClass || atom == atoms.netWmPid || atom == atoms.netWmWindowType) {
          watcher->dirty = true;
        }
        break;
      }
      case MapNotify:
      case UnmapNotify:
      case DestroyNotify:
      case ReparentNotify:
      case ConfigureNotify:  // window frames are part of the snapshot
        watcher->dirty = true;
        break;
      default:
        break;
    }
  };
  callbacks.idle = [weak, watcher]() -> std::optional<double> {
    auto self = weak.lock();
    if (!self) return std::nullopt;
    const double now = pumpClock();
    if (!watcher->managed && now >= watcher->nextFocusPoll) {
      watcher->dirty = true;
      watcher->nextFocusPoll = now + kFocusPollInterval;
    }
    if (watcher->dirty) {
      watcher->dirty = false;
      self->pump_.post([weak, watcher](XConnection* connection) {
        auto self = weak.lock();
        if (!self || connection == nullptr) return;
        Display* display = connection->display();
        watcher->managed = hasWindowManager(display, *watcher->atoms);
        // Selecting before reading: a property that changes after the read still reports, so
        // the next read sees it (a window listed before its class or process is set included).
        watchClientProperties(display, *watcher->atoms);
        self->publish(readWorkspace(display, *watcher->atoms, *self->identities_));
      });
    }
    std::optional<double> wait;
    for (auto it = watcher->terminations.begin(); it != watcher->terminations.end();) {
      if (now >= it->deadline) {
        const auto pid = it->process->processIdentifier();
        if (!self->clientsOf(pid).empty()) (void)it->process->terminate(getuid());
        it = watcher->terminations.erase(it);
      } else {
        wait = std::min(wait.value_or(it->deadline - now), it->deadline - now);
        ++it;
      }
    }
    if (!watcher->managed) {
      wait = std::min(wait.value_or(kFocusPollInterval), watcher->nextFocusPoll - now);
    }
    return wait;
  };
  // Launches and terminations go on being seen after a lost connection: the first reading on the
  // new one announces what changed meanwhile.
  callbacks.reopensLostConnection = true;
  workspace->pump_.start(displayName, std::move(callbacks));
  return workspace;
}

void X11Workspace::publish(WorkspaceSnapshot snapshot) {
  std::vector<WorkspaceEvent> changes;
  {
    std::lock_guard lock(mutex_);
    changes = workspaceChanges(snapshot_, snapshot);
    snapshot_ = std::move(snapshot);
  }
  if (changes.empty() || !runtime::hasRuntime()) return;
  runtime::postToMain(weak_from_this(), [changes = std::move(changes)](X11Workspace& self) {
    for (const auto& change : changes) self.observers_.notify(change);
  });
}

std::vector<RunningApplication> X11Workspace::runningApplications() const {
  std::lock_guard lock(mutex_);
  return snapshot_.applications;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() const {
  std::lock_guard lock(mutex_);
  return snapshot_.frontmost;
}

std::optional<RunningApplication> X11Workspace::desktopWindowOwner() const {
  std::lock_guard lock(mutex_);
  return snapshot_.desktopOwner;
}

int X11Workspace::activeDesktop() const {
  std::lock_guard lock(mutex_);
  return snapshot_.activeDesktop;
}

std::vector<Rect> X11Workspace::frontmostApplicationWindowFrames() const {
  std::lock_guard lock(mutex_);
  std::vector<Rect> frames;
  if (!snapshot_.frontmost) return frames;
  const std::string frontKey = applicationKey(*snapshot_.frontmost);
  for (const auto& client : snapshot_.clients) {
    if (!client.viewable || client.hidden || applicationKey(client.identity) != frontKey) continue;
    if (client.desktop >= 0 && client.desktop != snapshot_.activeDesktop) continue;
    frames.push_back(Rect{{static_cast<double>(client.x), static_cast<double>(client.y)},
                          {static_cast<double>(client.width), static_cast<double>(client.height)}});
  }
  return frames;
}

std::vector<ClientWindow> X11Workspace::clientsOf(std::int32_t processIdentifier) const {
  std::lock_guard lock(mutex_);
  std::vector<ClientWindow> result;
  for (const auto& client : snapshot_.clients) {
    if (processIdentifier > 0 && client.identity.processID == processIdentifier) {
      result.push_back(client);
    }
  }
  return result;
}

bool X11Workspace::activate(std::int32_t processIdentifier) {
  auto clients = clientsOf(processIdentifier);
  if (clients.empty()) return false;
  const ClientWindow target = clients.back();  // the topmost of its windows
  auto watcher = watcher_;
  pump_.post([watcher, target](XConnection* connection) {
    if (connection == nullptr) return;
    Display* display = connection->display();
    ErrorTrap trap(display);
    if (target.hidden) XMapWindow(display, target.id);
    if (watcher->managed) {
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = target.id;
      event.xclient.message_type = watcher->atoms->netActiveWindow;
      event.xclient.format = 32;
      event.xclient.data.l[0] = 2;  // a request on the user's behalf
      event.xclient.data.l[1] = CurrentTime;
      XSendEvent(display, connection->root(), False,
                 SubstructureRedirectMask | SubstructureNotifyMask, &event);
    } else {
      XRaiseWindow(display, target.topLevel);
      XSetInputFocus(display, target.id, RevertToPointerRoot, CurrentTime);
    }
    XFlush(display);
  });
  return true;
}

bool X11Workspace::hide(std::int32_t processIdentifier) {
  auto clients = clientsOf(processIdentifier);
  if (clients.empty() || !watcher_->managed) return false;
  pump_.post([clients](XConnection* connection) {
    if (connection == nullptr) return;
    ErrorTrap trap(connection->display());
    for (const auto& client : clients) {
      XIconifyWindow(connection->display(), client.id, connection->screen());
    }
    XFlush(connection->display());
  });
  return true;
}

bool X11Workspace::unhide(std::int32_t processIdentifier) {
  auto clients = clientsOf(processIdentifier);
  if (clients.empty()) return false;
  pump_.post([clients](XConnection* connection) {
    if (connection == nullptr) return;
    ErrorTrap trap(connection->display());
    for (const auto& client : clients) {
      if (client.hidden) XMapWindow(connection->display(), client.id);
    }
    XFlush(connection->display());
  });
  return true;
}

bool X11Workspace::terminate(std::int32_t processIdentifier) {
  // Only processes this workspace saw owning windows (through the server's own record or a
  // _NET_WM_PID from this host), and never this process or init.
  if (processIdentifier <= 1 || processIdentifier == static_cast<std::int32_t>(getpid())) {
    return false;
  }
  auto clients = clientsOf(processIdentifier);
  if (clients.empty()) return false;
  // Held now, so the signal after the grace period cannot reach a later process given the
  // number; and only a process of this user (run as root, Corvane leaves other users' alone).
  auto process = ProcessHandle::hold(processIdentifier);
  if (!process || !process->runsAs(getuid())) return false;
  const double grace = terminateGrace_;
  auto watcher = watcher_;
  pump_.post([watcher, clients, process, grace](XConnection* connection) {
    if (connection == nullptr) return;
    Display* display = connection->display();
    bool asked = false;
    ErrorTrap trap(display);
    for (const auto& client : clients) {
      if (!client.acceptsDelete) continue;
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = client.id;
      event.xclient.message_type = watcher->atoms->wmProtocols;
      event.xclient.format = 32;
      event.xclient.data.l[0] = static_cast<long>(watcher->atoms->wmDeleteWindow);
      event.xclient.data.l[1] = CurrentTime;
      XSendEvent(display, client.id, False, NoEventMask, &event);
      asked = true;
    }
    XFlush(display);
    watcher->terminations.push_back({process, pumpClock() + (asked ? grace : 0.0)});
  });
  return true;
}

bool X11Workspace::openURL(const std::string& url) {
  return openWithDesktopHandler(url);
}

bool openWithDesktopHandler(const std::string& url) {
  if (url.empty() || url.front() == '-' || url.find('\0') != std::string::npos) return false;
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  std::string program = "xdg-open";
  std::vector<char*> arguments = {program.data(), const_cast<char*>(url.c_str()), nullptr};
  pid_t child = 0;
  const int status =
      posix_spawnp(&child, program.c_str(), nullptr, &attributes, arguments.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (status != 0) return false;
  std::thread([child] { waitpid(child, nullptr, 0); }).detach();  // xdg-open exits soon
  return true;
}

}  // namespace corvane::platform::x11
