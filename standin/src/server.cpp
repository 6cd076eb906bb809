#include "standin/server.h"

#include <mutex>

#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include "standin/game_functions.h"
#include "standin/memory.h"
#include "standin/strict.h"
#include "standin/utf8.h"

namespace standin {
namespace {

Server*& CurrentSlot() {
  static Server* current = nullptr;
  return current;
}

// Keeps every line written through the host's sinks, for tests and events.
class CaptureSink : public spdlog::sinks::base_sink<std::mutex> {
 public:
  explicit CaptureSink(Server& server) : server_(server) {}

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    server_.Record({msg.level, std::string(msg.logger_name.begin(), msg.logger_name.end()),
                    std::string(msg.payload.begin(), msg.payload.end())});
  }
  void flush_() override {}

 private:
  Server& server_;
};

class ApiUtilsImpl : public ArkApi::IApiUtils {
 public:
  explicit ApiUtilsImpl(Server& server) : server_(server) {}

  [[nodiscard]] UWorld* GetWorld() const override {
    return AsGame<UWorld>(server_.GetWorld().GameWorld());
  }
  [[nodiscard]] int GetStatus() const override { return server_.Status(); }

  [[nodiscard]] std::uint64_t GetSteamIdFromController(AController* controller) const override {
    if (controller == nullptr) {
      return 0;
    }
    SimObject* object = Checked(controller, kController, "GetSteamIdFromController");
    return (object->kinds & kPlayerController) != 0
               ? static_cast<SimPlayerController*>(object)->steam_id
               : 0;
  }

  [[nodiscard]] bool IsPlayerDead(AShooterPlayerController* player) const override {
    if (player == nullptr) {
      return true;
    }
    return CheckedAs<SimPlayerController>(player, kPlayerController, "IsPlayerDead")->character ==
           nullptr;
  }

  [[nodiscard]] AShooterPlayerController* FindPlayerFromName(const FString& name) const override {
    SimPlayerController* player = server_.GetWorld().FindPlayer(Utf16ToUtf8(name.View()));
    return player != nullptr ? AsGame<AShooterPlayerController>(player) : nullptr;
  }

 private:
  Server& server_;
};

// The game's object for a client connection, for the length of one command:
// a reply sent on it later is the plug-in's mistake, and the host says so.
class CommandConnection {
 public:
  explicit CommandConnection(World& world)
      : world_(world), connection_(*world.MakeRconConnection()) {}
  ~CommandConnection() { world_.DestroyObject(&connection_); }
  CommandConnection(const CommandConnection&) = delete;
  CommandConnection& operator=(const CommandConnection&) = delete;

  SimRconConnection& operator*() const { return connection_; }
  SimRconConnection* operator->() const { return &connection_; }

 private:
  World& world_;
  SimRconConnection& connection_;
};

}  // namespace

Server::Server(std::filesystem::path root, ServerOptions options)
    : root_(std::move(root)),
      world_(std::make_unique<World>()),
      api_utils_(std::make_unique<ApiUtilsImpl>(*this)),
      host_logger_(std::make_shared<spdlog::logger>("AtlasApi")),
      loader_(hooks_, commands_, *host_logger_),
      keep_history_(options.keep_history) {
  if (CurrentSlot() != nullptr) {
    Violation("a second stand-in server was started while one runs");
  }
  RegisterGameFunctions();
  const auto log_dir = root_ / "AtlasApi" / "Logs";
  std::filesystem::create_directories(log_dir);
  if (options.console_log) {
    sinks_.push_back(std::make_shared<spdlog::sinks::stdout_sink_mt>());
  }
  sinks_.push_back(
      std::make_shared<spdlog::sinks::basic_file_sink_mt>((log_dir / "AtlasApi.log").string()));
  sinks_.push_back(std::make_shared<CaptureSink>(*this));
  host_logger_->sinks() = sinks_;
  host_logger_->set_pattern("%D %R [%n][%l] %v");
  host_logger_->flush_on(spdlog::level::info);
  CurrentSlot() = this;
}

Server::~Server() {
  loader_.Unload();
  CurrentSlot() = nullptr;
}

Server& Server::Current() {
  if (CurrentSlot() == nullptr) {
    Violation("the host interface was used while no stand-in server runs");
  }
  return *CurrentSlot();
}

std::filesystem::path Server::PluginDir(const std::string& name) const {
  return root_ / "AtlasApi" / "Plugins" / name;
}

ArkApi::IApiUtils& Server::ApiUtils() {
  return *api_utils_;
}

void Server::AddToGroup(std::uint64_t steam_id, const std::u16string& group) {
  groups_[steam_id].insert(group);
}

bool Server::InGroup(std::uint64_t steam_id, const std::u16string& group) const {
  const auto it = groups_.find(steam_id);
  return it != groups_.end() && it->second.count(group) != 0;
}

bool Server::LoadPlugin(const std::string& name) {
  return ReportLoad(loader_.Load(PluginDir(name) / (name + ".so"), name));
}

bool Server::LoadLinkedPlugin(plugin_entry::EntryFn entry, const std::string& name) {
  return ReportLoad(loader_.LoadLinked(entry, name));
}

bool Server::ReportLoad(bool loaded) {
  if (events_.on_plugin) {
    events_.on_plugin(loaded ? "loaded" : "load_failed");
  }
  return loaded;
}

void Server::UnloadPlugin() {
  if (!loader_.Loaded()) {
    return;
  }
  loader_.Unload();
  if (events_.on_plugin) {
    events_.on_plugin("unloaded");
  }
}

void Server::Deliver(Delivery delivery) {
  const Delivery& kept = keep_history_ ? deliveries_.emplace_back(std::move(delivery)) : delivery;
  if (events_.on_delivery) {
    events_.on_delivery(kept);
  }
}

bool Server::Chat(SimPlayerController* player, std::u16string_view text) {
  return commands_.DispatchChat(AsGame<AShooterPlayerController>(player), std::u16string(text),
                                EChatSendMode::GlobalChat);
}

bool Server::Console(SimPlayerController* player, std::u16string_view text) {
  return commands_.DispatchConsole(AsGame<APlayerController>(player), std::u16string(text));
}

RCONPacket RconCommandPacket(std::u16string_view text, std::int32_t id) {
  // Id, type and the two NULs around the body, as the wire counts them.
  constexpr std::size_t kPacketOverhead = 10;
  constexpr std::int32_t kExecCommand = 2;
  RCONPacket packet;
  packet.Length = static_cast<std::int32_t>(kPacketOverhead + Utf16ToUtf8(text).size());
  packet.Id = id;
  packet.Type = kExecCommand;
  packet.Body = FString(text);
  return packet;
}

std::vector<RconReply> Server::Rcon(std::u16string_view text, std::int32_t id) {
  std::vector<RconReply> replies;
  const CommandConnection connection(*world_);
  connection->send = [&replies](const RconReply& reply) { replies.push_back(reply); };
  RCONPacket packet = RconCommandPacket(text, id);
  ExecuteRcon(*connection, packet);
  return replies;
}

bool Server::ExecuteRcon(SimRconConnection& connection, RCONPacket& packet) {
  if (commands_.DispatchRcon(AsGame<RCONClientConnection>(&connection), &packet,
                             AsGame<UWorld>(world_->GameWorld()))) {
    return true;
  }
  SendRcon(connection,
           {packet.Id, 0, u"Unknown command: " + FirstWord(std::u16string(packet.Body.View()))});
  return false;
}

void Server::SendRcon(SimRconConnection& connection, const RconReply& reply) {
  if (keep_history_) {
    rcon_replies_.push_back(reply);
  }
  if (events_.on_rcon_reply) {
    events_.on_rcon_reply(reply);
  }
  if (connection.send) {
    connection.send(reply);
  }
}

void Server::Record(LogRecord record) {
  const LogRecord& kept = keep_history_ ? log_.emplace_back(std::move(record)) : record;
  if (events_.on_log) {
    events_.on_log(kept);
  }
}

}  // namespace standin
