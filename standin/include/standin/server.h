#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <spdlog/common.h>

#include "api/math_types.h"
#include "api/rcon_packet.h"
#include "standin/command_registry.h"
#include "standin/game_actions.h"
#include "standin/hook_registry.h"
#include "standin/plugin_loader.h"
#include "standin/world.h"

namespace spdlog {
class logger;
namespace sinks {
class sink;
}  // namespace sinks
}  // namespace spdlog

namespace standin {

struct LogRecord {
  spdlog::level::level_enum level;
  std::string logger;
  std::string text;
};

// What a player was shown, in the form the game received it.
struct Delivery {
  enum class Form { kNotification, kChat, kServerMessage };
  Form form = Form::kNotification;
  std::string player;
  std::u16string text;
  std::u16string sender;
  FLinearColor color;
  float scale = 0.0F;
  float time = 0.0F;
};

// Things a front end (the development server) wants to hear about as they happen.
struct ServerEvents {
  std::function<void(const LogRecord&)> on_log;
  std::function<void(const Delivery&)> on_delivery;
  std::function<void(const RconReply&)> on_rcon_reply;
  std::function<void(const std::string& state)> on_plugin;  // "loaded", "load_failed", "unloaded"
};

struct ServerOptions {
  bool console_log = false;  // echo log lines to standard output
  // Keep every log line, delivery and RCON reply for Log(), Deliveries() and
  // RconReplies(), which tests read. A server that runs for long keeps none,
  // since they grow with every command; its events still report each one.
  bool keep_history = true;
};

// An RCON client's command as the host hands it to a handler.
RCONPacket RconCommandPacket(std::u16string_view text, std::int32_t id);

// One stand-in game server: the world, the host's registries, its log, its
// plug-in loader. Exactly one exists at a time; the host's exported functions
// answer for it.
class Server {
 public:
  explicit Server(std::filesystem::path root, ServerOptions options = {});
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  static Server& Current();

  [[nodiscard]] const std::filesystem::path& Root() const { return root_; }
  [[nodiscard]] std::filesystem::path PluginDir(const std::string& name = "Cairnward") const;

  World& GetWorld() { return *world_; }
  HookRegistry& Hooks() { return hooks_; }
  CommandRegistry& Commands() { return commands_; }
  ArkApi::IApiUtils& ApiUtils();

  void SetStatus(int status) { status_ = status; }
  [[nodiscard]] int Status() const { return status_; }

  // Log sinks shared with plug-ins, and everything written through them.
  std::vector<std::shared_ptr<spdlog::sinks::sink>>& Sinks() { return sinks_; }
  [[nodiscard]] const std::vector<LogRecord>& Log() const { return log_; }
  void ClearLog() { log_.clear(); }
  spdlog::logger& HostLogger() { return *host_logger_; }

  // Permissions plug-in groups.
  void AddToGroup(std::uint64_t steam_id, const std::u16string& group);
  [[nodiscard]] bool InGroup(std::uint64_t steam_id, const std::u16string& group) const;

  // The plug-in in <root>/AtlasApi/Plugins/<name>/<name>.so.
  bool LoadPlugin(const std::string& name = "Cairnward");
  // A plug-in linked into this program, attached through its entry routine.
  bool LoadLinkedPlugin(plugin_entry::EntryFn entry, const std::string& name = "Cairnward");
  void UnloadPlugin();
  [[nodiscard]] bool PluginLoaded() const { return loader_.Loaded(); }

  // What players were shown, oldest first.
  [[nodiscard]] const std::vector<Delivery>& Deliveries() const { return deliveries_; }
  void ClearDeliveries() { deliveries_.clear(); }
  void Deliver(Delivery delivery);

  // ---- What players, administrators and RCON clients do, as the game does
  // it: through the host's dispatch and the hook chain, never around them.

  // Every hooked game function is entered through the hook chain
  // (HookRegistry::Entry), so a loaded plug-in sees exactly the calls a
  // server would make; nothing here changes counts around the hooks.

  // A player places a structure of `blueprint`: `aim_calls` checks without
  // the final flag while he aims, then one with it, all on the class's
  // default object, the game answering as `options` say. A non-zero final
  // answer spawns the structure into the level with the controller's
  // TargetingTeam (0 for a null controller), unless the game turns it down
  // after all (World::refuse_placements).
  PlaceResult Place(SimPlayerController* player, SimClass* blueprint, PlaceOptions options = {});
  // The same by object path ("/Game/Structures/Wall.Wall") or by blueprint
  // path ("Blueprint'/Game/Structures/Wall.Wall'"); the class is made on first use.
  PlaceResult Place(SimPlayerController* player, const std::string& blueprint,
                    PlaceOptions options = {});

  // Kills or demolishes a structure: "APrimalStructure.Die" or
  // "APrimalStructure.Demolish", then "APrimalStructure.Destroyed", then the
  // actor leaves the level (its slot turns null) and ceases to exist. When
  // Die or Demolish answers false the game keeps the structure. `by` is the
  // killer or demolishing player, may be null. True when removed. A pointer
  // that is not a live structure is a test's mistake: invalid_argument.
  bool Destroy(SimActor* structure, Via via, SimPlayerController* by = nullptr);
  // Several in turn; the ids of those removed, in order.
  std::vector<std::uint64_t> Destroy(const std::vector<SimActor*>& structures, Via via,
                                     SimPlayerController* by = nullptr);

  // Tribe joins, each one "AShooterPlayerState.AddToTribe" through the hook
  // chain (the game's rules: CarryOutTribeJoin in game_actions.h).
  // Creates tribe `tribe_id` (World::TribeById) and puts the player in it:
  // both flags clear, force clear.
  bool CreateTribe(SimPlayerController* player, std::int32_t tribe_id);
  // The joiner accepts the inviter's invitation into the inviter's tribe:
  // merge clear, invite set. Invitations only come from tribe members: an
  // inviter without a tribe cannot send one, so false without any call.
  bool Invite(SimPlayerController* joiner, SimPlayerController* inviter);
  // The joiner's tribe merges into the inviter's: merge and invite set. The
  // inviter must be in a tribe, as for an invitation.
  bool Merge(SimPlayerController* joiner, SimPlayerController* inviter);
  // An administrator puts the player into tribe `tribe_id`: force set.
  bool ForceJoin(SimPlayerController* player, std::int32_t tribe_id);
  // Any call, with flags and arguments as given (the fourth argument is force).
  bool AddToTribe(SimPlayerController* joiner, SimTribeData* tribe, bool merge, bool force,
                  bool invite, SimPlayerController* inviter);
  // "tribe leave": the player takes his own team id back, his tribe keeps the
  // structures. The game runs no hooked function for this.
  void LeaveTribe(SimPlayerController* player);

  // The game mode starts: "AShooterGameMode.InitGame".
  void StartGameMode();

  // A player's chat line and console line; whether a registered command took it.
  bool Chat(SimPlayerController* player, std::u16string_view text);
  bool Console(SimPlayerController* player, std::u16string_view text);
  // A client's RCON command, on a connection of its own that closes after it:
  // the replies sent on it. A command nobody registered is answered too.
  std::vector<RconReply> Rcon(std::u16string_view text, std::int32_t id = 1);

  // RCON: a command packet runs as the game runs it, the handler that its
  // first word names. A command nobody registered is answered "Unknown
  // command: WORD", so that a client is never left waiting; the answer is
  // whether a handler ran.
  bool ExecuteRcon(SimRconConnection& connection, RCONPacket& packet);
  // A reply goes to the connection it is sent on; the server also keeps it.
  void SendRcon(SimRconConnection& connection, const RconReply& reply);
  [[nodiscard]] const std::vector<RconReply>& RconReplies() const { return rcon_replies_; }
  void ClearRconReplies() { rcon_replies_.clear(); }

  ServerEvents& Events() { return events_; }

  // Called by the capture sink for every log line.
  void Record(LogRecord record);

 private:
  bool ReportLoad(bool loaded);  // tells the front end; answers `loaded`

  std::filesystem::path root_;
  std::unique_ptr<World> world_;
  HookRegistry hooks_;
  CommandRegistry commands_;
  std::unique_ptr<ArkApi::IApiUtils> api_utils_;
  std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks_;
  std::shared_ptr<spdlog::logger> host_logger_;
  std::vector<LogRecord> log_;
  std::vector<Delivery> deliveries_;
  std::vector<RconReply> rcon_replies_;
  std::map<std::uint64_t, std::set<std::u16string>> groups_;
  PluginLoader loader_;
  ServerEvents events_;
  bool keep_history_;
  int status_ = 1;
};

}  // namespace standin
