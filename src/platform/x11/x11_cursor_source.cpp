#include "platform/x11/x11_cursor_source.h"

#include "platform/x11/xlib.h"

#include <algorithm>

namespace corvane::platform::x11 {
namespace {

constexpr double kOpenTimeout = 5.0;

constexpr int kDeepestWindow = 8;

// Where the pointer is, and the windows under it from the root's child down.
struct PointerPlace {
  std::optional<Point> position;
  std::vector<std::uint32_t> windows;
};

PointerPlace readPointer(XConnection& connection) {
  Display* display = connection.display();
  ErrorTrap trap(display);
  PointerPlace place;
  Window rootReturn = None, child = None;
  int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
  unsigned int mask = 0;
  if (!XQueryPointer(display, connection.root(), &rootReturn, &child, &rootX, &rootY, &windowX,
                     &windowY, &mask) ||
      trap.failed()) {
    return place;
  }
  place.position = Point{static_cast<double>(rootX), static_cast<double>(rootY)};
  while (child != None && static_cast<int>(place.windows.size()) < kDeepestWindow) {
    place.windows.push_back(static_cast<std::uint32_t>(child));
    const Window parent = child;
    child = None;
    if (!XQueryPointer(display, parent, &rootReturn, &child, &rootX, &rootY, &windowX, &windowY,
                       &mask) ||
        trap.failed()) {
      break;  // gone meanwhile: the next sample reads it again
    }
  }
  return place;
}

// Whether the pointer shown now is the one a window of `path` (or the root) defines: not so while
// a grab shows a pointer of its own.
bool showsAWindowsOwn(XConnection& connection, const std::vector<std::uint32_t>& path) {
  Display* display = connection.display();
  ErrorTrap trap(display);
  for (auto window = path.rbegin(); window != path.rend(); ++window) {
    if (XTestCompareCursorWithWindow(display, *window, XTestCurrentCursor) && !trap.failed()) {
      return true;
    }
    trap.clear();  // gone meanwhile
  }
  return XTestCompareCursorWithWindow(display, connection.root(), XTestCurrentCursor) &&
         !trap.failed();
}

void addPath(std::vector<std::vector<std::uint32_t>>& paths, std::vector<std::uint32_t> path) {
  if (path.empty() || std::find(paths.begin(), paths.end(), path) != paths.end()) return;
  paths.push_back(std::move(path));
}

// The current image, or nothing when the server has none to give.
std::optional<CursorImage> readImage(XConnection& connection) {
  Display* display = connection.display();
  ErrorTrap trap(display);
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (image == nullptr || trap.failed()) return std::nullopt;
  auto pixels = std::make_shared<PixelBuffer>(image->width, image->height);
  // XFixes hands out premultiplied ARGB, one pixel per unsigned long.
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      const auto argb = static_cast<std::uint32_t>(image->pixels[y * image->width + x]);
      pixels->setPixel(x, y, argb);
    }
  }
  CursorImage result;
  result.image = std::move(pixels);
  result.hotSpot = Point{static_cast<double>(image->xhot), static_cast<double>(image->yhot)};
  result.serial = image->cursor_serial;
  XFree(image);
  return result;
}

}  // namespace

// What the sampling thread keeps between samples.
struct X11CursorSource::Sampler {
  XConnection* connection = nullptr;  // the pump's, while its thread runs
  int cursorEventBase = 0;
  int inputOpcode = -1;                   // XInput 2's, when the server has it
  bool comparesCursors = false;           // the server has XTEST
  double pollInterval = kSampleInterval;  // between samples when nothing said it changed
  bool followingMotion = false;           // raw motion is selected on the root
  bool moved = true;                      // the pointer moved (or may have) since the last sample
  bool imageChanged = true;               // XFixes said the image changed since it was last read
  double sampledAt = -1e300;
  std::optional<Point> lastPosition;

  // The windows under the pointer just before and just after the image was last read.
  std::vector<std::vector<std::uint32_t>> imagePaths;

  // Reads the position (and the image when it changed); true when the position changed. Either
  // change, or a change of the windows under the pointer, is reported to the source's observer.
  bool sample(X11CursorSource& source) {
    if (connection == nullptr || connection->isLost()) return false;
    auto place = readPointer(*connection);
    std::optional<CursorImage> image;
    if (imageChanged) {
      // Whose it is, asked before and after it is read: a grab that begins or ends meanwhile
      // makes the answers differ.
      const bool ownBefore = !comparesCursors || showsAWindowsOwn(*connection, place.windows);
      image = readImage(*connection);
      imageChanged = !image.has_value();
      if (image) {
        auto after = readPointer(*connection).windows;
        image->isAWindowsOwn =
            ownBefore && (!comparesCursors || showsAWindowsOwn(*connection, after));
        imagePaths.clear();
        addPath(imagePaths, place.windows);
        addPath(imagePaths, std::move(after));
        // It moved from one window to another meanwhile: read again once it is in one.
        imageChanged = imagePaths.size() > 1;
      }
    }
    // The image may have been set over another window than the one the pointer is over now (it
    // was not read again since): both count.
    auto paths = imagePaths;
    addPath(paths, std::move(place.windows));
    moved = false;
    sampledAt = pumpClock();
    const bool changed = place.position != lastPosition;
    lastPosition = place.position;
    bool pathsChanged = false;
    {
      std::lock_guard lock(source.mutex_);
      source.position_ = place.position;
      if (image) source.image_ = std::move(*image);
      pathsChanged = source.image_.windowsUnderPointer != paths;
      source.image_.windowsUnderPointer = std::move(paths);
    }
    if (changed || image || pathsChanged) source.reportChange();
    return changed;
  }

  // Raw motion of the pointer on the root while sampling; nothing while resting, so a moving
  // pointer does not wake a sampler nobody reads.
  void followMotion(X11CursorSource& source, bool follow) {
    if (inputOpcode < 0 || connection == nullptr || followingMotion == follow) return;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (follow) XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(connection->display(), connection->root(), &mask, 1);
    followingMotion = follow;
    source.waitsForMotion_.store(follow);
  }

  // Samples when a sample is due; returns the seconds until the next one is. While the pointer
  // keeps moving, its motion is not followed between samples (a fast mouse sends a thousand
  // events a second): the next sample, a frame later, reads where it went meanwhile, and motion
  // is followed again once a sample finds the pointer still.
  double step(X11CursorSource& source) {
    const auto wait = [this] {
      return sampledAt + (moved || imageChanged ? kSampleInterval : pollInterval) - pumpClock();
    };
    if (wait() > 0) return wait();
    followMotion(source, true);  // before reading, so that no move after the read goes unnoticed
    if (sample(source) && inputOpcode >= 0) {
      followMotion(source, false);
      moved = true;
    }
    return std::max(0.0, wait());
  }
};

runtime::Result<std::shared_ptr<X11CursorSource>> X11CursorSource::open(
    const std::string& displayName, double pollInterval) {
  std::shared_ptr<X11CursorSource> source(new X11CursorSource());
  // The pump belongs to the source and ends with it: its callbacks hold the source weakly.
  std::weak_ptr<X11CursorSource> weak = source;
  auto sampler = std::make_shared<Sampler>();
  XEventPump::Callbacks callbacks;
  callbacks.setup = [weak, sampler, pollInterval](XConnection& connection) {
    Display* display = connection.display();
    int errorBase = 0;
    if (!XFixesQueryExtension(display, &sampler->cursorEventBase, &errorBase)) {
      return runtime::Status::failure(
          "The X server lacks the XFIXES extension needed for the cursor.");
    }
    int major = 4, minor = 0;
    XFixesQueryVersion(display, &major, &minor);
    XFixesSelectCursorInput(display, connection.root(), XFixesDisplayCursorNotifyMask);
    int opcode = 0, eventBase = 0;
    int inputMajor = 2, inputMinor = 2;
    if (XQueryExtension(display, "XInputExtension", &opcode, &eventBase, &errorBase) &&
        XIQueryVersion(display, &inputMajor, &inputMinor) == Success) {
      sampler->inputOpcode = opcode;
      sampler->pollInterval = std::max(kSampleInterval, pollInterval);
    }
    int xtestEvent = 0, xtestError = 0, xtestMajor = 0, xtestMinor = 0;
    sampler->comparesCursors =
        XTestQueryExtension(display, &xtestEvent, &xtestError, &xtestMajor, &xtestMinor);
    sampler->connection = &connection;
    if (auto self = weak.lock()) {
      self->followsMotionEvents_ = sampler->inputOpcode >= 0;
      sampler->followMotion(*self, true);
      sampler->sample(*self);
    }
    return runtime::Status::success();
  };
  callbacks.event = [sampler](XEvent& event) {
    if (event.type == sampler->cursorEventBase + XFixesCursorNotify) {
      sampler->imageChanged = true;
    } else if (event.type == GenericEvent && event.xcookie.extension == sampler->inputOpcode) {
      sampler->moved = true;
    }
  };
  callbacks.idle = [weak, sampler]() -> std::optional<double> {
    auto self = weak.lock();
    if (!self) return std::nullopt;
    if (!self->observed() && self->sampling_.shouldRest(pumpClock())) {
      // Until a read wakes it; whatever happened meanwhile is read at once then.
      sampler->followMotion(*self, false);
      sampler->moved = true;
      return std::nullopt;
    }
    return sampler->step(*self);
  };
  callbacks.connectionLost = [sampler] {
    sampler->connection = nullptr;
    sampler->followingMotion = false;  // selected on the connection that ended
  };
  callbacks.reopensLostConnection = true;
  callbacks.teardown = [sampler] { sampler->connection = nullptr; };
  auto status =
      source->pump_.startAndWait(displayName, std::move(callbacks), kOpenTimeout,
                                 "The X server did not answer; the cursor cannot be followed.");
  if (!status) return status.error();
  return source;
}

X11CursorSource::~X11CursorSource() {
  pump_.stop();
}

void X11CursorSource::noteRead() const {
  if (sampling_.noteRead(pumpClock())) pump_.post([](XConnection*) {});
}

bool X11CursorSource::observed() const {
  std::lock_guard lock(observer_->mutex);
  return static_cast<bool>(observer_->changed);
}

void X11CursorSource::reportChange() const {
  std::lock_guard lock(observer_->mutex);
  if (observer_->changed) observer_->changed();
}

runtime::Subscription X11CursorSource::observeCursorChanges(std::function<void()> changed) {
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(observer_->mutex);
    observer_->changed = std::move(changed);
    generation = ++observer_->generation;
  }
  noteRead();  // a resting sampler wakes, and stays awake while observed
  return runtime::Subscription([weak = std::weak_ptr<Observer>(observer_), generation] {
    if (auto observer = weak.lock()) {
      std::lock_guard lock(observer->mutex);
      if (observer->generation == generation) observer->changed = nullptr;
    }
  });
}

std::optional<Point> X11CursorSource::cursorPosition() const {
  noteRead();
  std::lock_guard lock(mutex_);
  return position_;
}

CursorImage X11CursorSource::currentCursorImage() const {
  noteRead();
  std::lock_guard lock(mutex_);
  return image_;
}

}  // namespace corvane::platform::x11
