#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace corvane::runtime {

// A failure that carries the sentence shown to the user or written to the log.
struct Error {
  std::string message;

  bool operator==(const Error&) const = default;
};

// A value or the Error that prevented it. Errors are values: nothing here throws.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(Error error) : state_(std::move(error)) {}

  static Result failure(std::string message) { return Result(Error{std::move(message)}); }

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  const T& value() const& { return std::get<T>(state_); }
  T& value() & { return std::get<T>(state_); }
  T&& value() && { return std::get<T>(std::move(state_)); }
  const T* operator->() const { return &value(); }
  const T& operator*() const { return value(); }

  const Error& error() const { return std::get<Error>(state_); }
  const std::string& message() const { return error().message; }

  T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

 private:
  std::variant<T, Error> state_;
};

// The outcome of an operation that produces nothing but may fail.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)) {}

  static Status success() { return Status(); }
  static Status failure(std::string message) { return Status(Error{std::move(message)}); }

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return *error_; }
  const std::string& message() const { return error_->message; }

  bool operator==(const Status&) const = default;

 private:
  std::optional<Error> error_;
};

}  // namespace corvane::runtime
