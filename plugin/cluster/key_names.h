#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cairnward {

// Every key of one cluster starts with "cairnward:<cluster>:", and a server's
// own keys with "cairnward:<cluster>:server:<server>:". Names are escaped so
// that no name, whatever it holds, can end its part early and reach a key of
// another cluster, another server or another kind.
class KeyNames {
 public:
  KeyNames(std::string_view cluster, std::string_view server);

  // Of the whole cluster, for scripts that form a server's keys themselves.
  [[nodiscard]] const std::string& Prefix() const { return prefix_; }
  // This server's name as it stands in keys.
  [[nodiscard]] const std::string& Server() const { return server_; }

  // Hash of a team's cluster-wide counts: field -> count.
  [[nodiscard]] std::string Aggregate(std::int32_t team) const;
  // Hash of this server's counts of a team.
  [[nodiscard]] std::string Contribution(std::int32_t team) const;
  // Set of the teams this server holds a contribution for.
  [[nodiscard]] std::string ServerTeams() const;
  // Hash of this server's limits: field -> everyone's limit,
  // "t:<team>:<field>" -> a team's limit, "v" -> the version published.
  [[nodiscard]] std::string Limits() const;
  // String: the instance id of the plug-in that holds this server's name.
  [[nodiscard]] std::string Lease() const;
  // Set of the servers (as they stand in keys) that have contributed.
  [[nodiscard]] std::string Servers() const;
  // Hash of the servers that hold a contribution of a team, each to the
  // digest of the counts its contribution was last replaced with while
  // nothing else changed it ("" once something did): the scripts that sum a
  // team read these grids only, not every grid of the cluster.
  [[nodiscard]] std::string GridIndex(std::int32_t team) const;
  // String, present while every contribution is in its team's grid index;
  // while it is missing the scripts read every grid.
  [[nodiscard]] std::string GridIndexKept() const;

  // The keys of another grid of the cluster, named as it stands in keys.
  [[nodiscard]] KeyNames OfGrid(std::string_view escaped_server) const;

 private:
  std::string prefix_;
  std::string server_;
};

// Bytes other than letters, digits, '-', '_' and '.' as %XX: the escaped
// text never holds ':', and two names escape alike only when they are equal.
std::string EscapeKeyPart(std::string_view name);
// The name an escaped part was made from.
std::string UnescapeKeyPart(std::string_view escaped);

}  // namespace cairnward
