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

namespace corvane::platform {

// Something the store had to do on its own that the user or a support engineer should be able
// to find later: a suite file it could not read (moved aside under a dated name and the suite
// started from what could be read), or a change it could not save.
struct DefaultsRecoveryNote {
  enum class Kind { unreadableFileMovedAside, unreadableFileLeftInPlace, saveFailed };

  Kind kind = Kind::unreadableFileMovedAside;
  std::string suite;
  std::string reason;
  std::optional<std::filesystem::path> keptAs;

  // "defaults_suite_recovered" for unreadable files, "defaults_suite_save_failed" otherwise.
  std::string eventName() const;
  // Flat metadata for the event log: "suite", "reason" and, when moved aside, "keptAs".
  std::map<std::string, std::string> eventFields() const;
};

// Defaults suites as one JSON file per suite, "<folder>/<suite name>.json" (the folder is
// $XDG_CONFIG_HOME/corvane/defaults in the app). Each change rewrites the suite's file
// atomically with mode 0600. A file that cannot be read or decoded is never overwritten: it is
// renamed to "<suite>.unreadable-<UTC time>.json" and the suite goes on with whatever entries
// could be decoded; if even the rename fails, the suite lives in memory only for this run.
// Other suites are untouched either way. Thread-safe.
class JsonFileDefaultsStore final : public DefaultsStore {
 public:
  using Clock = std::function<runtime::WallTime()>;
  using RecoveryObserver = std::function<void(const DefaultsRecoveryNote&)>;

  static constexpr const char* standardSuiteName = "corvane.standard";

  // `clock` names moved-aside files; the machine's wall clock when not given.
  explicit JsonFileDefaultsStore(std::filesystem::path folder, Clock clock = {});
  ~JsonFileDefaultsStore() override;

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

  std::filesystem::path folder_;
  std::shared_ptr<Shared> shared_;
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::shared_ptr<Suite>> suites_;
};

}  // namespace corvane::platform
