#include "cluster/repair_scripts.h"

#include <string>

#include "cluster/lua_helpers.h"

namespace cairnward {
namespace {

// The repair's grids: those of the `servers` set but the retired one.
constexpr std::string_view kRepairGrids = R"lua(
local mode, prefix, retired = ARGV[1], ARGV[2], ARGV[3]
if mode == 'retire' and redis.call('EXISTS', prefix .. 'server:' .. retired .. ':lease') == 1 then
  return {-1}
end
local servers = {}
for _, server in ipairs(redis.call('SMEMBERS', prefix .. 'servers')) do
  if server ~= retired then servers[#servers + 1] = server end
end
local function is_count(value)
  return #value <= 12 and string.find(value, '^%d+$') ~= nil
end
)lua";

constexpr std::string_view kSumOf = R"lua(
-- The sum of a team's contributions: field order, field -> count and the
-- grids that hold one; or nil and what is not a count.
local function sum_of(team)
  local order, sum, holders = {}, {}, {}
  for _, server in ipairs(servers) do
    local flat = redis.call('HGETALL', prefix .. 'server:' .. server .. ':team:' .. team)
    if #flat > 0 then holders[#holders + 1] = server end
    for k = 1, #flat, 2 do
      if not is_count(flat[k + 1]) then
        return nil, {team, 'bad', server, flat[k] .. '=' .. flat[k + 1]}
      end
      local count = tonumber(flat[k + 1])
      if count > 0 then
        if not sum[flat[k]] then order[#order + 1] = flat[k]; sum[flat[k]] = 0 end
        sum[flat[k]] = sum[flat[k]] + count
      end
    end
  end
  return order, sum, holders
end
-- The grids the team's grid index names that hold nothing of it, and those
-- it leaves out; nil when the index is not a hash.
local function index_differences(team, holders)
  local named = redis.pcall('HKEYS', prefix .. 'grids:' .. team)
  if named.err then return nil end
  local held, listed, extra, missing = {}, {}, {}, {}
  for _, grid in ipairs(holders) do held[grid] = true end
  for _, grid in ipairs(named) do
    listed[grid] = true
    if not held[grid] then extra[#extra + 1] = grid end
  end
  for _, grid in ipairs(holders) do
    if not listed[grid] then missing[#missing + 1] = grid end
  end
  return extra, missing
end
-- Makes the index name the holders: a digest it held stays, a grid it
-- missed has none.
local function fix_index(team, holders, extra, missing)
  local index = prefix .. 'grids:' .. team
  if not extra then
    redis.call('DEL', index)
    missing = holders
  elseif #extra > 0 then
    redis.call('HDEL', index, unpack(extra))
  end
  for _, grid in ipairs(missing) do redis.call('HSET', index, grid, '') end
end
local indexes_kept = redis.call('EXISTS', prefix .. 'indexed') == 1
)lua";

constexpr std::string_view kDifferences = R"lua(
-- The fields where the aggregate is not the sum, as {n, triples...}.
local function differences(aggregate, order, sum)
  local flat = redis.call('HGETALL', aggregate)
  local held, found, n = {}, {}, 0
  local function differ(field, value, wanted)
    n = n + 1
    if n <= 5 then
      found[#found + 1] = field; found[#found + 1] = value; found[#found + 1] = wanted
    end
  end
  for k = 1, #flat, 2 do held[flat[k]] = flat[k + 1] end
  for _, field in ipairs(order) do
    local wanted = tostring(sum[field])
    if held[field] ~= wanted then differ(field, held[field] or '', wanted) end
    held[field] = nil
  end
  for k = 1, #flat, 2 do
    if held[flat[k]] and flat[k] ~= within_field then differ(flat[k], flat[k + 1], '0') end
  end
  return n, found
end
)lua";

constexpr std::string_view kRepairBody = R"lua(
-- Everything is read and checked before the first write.
local answer, writes = {}, {}
for t = 4, #ARGV do
  local team = ARGV[t]
  local aggregate = prefix .. 'team:' .. team
  local order, sum, holders = sum_of(team)
  if not order then
    answer[#answer + 1] = sum
  else
    local n, found = differences(aggregate, order, sum)
    local extra, missing = index_differences(team, holders)
    local unindexed = not extra or #extra + #missing > 0
    if n > 0 then
      local entry = {team, 'differs', n}
      for k = 1, #found do entry[#entry + 1] = found[k] end
      answer[#answer + 1] = entry
    elseif unindexed and indexes_kept then
      answer[#answer + 1] = {team, 'unindexed'}
    end
    writes[#writes + 1] = {team, aggregate, order, sum, n > 0, holders, unindexed, extra, missing}
  end
end
if mode == 'check' then return answer end
for _, write in ipairs(writes) do
  local team, aggregate, order, sum, differs = write[1], write[2], write[3], write[4], write[5]
  if mode == 'retire' then
    local base = prefix .. 'server:' .. retired
    redis.call('DEL', base .. ':team:' .. team)
    redis.call('SREM', base .. ':teams', team)
  end
  if write[7] then fix_index(team, write[6], write[8], write[9]) end
  if differs then
    redis.call('DEL', aggregate)
    -- A few hundred fields per HMSET: unpack has a bounded stack.
    for first = 1, #order, 200 do
      local pairs_ = {}
      for k = first, math.min(first + 199, #order) do
        pairs_[#pairs_ + 1] = order[k]; pairs_[#pairs_ + 1] = sum[order[k]]
      end
      redis.call('HMSET', aggregate, unpack(pairs_))
    end
  end
end
return answer
)lua";

}  // namespace

std::string_view RepairTeamsScript() {
  static const std::string script = lua::Joined({kRepairGrids, kSumOf, kDifferences, kRepairBody});
  return script;
}

std::string_view CompareLimitsScript() {
  return R"lua(
local function fields_of(key)
  local flat, fields = redis.call('HGETALL', key), {}
  for k = 1, #flat, 2 do
    if flat[k] ~= 'v' then fields[flat[k]] = flat[k + 1] end
  end
  return fields, #flat
end
local ours, own_size = fields_of(KEYS[1])
if own_size == 0 then return {-2} end
local theirs, size = fields_of(KEYS[2])
if size == 0 then return {-1} end
local n, found = 0, {}
local function differ(field, here, there)
  n = n + 1
  if n <= 3 then
    found[#found + 1] = field; found[#found + 1] = here; found[#found + 1] = there
  end
end
for field, there in pairs(theirs) do
  if ours[field] ~= there then differ(field, ours[field] or '', there) end
end
for field, here in pairs(ours) do
  if not theirs[field] then differ(field, here, '') end
end
local answer = {n}
for k = 1, #found do answer[#answer + 1] = found[k] end
return answer
)lua";
}

std::string_view RetireGridScript() {
  return R"lua(
local prefix, grid = ARGV[1], ARGV[2]
local base = prefix .. 'server:' .. grid
if redis.call('EXISTS', base .. ':lease') == 1 then return 0 end
-- Digests: a hash of the versions before the grid indexes.
redis.call('DEL', base .. ':teams', base .. ':digests', base .. ':limits')
redis.call('SREM', prefix .. 'servers', grid)
return 1
)lua";
}

}  // namespace cairnward
