#pragma once

#include <string_view>

namespace corvane::platform {

// How an application id is compared: exactly (desktop-entry and flatpak ids), or without regard
// to case (names taken from a window's WM_CLASS, whose capitalisation differs between the
// instance, the class and the ids other programs use for the same application).
enum class IdCase { exact, ignored };

// Whether `id` names the application `excluded` or one of its helpers, whose ids extend it by
// "." and a suffix ("<id>.<suffix>"). An empty `excluded` names nothing.
bool namesApplicationOrHelper(std::string_view id, std::string_view excluded,
                              IdCase idCase = IdCase::exact);

// Whether two names are one application's name written another way, for names read from a
// process whose other names could not be read: the same up to case, punctuation and a vendor
// prefix ("org.example.Vault", "vault", "VAULT" and "Va-ult" are close; "vault-helper", "Vaults"
// and "Vau" are not: a name that merely begins alike is another application's).
bool namesAreClose(std::string_view name, std::string_view other);

}  // namespace corvane::platform
