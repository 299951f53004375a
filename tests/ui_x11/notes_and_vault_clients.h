#pragma once

#include <cstdint>
#include <string>

#include "support/x11/test_client.h"

namespace corvane::ui::testing {

// Two X clients side by side on a test server: an ordinary application, which a session shares,
// and an excluded one ("PasswordVault"), which it must never show.
struct NotesAndVaultClients {
  static constexpr std::uint32_t kNotesColour = 0x20C040;
  static constexpr std::uint32_t kVaultColour = 0xE02020;
  static constexpr const char* kVaultClass = "PasswordVault";

  static corvane::testing::TestClientOptions notesOptions() {
    corvane::testing::TestClientOptions notes;
    notes.windowClass = "NotesApp";
    notes.colour = kNotesColour;
    notes.x = 60;
    notes.y = 90;
    notes.width = 520;
    notes.height = 380;
    return notes;
  }
  static corvane::testing::TestClientOptions vaultOptions() {
    auto vault = notesOptions();
    vault.windowClass = kVaultClass;
    vault.colour = kVaultColour;
    vault.x = 660;
    vault.y = 200;
    return vault;
  }

  explicit NotesAndVaultClients(const std::string& display)
      : notes(display, notesOptions()), vault(display, vaultOptions()) {}

  bool ok() const { return notes.window() != 0u && vault.window() != 0u; }

  corvane::testing::TestClient notes;
  corvane::testing::TestClient vault;
};

}  // namespace corvane::ui::testing
