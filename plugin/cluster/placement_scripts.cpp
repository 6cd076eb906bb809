#include "cluster/placement_scripts.h"

#include "cluster/lua_helpers.h"

namespace cairnward {
namespace {

// The slow path, when the aggregate's within field does not name this
// server's limits' version: whether the whole aggregate is within the
// team's limits, each of its fields against its limit. Nil and an answer
// when it cannot tell.
constexpr std::string_view kWholeTeamWithin = R"lua(
local function whole_team_within(key, limits_key, mode, team)
  local counts, why = read_counts(key)
  if not counts then return nil, {-2, why} end
  local names, team_names = {}, {}
  for field in pairs(counts) do
    names[#names + 1] = field
    team_names[#names] = 't:' .. team .. ':' .. field
  end
  local limits, team_limits = hmget(limits_key, names) or {}, {}
  if mode == 'team' then team_limits = hmget(limits_key, team_names) or {} end
  for k = 1, #names do
    local stored = team_limits[k] or limits[k]
    local limit = stored and count_of(stored)
    if stored and not limit then return nil, {-1} end
    if limit and counts[names[k]] > limit then return false end
  end
  return true
end
)lua";

constexpr std::string_view kPlaceBody = R"lua(
local team, version, mode = ARGV[1], ARGV[3], ARGV[4]
if redis.pcall('HGET', KEYS[6], 'v') ~= version then return {-1} end
local fields, limits = {}, {}
for i = 5, #ARGV, 2 do
  fields[#fields + 1] = ARGV[i]
  limits[#limits + 1] = tonumber(ARGV[i + 1])
end
local held = redis.pcall('HMGET', KEYS[1], within_field, unpack(fields))
if held.err then return {-2, KEYS[1] .. ' is not a hash'} end
local before = {}
for i = 1, #fields do
  local n = 0
  if held[i + 1] then n = count_of(held[i + 1]) end
  if not n then return {-2, bad_value(KEYS[1], fields[i], held[i + 1])} end
  before[i] = n
end
local contributed, why = read_fields(KEYS[2], fields)
if not contributed then return {-2, why} end
local within = held[1] == version
if mode ~= 'exempt' then
  local answer
  if not within then
    within, answer = whole_team_within(KEYS[1], KEYS[6], mode, team)
    if within == nil then return answer end
  end
  local refused
  if not within then refused = '' end
  for i = 1, #fields do
    if before[i] >= limits[i] then refused = fields[i] end
  end
  if refused then
    -- The refusal's message reads the whole team.
    local counts, stored = read_counts(KEYS[1])
    if not counts then return {-2, stored} end
    local result = {1, refused}
    for i = 1, #stored do result[i + 2] = stored[i] end
    return result
  end
end
local to_contribution, to_aggregate, result = {}, {}, {0, ''}
for i = 1, #fields do
  to_contribution[#to_contribution + 1] = fields[i]
  to_contribution[#to_contribution + 1] = contributed[fields[i]] + 1
  to_aggregate[#to_aggregate + 1] = fields[i]
  to_aggregate[#to_aggregate + 1] = before[i] + 1
  result[i + 2] = before[i]
end
-- Within before and no counted field at its limit: within after.
if mode ~= 'exempt' and held[1] ~= version then
  to_aggregate[#to_aggregate + 1] = within_field
  to_aggregate[#to_aggregate + 1] = version
end
redis.call('HMSET', KEYS[2], unpack(to_contribution))
redis.call('HMSET', KEYS[1], unpack(to_aggregate))
-- An exempt placement may pass a limit: the team is judged whole again.
if mode == 'exempt' and held[1] then redis.call('HDEL', KEYS[1], within_field) end
-- A contribution that held nothing was in no set.
if contributed.total == 0 then
  redis.call('SADD', KEYS[3], team)
  list_grid(KEYS[4], KEYS[7], ARGV[2])
end
index_grid(KEYS[5], KEYS[7], ARGV[2], true)
return result
)lua";

constexpr std::string_view kChangeBody = R"lua(
local aggregate, contribution = KEYS[1], KEYS[2]
local names, deltas, rises = {}, {}, false
for i = 3, #ARGV, 2 do
  names[#names + 1] = ARGV[i]
  deltas[ARGV[i]] = tonumber(ARGV[i + 1])
  rises = rises or deltas[ARGV[i]] > 0
end
local contributed, why = read_fields(contribution, names)
if not contributed then return {-2, why} end
local total, why_total = read_fields(aggregate, names)
if not total then return {-2, why_total} end
-- Counts that fall keep a team within its limits; one that rises may not.
-- A team counted at nothing keeps no within field either.
if rises or (total.total or 0) + (deltas.total or 0) <= 0 then
  redis.call('HDEL', aggregate, within_field)
end
for field, delta in pairs(deltas) do
  local new = math.max(contributed[field] + delta, 0)
  local applied = new - contributed[field]
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
local holds = redis.call('EXISTS', contribution) == 1
if holds then
  redis.call('SADD', KEYS[3], ARGV[1])
else
  redis.call('SREM', KEYS[3], ARGV[1])
end
list_grid(KEYS[4], KEYS[6], ARGV[2])
index_grid(KEYS[5], KEYS[6], ARGV[2], holds)
return {0}
)lua";

}  // namespace

std::string PlaceScriptSource() {
  return lua::Joined({lua::kCountOf, lua::kReadCounts, lua::kHmget, lua::kReadFields,
                      kWholeTeamWithin, lua::kGridIndex, kPlaceBody});
}

std::string ChangeScriptSource() {
  return lua::Joined({lua::kCountOf, lua::kHmget, lua::kReadFields, lua::kGridIndex, kChangeBody});
}

}  // namespace cairnward
