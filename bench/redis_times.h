#pragma once

#include <hiredis/hiredis.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cairnward::bench {

// Redis's own time, in microseconds, for each call of one script, read from
// its slow log at threshold 0: what the script costs Redis, apart from the
// network and the client. The log is emptied at each Take, so that it only
// ever holds a batch of calls.
class ScriptTimes {
 public:
  ScriptTimes(int port, std::string_view source);
  ~ScriptTimes();
  ScriptTimes(const ScriptTimes&) = delete;
  ScriptTimes& operator=(const ScriptTimes&) = delete;

  // Appends the times of the script's calls logged since the last Take to
  // `into`, and empties the log.
  void Take(std::vector<double>& into);

  [[nodiscard]] const std::string& Sha() const { return sha_; }

 private:
  struct ContextFree {
    void operator()(redisContext* context) const noexcept { redisFree(context); }
  };
  void Call(const std::vector<std::string>& command);

  std::unique_ptr<redisContext, ContextFree> context_;
  std::string sha_;
};

}  // namespace cairnward::bench
