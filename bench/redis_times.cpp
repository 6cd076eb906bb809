#include "redis_times.h"

#include <strings.h>

namespace cairnward::bench {
namespace {

struct ReplyFree {
  void operator()(redisReply* reply) const noexcept { freeReplyObject(reply); }
};
using Reply = std::unique_ptr<redisReply, ReplyFree>;

Reply Send(redisContext* context, const std::vector<std::string>& command) {
  std::vector<const char*> pointers;
  std::vector<std::size_t> lengths;
  for (const std::string& argument : command) {
    pointers.push_back(argument.data());
    lengths.push_back(argument.size());
  }
  return Reply(static_cast<redisReply*>(redisCommandArgv(context, static_cast<int>(command.size()),
                                                         pointers.data(), lengths.data())));
}

bool Is(const redisReply& reply, std::string_view text) {
  return reply.type == REDIS_REPLY_STRING && reply.len == text.size() &&
         strncasecmp(reply.str, text.data(), text.size()) == 0;
}

// Enough for a batch of placements and the publication after it.
constexpr std::string_view kLogLength = "100000";

}  // namespace

ScriptTimes::ScriptTimes(int port, std::string_view source)
    : context_(redisConnect("127.0.0.1", port)) {
  const Reply sha = Send(context_.get(), {"SCRIPT", "LOAD", std::string(source)});
  if (sha != nullptr && sha->type == REDIS_REPLY_STRING) {
    sha_.assign(sha->str, sha->len);
  }
  Call({"CONFIG", "SET", "slowlog-max-len", std::string(kLogLength)});
  Call({"CONFIG", "SET", "slowlog-log-slower-than", "0"});
  Call({"SLOWLOG", "RESET"});
}

ScriptTimes::~ScriptTimes() {
  Call({"CONFIG", "SET", "slowlog-log-slower-than", "10000"});
  Call({"SLOWLOG", "RESET"});
}

void ScriptTimes::Call(const std::vector<std::string>& command) {
  Send(context_.get(), command);
}

void ScriptTimes::Take(std::vector<double>& into) {
  const Reply log = Send(context_.get(), {"SLOWLOG", "GET", std::string(kLogLength)});
  Call({"SLOWLOG", "RESET"});
  if (log == nullptr || log->type != REDIS_REPLY_ARRAY) {
    return;
  }
  // Each entry: id, time, microseconds, the command's arguments, ...
  for (std::size_t i = 0; i < log->elements; ++i) {
    const redisReply& entry = *log->element[i];
    if (entry.elements < 4 || entry.element[3]->elements < 2) {
      continue;
    }
    const redisReply& command = *entry.element[3];
    if (Is(*command.element[0], "evalsha") && Is(*command.element[1], sha_)) {
      into.push_back(static_cast<double>(entry.element[2]->integer));
    }
  }
}

}  // namespace cairnward::bench
