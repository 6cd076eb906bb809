#pragma once

#include <exception>
#include <optional>
#include <string_view>
#include <utility>

namespace cairnward {

// One error line for a failure that a hook contained.
void LogHookFailure(std::string_view hook, std::string_view what) noexcept;

// Runs a hook's own work; a failure in it never reaches the game. It is
// logged once under the hook's name and the hook answers with `fallback()`,
// what the game would have answered without the plug-in.
template <typename Body, typename Fallback>
auto GuardHook(std::string_view hook, Body&& body, Fallback&& fallback) -> decltype(body()) {
  try {
    return std::forward<Body>(body)();
  } catch (const std::exception& e) {
    LogHookFailure(hook, e.what());
  } catch (...) {
    LogHookFailure(hook, "unknown error");
  }
  return std::forward<Fallback>(fallback)();
}

// The game function's answer, fetched at most once per hook call: a fallback
// after a failure reuses it instead of calling the game a second time.
template <typename R>
class GameAnswer {
 public:
  template <typename Call>
  R Get(Call&& call) {
    if (!answer_) {
      answer_ = std::forward<Call>(call)();
    }
    return *answer_;
  }

 private:
  std::optional<R> answer_;
};

// The same for game functions without a result.
class GameCallOnce {
 public:
  template <typename Call>
  void Run(Call&& call) {
    if (!called_) {
      called_ = true;
      std::forward<Call>(call)();
    }
  }

 private:
  bool called_ = false;
};

}  // namespace cairnward
