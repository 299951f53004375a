#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/defaults_store.h"
#include "platform/files.h"
#include "runtime/serial_queue.h"

namespace corvane::platform {

// Something the store had to do on its own that the user or a support engineer should be able
// to find later: a suite file it could not read (moved aside under a dated name and the suite
// started from what could be read), a change it could not save, or the first save that worked
// again after one that failed.
struct DefaultsRecoveryNote {
  enum class Kind { unreadableFileMovedAside, unreadableFileLeftInPlace, saveFailed, savedAgain };

  Kind kind = Kind::unreadableFileMovedAside;
  std::string suite;
  std::string reason;
  std::optional<std::filesystem::path> keptAs;

  // "defaults_suite_recovered" for unreadable files, "defaults_suite_save_failed" and
  // "defaults_suite_saved_again" for saves.
  std::string eventName() const;
  // Flat metadata for the event log: "suite", "reason" when there is one and, when moved aside,
  // "keptAs".
  std::map<std::string, std::string> eventFields() const;
};

// Defaults suites as one JSON file per suite, "<folder>/<suite name>.json" (the folder is
// $XDG_CONFIG_HOME/corvane/defaults in the app). A change is kept in memory at once and saved on
// the store's serial queue, never on the caller's thread: the suite's file is rewritten
// atomically with mode 0600, once for all the changes made before the save ran. flush() and the
// destructor wait for every save asked for. A file that cannot be read or decoded is never
// overwritten: it is renamed to "<suite>.unreadable-<UTC time>.json" and the suite goes on with
// whatever entries could be decoded; if even the rename fails, the suite lives in memory only for
// this run. Other suites are untouched either way. The temporary files of saves a killed process
// left behind are removed when the store is made. Thread-safe.
class JsonFileDefaultsStore final : public DefaultsStore {
 public:
  using Clock = std::function<runtime::WallTime()>;
  using RecoveryObserver = std::function<void(const DefaultsRecoveryNote&)>;

  static constexpr const char* standardSuiteName = "corvane.standard";

  // `clock` names moved-aside files; the machine's wall clock when not given. Saves run on
  // `saves`, a thread of the store's own when not given.
  explicit JsonFileDefaultsStore(std::filesystem::path folder, Clock clock = {},
                                 std::shared_ptr<runtime::SerialQueue> saves = {});
  ~JsonFileDefaultsStore() override;

  // Returns once every change made so far is saved (or its failure noted).
  void flush() override;

  static std::filesystem::path defaultFolder(const WellKnownFolders& folders) {
    return folders.configHome / "corvane" / "defaults";
  }

  std::shared_ptr<DefaultsSuite> suite(const std::string& name) override;
  std::shared_ptr<DefaultsSuite> standard() override;
  std::optional<Value::Dictionary> persistentDomain(const std::string& name) const override;
  void removePersistentDomain(const std::string& name) override;

  // Receives every note made so far at once, then each new one as it happens (outside the
  // store's locks). The app connects it to the event log once the log exists.
  void setRecoveryObserver(RecoveryObserver observer);
  std::vector<DefaultsRecoveryNote> recoveryNotes() const;

  // Letters, digits, ".", "_" and "-", at most 200 characters, not starting with ".".
  static bool isValidSuiteName(const std::string& name);

  const std::filesystem::path& folder() const { return folder_; }

  class Suite;
  struct Shared;

 private:
  std::shared_ptr<Suite> suiteLocked(const std::string& name) const;
  // Removes the temporary suite files a process killed while saving left in the folder.
  void removeLeftoverTemporaries() const;

  std::filesystem::path folder_;
  std::shared_ptr<Shared> shared_;
  std::shared_ptr<runtime::SerialQueue> saves_;
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::shared_ptr<Suite>> suites_;
};

}  // namespace corvane::platform
