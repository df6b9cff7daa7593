// `expected` and `unexpected`: the standard ones wherever the compiler can build them.
//
// clang 14 (the compiler of the fuzzing build) cannot compile libstdc++ 12's <expected>: it lacks
// the concepts level and the conditionally trivial destructors that header needs. For that build
// only, a small stand-in with the same interface subset is used; g++ builds use std::expected.
#pragma once

#include <version>

#if defined(__cpp_lib_expected)
#include <expected>

namespace paifu {
using std::expected;
using std::unexpected;
}  // namespace paifu

#else
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

namespace paifu {

template <typename E>
class unexpected {
 public:
  explicit unexpected(E error) : error_(std::move(error)) {}
  E& error() & { return error_; }
  const E& error() const& { return error_; }
  E&& error() && { return std::move(error_); }

 private:
  E error_;
};

template <typename E>
unexpected(E) -> unexpected<E>;

template <typename T, typename E>
class expected {
 public:
  using value_type = T;
  using error_type = E;

  expected() requires std::is_default_constructible_v<T> : state_(std::in_place_index<0>) {}
  template <typename U = T>
    requires(std::is_constructible_v<T, U &&> && !std::is_same_v<std::remove_cvref_t<U>, expected> &&
             !std::is_same_v<std::remove_cvref_t<U>, unexpected<E>>)
  expected(U&& value) : state_(std::in_place_index<0>, std::forward<U>(value)) {}  // NOLINT: implicit as std
  template <typename G>
  expected(unexpected<G> error) : state_(std::in_place_index<1>, std::move(error).error()) {}  // NOLINT

  bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  T& operator*() & { return std::get<0>(state_); }
  const T& operator*() const& { return std::get<0>(state_); }
  T&& operator*() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  T& value() & { return has_value() ? **this : throw std::logic_error("bad expected access"); }
  const T& value() const& { return has_value() ? **this : throw std::logic_error("bad expected access"); }
  E& error() & { return std::get<1>(state_); }
  const E& error() const& { return std::get<1>(state_); }
  E&& error() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, E> state_;
};

template <typename E>
class expected<void, E> {
 public:
  using value_type = void;
  using error_type = E;

  expected() = default;
  template <typename G>
  expected(unexpected<G> error) : error_(std::move(error).error()), failed_(true) {}  // NOLINT

  bool has_value() const { return !failed_; }
  explicit operator bool() const { return has_value(); }
  void operator*() const {}
  E& error() & { return error_; }
  const E& error() const& { return error_; }
  E&& error() && { return std::move(error_); }

 private:
  E error_{};
  bool failed_ = false;
};

}  // namespace paifu

#endif
