#include "platform/linux/json_file_defaults_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/linux/defaults_value_coding.h"
#include "platform/text_cleaning.h"

namespace corvane::platform {
namespace fs = std::filesystem;
namespace {

// Settings are small (the longest lists are bounded at a few hundred entries): a suite file
// beyond this is not the application's and is neither read nor written.
constexpr std::uintmax_t maxSuiteFileBytes = 4 * 1024 * 1024;

using Changes = std::map<std::string, std::optional<Value>>;

void applyChanges(Value::Dictionary& values, const Changes& changes) {
  for (const auto& [key, value] : changes) {
    if (value) {
      values.insert_or_assign(key, *value);
    } else {
      values.erase(key);
    }
  }
}

std::string compactTimestamp(runtime::WallTime time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return text;
}

struct LoadedSuite {
  Value::Dictionary values;
  bool writable = true;
  std::optional<DefaultsRecoveryNote> note;
};

// An exclusive lock on the suites' folder across processes, held while one suite file is read,
// merged and written. Without one, two processes writing a suite at once lose each other's keys.
class FolderLock {
 public:
  explicit FolderLock(const fs::path& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

bool isSymbolicLink(const fs::path& path) {
  std::error_code ignored;
  return fs::is_symlink(fs::symlink_status(path, ignored));
}

constexpr const char* kLinkProblem = "The file is a symbolic link.";

}  // namespace

std::string DefaultsRecoveryNote::eventName() const {
  switch (kind) {
    case Kind::saveFailed:
      return "defaults_suite_save_failed";
    case Kind::savedAgain:
      return "defaults_suite_saved_again";
    case Kind::unreadableFileMovedAside:
    case Kind::unreadableFileLeftInPlace:
      break;
  }
  return "defaults_suite_recovered";
}

std::map<std::string, std::string> DefaultsRecoveryNote::eventFields() const {
  std::map<std::string, std::string> fields{{"suite", suite}};
  if (!reason.empty()) fields["reason"] = reason;
  if (keptAs) fields["keptAs"] = keptAs->filename().string();
  return fields;
}

// What the store and its suites share: where notes go and where saves run. The store owns the
// queue; suites only reach it while the store lives and save on their caller's thread after.
struct JsonFileDefaultsStore::Shared {
  Clock clock;
  std::weak_ptr<runtime::SerialQueue> saves;
  mutable std::mutex mutex;
  std::vector<DefaultsRecoveryNote> notes;
  RecoveryObserver observer;

  void note(DefaultsRecoveryNote note) {
    RecoveryObserver current;
    {
      std::lock_guard lock(mutex);
      notes.push_back(note);
      current = observer;
    }
    if (current) current(note);
  }
};

class JsonFileDefaultsStore::Suite final : public DefaultsSuite,
                                           public std::enable_shared_from_this<Suite> {
 public:
  Suite(std::string name, fs::path folder, std::shared_ptr<Shared> shared)
      : name_(std::move(name)), folder_(std::move(folder)), shared_(std::move(shared)) {
    auto loaded = load();
    values_ = std::move(loaded.values);
    writable_ = loaded.writable;
    loadNote_ = std::move(loaded.note);
  }

  // Hands what loading found to the store's notes once; called outside the store's lock.
  void deliverLoadNote() {
    std::optional<DefaultsRecoveryNote> note;
    {
      std::lock_guard lock(mutex_);
      note = std::exchange(loadNote_, std::nullopt);
    }
    if (note) shared_->note(std::move(*note));
  }

  const std::string& name() const override { return name_; }

  std::optional<Value> object(const std::string& key) const override {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }

  void set(const std::string& key, Value value) override {
    std::unique_lock lock(mutex_);
    if (auto it = values_.find(key); it != values_.end() && it->second == value) return;
    values_.insert_or_assign(key, value);
    changeLocked(lock, key, std::move(value));
  }

  void remove(const std::string& key) override {
    std::unique_lock lock(mutex_);
    if (values_.erase(key) == 0) return;
    changeLocked(lock, key, std::nullopt);
  }

  Value::Dictionary dictionaryRepresentation() const override {
    std::lock_guard lock(mutex_);
    return values_;
  }

  // The stored contents, when the suite has a file or was written this run.
  std::optional<Value::Dictionary> persisted() const {
    std::lock_guard lock(mutex_);
    std::error_code ignored;
    if (!fs::exists(path(), ignored) && !writtenInMemory_) return std::nullopt;
    return values_;
  }

  void erase() {
    std::lock_guard disk(diskMutex_);
    std::lock_guard lock(mutex_);
    values_.clear();
    pending_.clear();
    writtenInMemory_ = false;
    std::error_code ignored;
    fs::remove(path(), ignored);
  }

  // Writes what changed since the last save, all of it at once: under the folder lock, what
  // other processes stored meanwhile is read back and the changes applied to it, so the file and
  // this suite end up holding both. Runs on the store's save queue.
  void save() {
    Changes changes;
    Value::Dictionary own;
    {
      std::lock_guard lock(mutex_);
      saveScheduled_ = false;
      if (!writable_ || pending_.empty()) return;
      changes.swap(pending_);
      own = values_;
    }
    std::lock_guard disk(diskMutex_);
    std::vector<DefaultsRecoveryNote> notes;
    std::optional<Value::Dictionary> merged;
    bool writable = true;
    runtime::Status saved = createPrivateDirectories(folder_);
    if (saved) {
      FolderLock folderLock(folder_);
      if (isSymbolicLink(path())) {
        // A link put there since loading is moved aside, never written through or replaced.
        LoadedSuite aside = moveAside(LoadedSuite{}, kLinkProblem);
        if (aside.note) notes.push_back(std::move(*aside.note));
        writable = aside.writable;
      } else if (auto stored = storedValues()) {
        applyChanges(*stored, changes);
        merged = std::move(stored);
      }
      if (writable) saved = write(merged ? *merged : own, notes);
    }
    if (!saved) {
      notes.push_back({DefaultsRecoveryNote::Kind::saveFailed, name_, saved.message(), {}});
      lastSaveFailed_ = true;
    } else if (writable && std::exchange(lastSaveFailed_, false)) {
      notes.push_back({DefaultsRecoveryNote::Kind::savedAgain, name_, {}, {}});
    }
    {
      std::lock_guard lock(mutex_);
      if (!writable) writable_ = false;
      if (merged) {
        values_ = std::move(*merged);
        applyChanges(values_, pending_);  // changes made while this save ran stay
      }
    }
    for (auto& note : notes) shared_->note(std::move(note));
  }

 private:
  fs::path path() const { return folder_ / (name_ + ".json"); }

  // Records one change and has it saved off the caller's thread; changes made before the save
  // runs are written together.
  void changeLocked(std::unique_lock<std::mutex>& lock, const std::string& key,
                    std::optional<Value> value) {
    writtenInMemory_ = true;
    if (!writable_) return;
    pending_.insert_or_assign(key, std::move(value));
    if (std::exchange(saveScheduled_, true)) return;
    lock.unlock();
    if (auto queue = shared_->saves.lock()) {
      queue->post([self = shared_from_this()] { self->save(); });
    } else {
      save();  // the store is gone: nothing is left to run it later
    }
    lock.lock();
  }

  runtime::Status write(const Value::Dictionary& values,
                        std::vector<DefaultsRecoveryNote>& notes) const {
    const auto text = encodedText(values, notes);
    if (text.size() > maxSuiteFileBytes) {
      return runtime::Status::failure("The settings have grown larger than the " +
                                      std::to_string(maxSuiteFileBytes / (1024 * 1024)) +
                                      " MB a settings file may hold.");
    }
    return writeFileAtomically(path(), text, 0600);
  }

  // The suite file's entries as stored now; nothing when it is missing or cannot be read whole
  // (this suite's own values are written then, as before).
  std::optional<Value::Dictionary> storedValues() const {
    auto text = readFile(path(), maxSuiteFileBytes);
    if (!text) return std::nullopt;
    const auto json = nlohmann::json::parse(text.value(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) return std::nullopt;
    Value::Dictionary values;
    for (const auto& [key, item] : json.items()) {
      auto value = decodeDefaultsValue(item);
      if (!value) return std::nullopt;
      values.emplace(key, std::move(*value));
    }
    return values;
  }

  // The file's text. Keys that are not UTF-8 cannot be written as they are: their invalid bytes
  // are replaced, and a note says so.
  std::string encodedText(const Value::Dictionary& values,
                          std::vector<DefaultsRecoveryNote>& notes) const {
    auto object = nlohmann::json::object();
    std::size_t replacedKeys = 0;
    for (const auto& [key, value] : values) {
      if (!isValidUtf8(key)) ++replacedKeys;
      object[key] = encodeDefaultsValue(value);
    }
    if (replacedKeys > 0) {
      notes.push_back({DefaultsRecoveryNote::Kind::saveFailed,
                       name_,
                       std::to_string(replacedKeys) +
                           " keys are not UTF-8 text; they were saved with their invalid bytes "
                           "replaced.",
                       {}});
    }
    return object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  }

  LoadedSuite load() const {
    LoadedSuite loaded;
    std::error_code error;
    const auto status = fs::symlink_status(path(), error);
    if (error || !fs::exists(status)) return loaded;  // never written: an empty suite
    // Writing would replace a link with a file, or write through it: it is set aside instead.
    if (fs::is_symlink(status)) return moveAside(std::move(loaded), kLinkProblem);
    auto text = readFile(path(), maxSuiteFileBytes);
    std::string problem;
    if (!text) {
      problem = text.message();
    } else {
      const auto json = nlohmann::json::parse(text.value(), nullptr, false);
      if (json.is_discarded() || !json.is_object()) {
        problem = "The file is not a JSON object.";
      } else {
        std::size_t skipped = 0;
        for (const auto& [key, item] : json.items()) {
          if (auto value = decodeDefaultsValue(item)) {
            loaded.values.emplace(key, std::move(*value));
          } else {
            ++skipped;
          }
        }
        if (skipped == 0) return loaded;
        problem = std::to_string(skipped) + " entries could not be decoded.";
      }
    }
    return moveAside(std::move(loaded), problem);
  }

  LoadedSuite moveAside(LoadedSuite loaded, const std::string& problem) const {
    const std::string stamp = compactTimestamp(shared_->clock());
    fs::path destination;
    for (int attempt = 1; attempt < 1000; ++attempt) {
      const std::string suffix = attempt == 1 ? "" : "-" + std::to_string(attempt);
      destination = folder_ / (name_ + ".unreadable-" + stamp + suffix + ".json");
      std::error_code ignored;
      if (!fs::exists(fs::symlink_status(destination, ignored))) break;
    }
    if (std::rename(path().c_str(), destination.c_str()) == 0) {
      loaded.note = DefaultsRecoveryNote{DefaultsRecoveryNote::Kind::unreadableFileMovedAside,
                                         name_, problem, destination};
      return loaded;
    }
    // It can be neither read nor moved: leave it alone and keep this run's changes in memory.
    loaded.writable = false;
    loaded.note =
        DefaultsRecoveryNote{DefaultsRecoveryNote::Kind::unreadableFileLeftInPlace, name_,
                             problem + " It could not be moved aside either.", std::nullopt};
    return loaded;
  }

  const std::string name_;
  const fs::path folder_;
  const std::shared_ptr<Shared> shared_;
  std::mutex diskMutex_;         // one writer of the file at a time, held without mutex_
  bool lastSaveFailed_ = false;  // under diskMutex_
  mutable std::mutex mutex_;
  Value::Dictionary values_;
  Changes pending_;  // changed since the last save began
  bool saveScheduled_ = false;
  bool writable_ = true;
  bool writtenInMemory_ = false;
  std::optional<DefaultsRecoveryNote> loadNote_;
};

JsonFileDefaultsStore::JsonFileDefaultsStore(fs::path folder, Clock clock,
                                             std::shared_ptr<runtime::SerialQueue> saves)
    : folder_(std::move(folder)),
      shared_(std::make_shared<Shared>()),
      saves_(saves ? std::move(saves)
                   : std::make_shared<runtime::ThreadSerialQueue>("corvane.defaults.saves")) {
  shared_->clock = clock ? std::move(clock) : [] { return runtime::SystemClock().now(); };
  shared_->saves = saves_;
  removeLeftoverTemporaries();
}

void JsonFileDefaultsStore::removeLeftoverTemporaries() const {
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(folder_, error))) return;
  // Under the folder lock no save is under way, so every temporary left is a killed one's.
  FolderLock lock(folder_);
  for (const auto& entry : fs::directory_iterator(folder_, error)) {
    const auto target = atomicWriteTarget(entry.path().filename().string());
    if (!target || !target->ends_with(".json") || !entry.is_regular_file(error) ||
        entry.is_symlink(error) ||
        !isValidSuiteName(target->substr(0, target->size() - std::string_view(".json").size()))) {
      continue;
    }
    fs::remove(entry.path(), error);
  }
}

JsonFileDefaultsStore::~JsonFileDefaultsStore() {
  flush();
}

void JsonFileDefaultsStore::flush() {
  saves_->runSync([] {});
}

bool JsonFileDefaultsStore::isValidSuiteName(const std::string& name) {
  if (name.empty() || name.size() > 200 || name.front() == '.') return false;
  for (unsigned char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    if (!allowed) return false;
  }
  return true;
}

std::shared_ptr<JsonFileDefaultsStore::Suite> JsonFileDefaultsStore::suiteLocked(
    const std::string& name) const {
  auto& entry = suites_[name];
  if (!entry) entry = std::make_shared<Suite>(name, folder_, shared_);
  return entry;
}

std::shared_ptr<DefaultsSuite> JsonFileDefaultsStore::suite(const std::string& name) {
  if (!isValidSuiteName(name)) return nullptr;
  std::shared_ptr<Suite> found;
  {
    std::lock_guard lock(mutex_);
    found = suiteLocked(name);
  }
  found->deliverLoadNote();
  return found;
}

std::shared_ptr<DefaultsSuite> JsonFileDefaultsStore::standard() {
  return suite(standardSuiteName);
}

std::optional<Value::Dictionary> JsonFileDefaultsStore::persistentDomain(
    const std::string& name) const {
  if (!isValidSuiteName(name)) return std::nullopt;
  std::shared_ptr<Suite> found;
  {
    std::lock_guard lock(mutex_);
    found = suiteLocked(name);
  }
  found->deliverLoadNote();
  return found->persisted();
}

void JsonFileDefaultsStore::removePersistentDomain(const std::string& name) {
  if (!isValidSuiteName(name)) return;
  std::shared_ptr<Suite> found;
  {
    std::lock_guard lock(mutex_);
    found = suiteLocked(name);
  }
  found->deliverLoadNote();
  found->erase();
}

void JsonFileDefaultsStore::setRecoveryObserver(RecoveryObserver observer) {
  std::vector<DefaultsRecoveryNote> earlier;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->observer = observer;
    earlier = shared_->notes;
  }
  if (!observer) return;
  for (const auto& note : earlier) observer(note);
}

std::vector<DefaultsRecoveryNote> JsonFileDefaultsStore::recoveryNotes() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->notes;
}

}  // namespace corvane::platform
