// Results as values: a value or a message for the user, never an exception.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <variant>

namespace kro {

// A failure with a message that can be shown to the user as it is (UTF-8).
struct Error {
  std::string message;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}      // NOLINT: implicit by design
  Result(Error error) : v_(std::move(error)) {}  // NOLINT

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  // The value, as for std::optional: only after checking ok().
  T& operator*() & { return std::get<0>(v_); }
  const T& operator*() const& { return std::get<0>(v_); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  const std::string& message() const { return std::get<1>(v_).message; }
  Error error() const { return std::get<1>(v_); }

 private:
  std::variant<T, Error> v_;
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error error) : ok_(false), message_(std::move(error.message)) {}  // NOLINT

  static Status success() { return {}; }

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& message() const { return message_; }

 private:
  bool ok_ = true;
  std::string message_;
};

// Set by the user interface to ask long work to stop before it writes anything; work that takes
// one checks it before each file it writes, and fails with kCancelledMessage.
using CancelFlag = std::atomic<bool>;
inline bool isCancelled(const CancelFlag* flag) { return flag != nullptr && flag->load(); }
inline constexpr const char* kCancelledMessage = "已取消，没有写入任何文件。";

}  // namespace kro
