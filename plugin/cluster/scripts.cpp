#include "cluster/scripts.h"

#include <string>

#include "cluster/lua_helpers.h"
#include "cluster/placement_scripts.h"

namespace cairnward {
namespace {

// The move sequence: bumped by every script that moves a team between
// teams and recorded for both, so that a publication whose snapshot was
// taken before a move leaves the moved teams as the move left them.
constexpr std::string_view kSequence = R"lua(
local function sequence_now(prefix)
  return count_of(redis.call('GET', prefix .. 'moves')) or 0
end
local function record_move(prefix, from, to)
  local at = redis.call('INCR', prefix .. 'moves')
  redis.call('HSET', prefix .. 'moved', from, at)
  if to ~= '0' then redis.call('HSET', prefix .. 'moved', to, at) end
  return at
end
-- Whether every contribution is in its team's grid index.
local indexes_kept
local function kept_indexes(prefix)
  if indexes_kept == nil then indexes_kept = redis.call('EXISTS', prefix .. 'indexed') == 1 end
  return indexes_kept
end
-- A team's grid index read once: the digest it holds for `server` and the
-- grids that may hold a contribution of the team (every grid listed while
-- the indexes are not kept, or when the index is not a hash).
local function indexed_grids(prefix, servers, team, server)
  local flat = redis.pcall('HGETALL', prefix .. 'grids:' .. team)
  if flat.err then return nil, redis.call('SMEMBERS', prefix .. 'servers') end
  local held, grids = nil, {}
  for k = 1, #flat, 2 do
    grids[#grids + 1] = flat[k]
    if flat[k] == server then held = flat[k + 1] end
  end
  if not kept_indexes(prefix) then grids = servers end
  return held, grids
end
-- The grids that may hold a contribution of a team.
local function holding(prefix, servers, team)
  local _, grids = indexed_grids(prefix, servers, team)
  return grids
end
-- The grids of a list and those of another, once each.
local function union(grids, more)
  local seen, all = {}, {}
  for _, list in ipairs({grids, more}) do
    for _, grid in ipairs(list) do
      if not seen[grid] then
        seen[grid] = true
        all[#all + 1] = grid
      end
    end
  end
  return all
end
-- The contributions of a team (server -> counts) of the grids given but
-- `except`, read and checked; nil and why.
local function contributions(prefix, grids, team, except)
  local found = {}
  for _, server in ipairs(grids) do
    if server ~= except then
      local counts, why = read_counts(prefix .. 'server:' .. server .. ':team:' .. team)
      if not counts then return nil, why end
      found[server] = counts
    end
  end
  return found
end
local function sum_of(found)
  local sum = {}
  for _, counts in pairs(found) do add_counts(sum, counts) end
  return sum
end
-- An error answer when a key of the cluster's own holds another type: no
-- team's problem, and nothing can be written safely.
local function wrong_type(expected)
  for key, kind in pairs(expected) do
    local found = redis.call('TYPE', key).ok
    if found ~= 'none' and found ~= kind then
      return redis.error_reply(key .. ' is a ' .. found .. ', not a ' .. kind)
    end
  end
end
-- The grids to read a team's contributions from when it has no index to
-- read: every grid listed, or none while the indexes are kept.
local function servers_of(prefix)
  local wrong = wrong_type({[prefix .. 'moves'] = 'string', [prefix .. 'moved'] = 'hash',
                            [prefix .. 'servers'] = 'set'})
  if wrong then return wrong end
  if kept_indexes(prefix) then return {} end
  return redis.call('SMEMBERS', prefix .. 'servers')
end
-- A server's contribution of a team made `counts`, and its set of teams
-- and the team's grid index kept with it.
local function set_contribution(prefix, server, team, counts)
  local base = prefix .. 'server:' .. server
  local holds = write_counts(base .. ':team:' .. team, counts)
  if holds then
    redis.call('SADD', base .. ':teams', team)
  else
    redis.call('SREM', base .. ':teams', team)
  end
  index_grid(prefix .. 'grids:' .. team, prefix .. 'indexed', server, holds)
end
)lua";

constexpr std::string_view kReplaceBody = R"lua(
-- Whether the counts at ARGV[first], ARGV[first + 2], ... up to `last` are
-- all above 0, as a hash of counts stores them.
local function all_above_zero(first, last)
  for k = first, last, 2 do
    local n = tonumber(ARGV[k])
    if not n or n <= 0 then return false end
  end
  return true
end
-- A hash made to hold the field and count pairs ARGV[first..last].
local function write_slice(key, first, last)
  redis.call('DEL', key)
  for from = first, last, 2000 do
    redis.call('HMSET', key, unpack(ARGV, from, math.min(from + 1999, last)))
  end
end
local prefix, server = ARGV[1], ARGV[2]
-- The publication's slot stays held while its pieces come.
if ARGV[4] ~= '' and redis.pcall('GET', ARGV[4]) == ARGV[5] then
  redis.call('PEXPIRE', ARGV[4], ARGV[6])
end
local base = prefix .. 'server:' .. server
local server_teams = base .. ':teams'
-- A publication whose snapshot came before a move of a team leaves that
-- team as the move left it; a sequence above the one in Redis means Redis
-- lost it since, and every move recorded since is after the snapshot.
local seen = tonumber(ARGV[3])
if seen > sequence_now(prefix) then seen = 0 end
local teams, starts = {}, {}
local i = 7
while i <= #ARGV do
  teams[#teams + 1] = ARGV[i]
  starts[#starts + 1] = i
  i = i + 3 + 2 * tonumber(ARGV[i + 2])
end
if #teams == 0 then return {} end
local servers = servers_of(prefix)
if servers.err then return servers end
local wrong = wrong_type({[server_teams] = 'set'})
if wrong then return wrong end
local moved = hmget(prefix .. 'moved', teams) or {}
-- Read and check everything first.
local plans, problems = {}, {}
for t = 1, #teams do
  local at, team = starts[t], teams[t]
  local digest, n = ARGV[at + 1], tonumber(ARGV[at + 2])
  local moved_at = moved[t] and count_of(moved[t])
  local aggregate = prefix .. 'team:' .. team
  local held, grids = indexed_grids(prefix, servers, team, server)
  local unchanged = held == digest and (n == 0 or redis.call('EXISTS', aggregate) == 1)
  if not (moved_at and moved_at > seen) and not unchanged then
    local found, why = contributions(prefix, grids, team, server)
    local first, last = at + 3, at + 2 + 2 * n
    local direct = found and n > 0 and all_above_zero(first + 1, last)
    if direct then
      -- The contribution as given; the sum, when another grid holds the
      -- team too, the others' and it.
      local plan = {team = team, digest = digest, first = first, last = last}
      if next(found) then
        plan.sum = sum_of(found)
        for k = first, last, 2 do
          plan.sum[ARGV[k]] = (plan.sum[ARGV[k]] or 0) + tonumber(ARGV[k + 1])
        end
      end
      plans[#plans + 1] = plan
    elseif found then
      local given = {}
      for k = at + 3, at + 2 + 2 * n, 2 do given[ARGV[k]] = tonumber(ARGV[k + 1]) end
      found[server] = given
      plans[#plans + 1] = {team = team, digest = digest, given = given, sum = sum_of(found)}
    else
      problems[#problems + 1] = team
      problems[#problems + 1] = why
    end
  end
end
-- Then write: the contribution as given, the aggregate as the sum of the
-- contributions that exist.
local kept, dropped = {}, {}
for _, plan in ipairs(plans) do
  local holds = true
  if plan.first then
    if plan.sum then
      write_counts(prefix .. 'team:' .. plan.team, plan.sum)
    else
      write_slice(prefix .. 'team:' .. plan.team, plan.first, plan.last)
    end
    write_slice(base .. ':team:' .. plan.team, plan.first, plan.last)
  else
    write_counts(prefix .. 'team:' .. plan.team, plan.sum)
    holds = write_counts(base .. ':team:' .. plan.team, plan.given)
  end
  if holds then
    kept[#kept + 1] = plan.team
  else
    dropped[#dropped + 1] = plan.team
  end
  index_grid(prefix .. 'grids:' .. plan.team, prefix .. 'indexed', server, holds, plan.digest)
end
if #kept > 0 then redis.call('SADD', server_teams, unpack(kept)) end
if #dropped > 0 then redis.call('SREM', server_teams, unpack(dropped)) end
list_grid(prefix .. 'servers', prefix .. 'indexed', server)
return problems
)lua";

// Judges a join by the receiving team's limits (unless told not to) and
// moves every server's contribution of the joining team to it, in one
// step, so that two joins into one tribe can never both pass.
constexpr std::string_view kJoinBody = R"lua(
local prefix, from, to, limits_key, version, judge = unpack(ARGV, 1, 6)
local servers = servers_of(prefix)
if servers.err then return servers end
local from_grids = holding(prefix, servers, from)
local sources, why = contributions(prefix, from_grids, from)
if not sources then return {-2, from, why} end
local targets = {}
if to ~= '0' then
  targets, why = contributions(prefix, holding(prefix, servers, to), to)
  if not targets then return {-2, to, why} end
end
local merged = add_counts(sum_of(sources), sum_of(targets))
if judge == 'judge' then
  if redis.pcall('HGET', limits_key, 'v') ~= version then return {-1} end
  local names, team_names = {}, {}
  for field in pairs(merged) do
    names[#names + 1] = field
    team_names[#team_names + 1] = 't:' .. to .. ':' .. field
  end
  local limits, team_limits = hmget(limits_key, names), hmget(limits_key, team_names)
  for k = 1, #names do
    local stored = team_limits[k] or limits[k]
    local limit = stored and count_of(stored)
    if stored and not limit then return {-1} end
    if limit and merged[names[k]] > limit then return {1, names[k]} end
  end
end
local result = {0, record_move(prefix, from, to)}
for _, server in ipairs(from_grids) do
  local source = sources[server]
  if next(source) then
    set_contribution(prefix, server, from, {})
    if to ~= '0' then
      set_contribution(prefix, server, to, add_counts(targets[server] or {}, source))
    end
    local moved = {}
    for field, n in pairs(source) do
      moved[#moved + 1] = field
      moved[#moved + 1] = n
    end
    result[#result + 1] = server
    result[#result + 1] = #moved / 2
    for k = 1, #moved do result[#result + 1] = moved[k] end
  end
end
redis.call('DEL', prefix .. 'team:' .. from)
if to ~= '0' then write_counts(prefix .. 'team:' .. to, merged) end
return result
)lua";

// Moves back what a join moved (the game refused it): per server, the
// fields and counts the join script answered.
constexpr std::string_view kUnjoinBody = R"lua(
local prefix, from, to = ARGV[1], ARGV[2], ARGV[3]
local servers = servers_of(prefix)
if servers.err then return servers end
-- What moved back, of the grids still listed.
local back, answered = {}, {}
local i = 4
while i <= #ARGV do
  local server, n = ARGV[i], tonumber(ARGV[i + 1])
  local fields = {}
  for k = i + 2, i + 1 + 2 * n, 2 do fields[ARGV[k]] = tonumber(ARGV[k + 1]) end
  if redis.call('SISMEMBER', prefix .. 'servers', server) == 1 then
    back[server] = fields
    answered[#answered + 1] = server
  end
  i = i + 2 + 2 * n
end
local sources, why = contributions(prefix, union(holding(prefix, servers, from), answered), from)
if not sources then return {-2, from, why} end
local targets, why_to = contributions(prefix, union(holding(prefix, servers, to), answered), to)
if not targets then return {-2, to, why_to} end
record_move(prefix, from, to)
for _, server in ipairs(answered) do
  local fields, target = back[server], targets[server]
  for field, n in pairs(fields) do
    local taken = math.min(n, target[field] or 0)
    target[field] = (target[field] or 0) - taken
    fields[field] = taken
  end
  set_contribution(prefix, server, to, target)
  set_contribution(prefix, server, from, add_counts(sources[server], fields))
end
write_counts(prefix .. 'team:' .. from, sum_of(sources))
write_counts(prefix .. 'team:' .. to, sum_of(targets))
return {0}
)lua";

// A script that sums teams over their grids, with the pieces it calls.
std::string SummingScript(std::string_view body) {
  return lua::Joined({lua::kCountOf, lua::kReadCounts, lua::kHmget, lua::kWriteCounts,
                      lua::kGridIndex, kSequence, body});
}

}  // namespace

std::string_view ScriptSource(Script script) {
  static const std::string place = PlaceScriptSource();
  static const std::string change = ChangeScriptSource();
  static const std::string replace = SummingScript(kReplaceBody);
  static const std::string join = SummingScript(kJoinBody);
  static const std::string unjoin = SummingScript(kUnjoinBody);
  switch (script) {
    case Script::kPlace:
      return place;
    case Script::kChange:
      return change;
    case Script::kReplace:
      return replace;
    case Script::kJoin:
      return join;
    case Script::kUnjoin:
      return unjoin;
  }
  return {};
}

}  // namespace cairnward
