#include "cluster/scripts.h"

#include <string>

namespace cairnward {
namespace {

// Changes one field of a contribution and the aggregate alike, never below 0.
constexpr std::string_view kChangeFunction = R"lua(
local function change(aggregate, contribution, field, delta)
  local current = tonumber(redis.call('HGET', contribution, field) or 0)
  local new = current + delta
  if new < 0 then new = 0 end
  local applied = new - current
  if applied == 0 then return end
  if new == 0 then
    redis.call('HDEL', contribution, field)
  else
    redis.call('HSET', contribution, field, new)
  end
  if redis.call('HINCRBY', aggregate, field, applied) <= 0 then
    redis.call('HDEL', aggregate, field)
  end
end
-- After a change of a team's contribution by other than a publication: the
-- publication's digest of it no longer holds.
local function note_team(contribution, teams, digests, team)
  if redis.call('EXISTS', contribution) == 1 then
    redis.call('SADD', teams, team)
  else
    redis.call('SREM', teams, team)
  end
  redis.call('HDEL', digests, team)
end
)lua";

constexpr std::string_view kPlaceBody = R"lua(
local function hmget(key, names)
  local values = {}
  for first = 1, #names, 1000 do
    local part = redis.call('HMGET', key, unpack(names, first, math.min(first + 999, #names)))
    for k = 1, #part do values[first + k - 1] = part[k] end
  end
  return values
end
local team, mode = ARGV[1], ARGV[4]
if redis.call('HGET', KEYS[6], 'v') ~= ARGV[3] then return {-1} end
local counts = redis.call('HGETALL', KEYS[1])
local result = {0}
for i = 1, #counts do result[i + 1] = counts[i] end
local own = {}
for i = 5, #ARGV do own[ARGV[i]] = true end
if mode ~= 'exempt' then
  local names, count_of = {}, {}
  for i = 1, #counts, 2 do
    names[#names + 1] = counts[i]
    count_of[counts[i]] = tonumber(counts[i + 1])
  end
  for field in pairs(own) do
    if not count_of[field] then
      names[#names + 1] = field
      count_of[field] = 0
    end
  end
  local limits, team_limits = hmget(KEYS[6], names), {}
  if mode == 'own' then
    local team_names = {}
    for k = 1, #names do team_names[k] = 't:' .. team .. ':' .. names[k] end
    team_limits = hmget(KEYS[6], team_names)
  end
  for k = 1, #names do
    local limit = tonumber(team_limits[k] or limits[k])
    if limit then
      local count = count_of[names[k]]
      if count > limit or (own[names[k]] and count >= limit) then
        result[1] = 1
        return result
      end
    end
  end
end
for field in pairs(own) do change(KEYS[1], KEYS[2], field, 1) end
note_team(KEYS[2], KEYS[3], KEYS[5], team)
redis.call('SADD', KEYS[4], ARGV[2])
return result
)lua";

constexpr std::string_view kChangeBody = R"lua(
for i = 3, #ARGV, 2 do
  change(KEYS[1], KEYS[2], ARGV[i], tonumber(ARGV[i + 1]))
end
note_team(KEYS[2], KEYS[3], KEYS[5], ARGV[1])
redis.call('SADD', KEYS[4], ARGV[2])
return 0
)lua";

constexpr std::string_view kReplaceBody = R"lua(
local prefix, server = ARGV[1], ARGV[2]
local base = prefix .. 'server:' .. server
local digests, server_teams = base .. ':digests', base .. ':teams'
local function replace(team, first, n)
  local contribution = base .. ':team:' .. team
  local aggregate = prefix .. 'team:' .. team
  local given = {}
  for k = 0, 2 * n - 1 do given[k + 1] = ARGV[first + k] end
  local old = redis.call('HGETALL', contribution)
  if #old == 0 then
    if n == 0 then return end
    if redis.call('EXISTS', aggregate) == 0 then
      redis.call('HMSET', aggregate, unpack(given))
    else
      for k = 1, #given, 2 do redis.call('HINCRBY', aggregate, given[k], given[k + 1]) end
    end
    redis.call('HMSET', contribution, unpack(given))
    return
  end
  local differences = {}
  for k = 1, #old, 2 do differences[old[k]] = -tonumber(old[k + 1]) end
  for k = 1, #given, 2 do
    differences[given[k]] = (differences[given[k]] or 0) + tonumber(given[k + 1])
  end
  local changed = false
  for field, difference in pairs(differences) do
    if difference ~= 0 then
      changed = true
      if redis.call('HINCRBY', aggregate, field, difference) <= 0 then
        redis.call('HDEL', aggregate, field)
      end
    end
  end
  if changed then
    redis.call('DEL', contribution)
    if n > 0 then redis.call('HMSET', contribution, unpack(given)) end
  end
end
local teams, starts = {}, {}
local i = 3
while i <= #ARGV do
  teams[#teams + 1] = ARGV[i]
  starts[#starts + 1] = i
  i = i + 3 + 2 * tonumber(ARGV[i + 2])
end
if #teams == 0 then return 0 end
local held = redis.call('HMGET', digests, unpack(teams))
local kept, dropped, written = {}, {}, {}
for t = 1, #teams do
  local at = starts[t]
  local team, digest, n = ARGV[at], ARGV[at + 1], tonumber(ARGV[at + 2])
  if held[t] ~= digest then
    replace(team, at + 3, n)
    if n > 0 then
      kept[#kept + 1] = team
      written[#written + 1] = team
      written[#written + 1] = digest
    else
      dropped[#dropped + 1] = team
    end
  end
end
if #written > 0 then redis.call('HMSET', digests, unpack(written)) end
if #kept > 0 then redis.call('SADD', server_teams, unpack(kept)) end
if #dropped > 0 then
  redis.call('HDEL', digests, unpack(dropped))
  redis.call('SREM', server_teams, unpack(dropped))
end
redis.call('SADD', prefix .. 'servers', server)
return 0
)lua";

constexpr std::string_view kMoveBody = R"lua(
local prefix, from, to = ARGV[1], ARGV[2], ARGV[3]
local function move(source, target, teams)
  local fields = redis.call('HGETALL', source)
  if #fields == 0 then return end
  redis.call('DEL', source)
  if teams then redis.call('SREM', teams, from) end
  if to == '0' then return end
  for k = 1, #fields, 2 do redis.call('HINCRBY', target, fields[k], fields[k + 1]) end
  if teams then redis.call('SADD', teams, to) end
end
for _, server in ipairs(redis.call('SMEMBERS', prefix .. 'servers')) do
  local base = prefix .. 'server:' .. server
  move(base .. ':team:' .. from, base .. ':team:' .. to, base .. ':teams')
  redis.call('HDEL', base .. ':digests', from, to)
end
move(prefix .. 'team:' .. from, prefix .. 'team:' .. to, nil)
return 0
)lua";

// A body after the functions it uses, joined once.
std::string_view WithChange(std::string_view body, std::string& joined) {
  if (joined.empty()) {
    joined = std::string(kChangeFunction) + std::string(body);
  }
  return joined;
}

}  // namespace

std::string_view ScriptSource(Script script) {
  switch (script) {
    case Script::kPlace: {
      static std::string place;
      return WithChange(kPlaceBody, place);
    }
    case Script::kChange: {
      static std::string change;
      return WithChange(kChangeBody, change);
    }
    case Script::kReplace:
      return kReplaceBody;
    case Script::kMove:
      return kMoveBody;
  }
  return {};
}

}  // namespace cairnward
