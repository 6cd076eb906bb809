#include "cluster/scripts.h"

#include <string>

namespace cairnward {
namespace {

// What every script shares. No Redis rolls back a script that fails
// part-way, so each reads and checks everything before its first write: a
// value that is not a count is the team's problem, answered as {-2, why}
// (or listed by the replace script), never an error of the link's.
constexpr std::string_view kCommon = R"lua(
-- A stored count: decimal digits, at most 2^31 - 1; nil when it is not one.
local function count_of(value)
  if type(value) ~= 'string' or #value == 0 or #value > 10 or value:find('%D') then return nil end
  local n = tonumber(value)
  if n > 2147483647 then return nil end
  return n
end
local function bad_value(key, field, value)
  return string.format('%s holds %q at %q, not a count', key, tostring(value):sub(1, 40), field)
end
-- A hash's counts (field -> count) and its field and count pairs as
-- stored; nil and why when it is not a hash of counts.
local function read_counts(key)
  local pairs_ = redis.pcall('HGETALL', key)
  if pairs_.err then return nil, key .. ' is not a hash' end
  local counts = {}
  for i = 1, #pairs_, 2 do
    local n = count_of(pairs_[i + 1])
    if not n then return nil, bad_value(key, pairs_[i], pairs_[i + 1]) end
    counts[pairs_[i]] = n
  end
  return counts, pairs_
end
-- HMGET of any number of fields, in pieces that unpack can take; nil when
-- the key is not a hash.
local function hmget(key, names)
  local values = {}
  for first = 1, #names, 1000 do
    local part = redis.pcall('HMGET', key, unpack(names, first, math.min(first + 999, #names)))
    if part.err then return nil end
    for k = 1, #part do values[first + k - 1] = part[k] end
  end
  return values
end
-- The counts of some fields of a hash (0 where missing); nil and why.
local function read_fields(key, names)
  local values = hmget(key, names)
  if not values then return nil, key .. ' is not a hash' end
  local counts = {}
  for k = 1, #names do
    local n = 0
    if values[k] then n = count_of(values[k]) end
    if not n then return nil, bad_value(key, names[k], values[k]) end
    counts[names[k]] = n
  end
  return counts
end
-- A hash made to hold the counts above 0 of a table (field -> count), in
-- pieces that unpack can take.
local function write_counts(key, counts)
  redis.call('DEL', key)
  local flat = {}
  for field, n in pairs(counts) do
    if n > 0 then
      flat[#flat + 1] = field
      flat[#flat + 1] = n
    end
  end
  for first = 1, #flat, 2000 do
    redis.call('HMSET', key, unpack(flat, first, math.min(first + 1999, #flat)))
  end
  return #flat > 0
end
-- The sum of several tables of counts.
local function add_counts(sum, counts)
  for field, n in pairs(counts) do sum[field] = (sum[field] or 0) + n end
  return sum
end
)lua";

// After a change of a team's contribution by other than a publication: the
// publication's digest of it no longer holds.
constexpr std::string_view kNoteTeam = R"lua(
local function note_team(contribution, teams, digests, team)
  if redis.call('EXISTS', contribution) == 1 then
    redis.call('SADD', teams, team)
  else
    redis.call('SREM', teams, team)
  end
  redis.call('HDEL', digests, team)
end
-- Changes fields of a contribution and the aggregate alike, from counts
-- read and checked before, never below 0.
local function change(aggregate, contribution, own, total, deltas)
  for field, delta in pairs(deltas) do
    local new = own[field] + delta
    if new < 0 then new = 0 end
    local applied = new - own[field]
    if applied ~= 0 then
      if new == 0 then
        redis.call('HDEL', contribution, field)
      else
        redis.call('HSET', contribution, field, new)
      end
      local sum = total[field] + applied
      if sum <= 0 then
        redis.call('HDEL', aggregate, field)
      else
        redis.call('HSET', aggregate, field, sum)
      end
    end
  end
end
)lua";

constexpr std::string_view kPlaceBody = R"lua(
local team, mode = ARGV[1], ARGV[4]
local version = redis.pcall('HGET', KEYS[6], 'v')
if version ~= ARGV[3] then return {-1} end
local counts, stored = read_counts(KEYS[1])
if not counts then return {-2, stored} end
local own_fields, deltas = {}, {}
for i = 5, #ARGV do
  own_fields[#own_fields + 1] = ARGV[i]
  deltas[ARGV[i]] = 1
end
local own, why = read_fields(KEYS[2], own_fields)
if not own then return {-2, why} end
local result = {0, ''}
for i = 1, #stored do result[i + 2] = stored[i] end
local names = {}
for field in pairs(counts) do names[#names + 1] = field end
for field in pairs(deltas) do
  if not counts[field] then
    names[#names + 1] = field
    counts[field] = 0
  end
end
if mode ~= 'exempt' then
  local limits, team_limits = hmget(KEYS[6], names), {}
  if mode == 'own' then
    local team_names = {}
    for k = 1, #names do team_names[k] = 't:' .. team .. ':' .. names[k] end
    team_limits = hmget(KEYS[6], team_names)
  end
  for k = 1, #names do
    local stored_limit = team_limits[k] or limits[k]
    local limit = stored_limit and count_of(stored_limit)
    -- A limit that is not a count: the limits are published again.
    if stored_limit and not limit then return {-1} end
    if limit then
      local count = counts[names[k]]
      if count > limit or (deltas[names[k]] and count >= limit) then
        result[1] = 1
        result[2] = names[k]
        return result
      end
    end
  end
end
change(KEYS[1], KEYS[2], own, counts, deltas)
note_team(KEYS[2], KEYS[3], KEYS[5], team)
redis.call('SADD', KEYS[4], ARGV[2])
return result
)lua";

constexpr std::string_view kChangeBody = R"lua(
local names, deltas = {}, {}
for i = 3, #ARGV, 2 do
  names[#names + 1] = ARGV[i]
  deltas[ARGV[i]] = tonumber(ARGV[i + 1])
end
local own, why = read_fields(KEYS[2], names)
if not own then return {-2, why} end
local total, why_total = read_fields(KEYS[1], names)
if not total then return {-2, why_total} end
change(KEYS[1], KEYS[2], own, total, deltas)
note_team(KEYS[2], KEYS[3], KEYS[5], ARGV[1])
redis.call('SADD', KEYS[4], ARGV[2])
return {0}
)lua";

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
-- Every server's contribution of a team (server -> counts), read and
-- checked; nil and why.
local function contributions(prefix, servers, team)
  local found = {}
  for _, server in ipairs(servers) do
    local counts, why = read_counts(prefix .. 'server:' .. server .. ':team:' .. team)
    if not counts then return nil, why end
    found[server] = counts
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
local function servers_of(prefix)
  local wrong = wrong_type({[prefix .. 'moves'] = 'string', [prefix .. 'moved'] = 'hash'})
  if wrong then return wrong end
  local servers = redis.pcall('SMEMBERS', prefix .. 'servers')
  if servers.err then return redis.error_reply(prefix .. 'servers is not a set') end
  return servers
end
-- A server's contribution of a team made `counts`, and its set of teams
-- and digests kept with it.
local function set_contribution(prefix, server, team, counts)
  local base = prefix .. 'server:' .. server
  if write_counts(base .. ':team:' .. team, counts) then
    redis.call('SADD', base .. ':teams', team)
  else
    redis.call('SREM', base .. ':teams', team)
  end
  redis.call('HDEL', base .. ':digests', team)
end
)lua";

constexpr std::string_view kReplaceBody = R"lua(
local prefix, server = ARGV[1], ARGV[2]
local base = prefix .. 'server:' .. server
local digests, server_teams = base .. ':digests', base .. ':teams'
-- A publication whose snapshot came before a move of a team leaves that
-- team as the move left it; a sequence above the one in Redis means Redis
-- lost it since, and every move recorded since is after the snapshot.
local seen = tonumber(ARGV[3])
if seen > sequence_now(prefix) then seen = 0 end
local teams, starts = {}, {}
local i = 4
while i <= #ARGV do
  teams[#teams + 1] = ARGV[i]
  starts[#starts + 1] = i
  i = i + 3 + 2 * tonumber(ARGV[i + 2])
end
if #teams == 0 then return {} end
local servers = servers_of(prefix)
if servers.err then return servers end
local wrong = wrong_type({[digests] = 'hash', [server_teams] = 'set'})
if wrong then return wrong end
local others = {}
for _, other in ipairs(servers) do
  if other ~= server then others[#others + 1] = other end
end
local held = hmget(digests, teams) or {}
local moved = hmget(prefix .. 'moved', teams) or {}
-- Read and check everything first.
local plans, problems = {}, {}
for t = 1, #teams do
  local at, team = starts[t], teams[t]
  local digest, n = ARGV[at + 1], tonumber(ARGV[at + 2])
  local moved_at = moved[t] and count_of(moved[t])
  local aggregate = prefix .. 'team:' .. team
  local unchanged = held[t] == digest and (n == 0 or redis.call('EXISTS', aggregate) == 1)
  if not (moved_at and moved_at > seen) and not unchanged then
    local found, why = contributions(prefix, others, team)
    if found then
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
local written, kept, dropped = {}, {}, {}
for _, plan in ipairs(plans) do
  write_counts(prefix .. 'team:' .. plan.team, plan.sum)
  if write_counts(base .. ':team:' .. plan.team, plan.given) then
    kept[#kept + 1] = plan.team
    written[#written + 1] = plan.team
    written[#written + 1] = plan.digest
  else
    dropped[#dropped + 1] = plan.team
  end
end
if #written > 0 then redis.call('HMSET', digests, unpack(written)) end
if #kept > 0 then redis.call('SADD', server_teams, unpack(kept)) end
if #dropped > 0 then
  redis.call('HDEL', digests, unpack(dropped))
  redis.call('SREM', server_teams, unpack(dropped))
end
redis.call('SADD', prefix .. 'servers', server)
return problems
)lua";

// Judges a join by the receiving team's limits (unless told not to) and
// moves every server's contribution of the joining team to it, in one
// step, so that two joins into one tribe can never both pass.
constexpr std::string_view kJoinBody = R"lua(
local prefix, from, to, limits_key, version, judge = unpack(ARGV, 1, 6)
local servers = servers_of(prefix)
if servers.err then return servers end
local sources, why = contributions(prefix, servers, from)
if not sources then return {-2, from, why} end
local targets = {}
if to ~= '0' then
  targets, why = contributions(prefix, servers, to)
  if not targets then return {-2, to, why} end
end
local merged = add_counts(sum_of(sources), sum_of(targets))
if judge == 'judge' then
  if redis.pcall('HGET', limits_key, 'v') ~= version then return {-1} end
  local names, own_names = {}, {}
  for field in pairs(merged) do
    names[#names + 1] = field
    own_names[#own_names + 1] = 't:' .. to .. ':' .. field
  end
  local limits, own = hmget(limits_key, names), hmget(limits_key, own_names)
  for k = 1, #names do
    local stored = own[k] or limits[k]
    local limit = stored and count_of(stored)
    if stored and not limit then return {-1} end
    if limit and merged[names[k]] > limit then return {1, names[k]} end
  end
end
local result = {0, record_move(prefix, from, to)}
for _, server in ipairs(servers) do
  local source = sources[server]
  if next(source) then
    set_contribution(prefix, server, from, {})
    if to ~= '0' then set_contribution(prefix, server, to, add_counts(targets[server], source)) end
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
local sources, why = contributions(prefix, servers, from)
if not sources then return {-2, from, why} end
local targets, why_to = contributions(prefix, servers, to)
if not targets then return {-2, to, why_to} end
local back = {}
local i = 4
while i <= #ARGV do
  local server, n = ARGV[i], tonumber(ARGV[i + 1])
  local fields = {}
  for k = i + 2, i + 1 + 2 * n, 2 do fields[ARGV[k]] = tonumber(ARGV[k + 1]) end
  if sources[server] then back[server] = fields end
  i = i + 2 + 2 * n
end
record_move(prefix, from, to)
for server, fields in pairs(back) do
  local target = targets[server]
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

std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (const std::string_view part : parts) {
    joined += part;
  }
  return joined;
}

}  // namespace

std::string_view ScriptSource(Script script) {
  static const std::string place = Joined({kCommon, kNoteTeam, kPlaceBody});
  static const std::string change = Joined({kCommon, kNoteTeam, kChangeBody});
  static const std::string replace = Joined({kCommon, kSequence, kReplaceBody});
  static const std::string join = Joined({kCommon, kSequence, kJoinBody});
  static const std::string unjoin = Joined({kCommon, kSequence, kUnjoinBody});
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
