#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "cluster/scripts.h"

namespace cairnward::lua {

// Pieces of Lua the scripts share. Redis runs a script's whole text, every
// `local function` included, at each call, so a script joins only the
// pieces it calls. No Redis rolls back a script that fails part-way, so
// each reads and checks everything before its first write: a value that is
// not a count is the team's problem, answered as {-2, why} (or listed by
// the replace script), never an error of the link's.

inline constexpr std::string_view kCountOf = R"lua(
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
)lua";

// Needs kCountOf.
inline constexpr std::string_view kReadCounts = R"lua(
-- A hash's counts (field -> count) and its field and count pairs as
-- stored; nil and why when it is not a hash of counts. An aggregate's
-- within field is no count, and is left out of the counts.
local function read_counts(key)
  local pairs_ = redis.pcall('HGETALL', key)
  if pairs_.err then return nil, key .. ' is not a hash' end
  local counts = {}
  for i = 1, #pairs_, 2 do
    if pairs_[i] ~= within_field then
      local n = count_of(pairs_[i + 1])
      if not n then return nil, bad_value(key, pairs_[i], pairs_[i + 1]) end
      counts[pairs_[i]] = n
    end
  end
  return counts, pairs_
end
)lua";

inline constexpr std::string_view kHmget = R"lua(
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
)lua";

// Needs kCountOf and kHmget.
inline constexpr std::string_view kReadFields = R"lua(
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
)lua";

inline constexpr std::string_view kWriteCounts = R"lua(
-- A hash made to hold the counts above 0 of a table (field -> count), in
-- pieces that unpack can take. An aggregate written whole loses its within
-- field: the next placement judges the team whole again.
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

inline constexpr std::string_view kGridIndex = R"lua(
-- A team's grid index names the grids that hold a contribution of it, each
-- with the digest of the counts it last published for the team while nothing
-- else changed that contribution ('' once something did). One that is not a
-- hash cannot be kept: the scripts read every grid again until a rebuild
-- makes the indexes anew.
local function index_grid(index_key, kept_key, server, holds, digest)
  local answer
  if holds then
    answer = redis.pcall('HSET', index_key, server, digest or '')
  else
    answer = redis.pcall('HDEL', index_key, server)
  end
  if type(answer) == 'table' and answer.err then redis.call('DEL', kept_key) end
end
-- A grid joins the servers set. When the set was empty no contribution
-- exists outside an index, and the indexes can be read from now on.
local function list_grid(servers_key, kept_key, server)
  if redis.call('SADD', servers_key, server) == 1 and redis.call('SCARD', servers_key) == 1 then
    redis.call('SET', kept_key, '1')
  end
end
)lua";

// A script's source: the pieces given, after the name of the within field.
inline std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string joined = "local within_field = '";
  joined += kWithinField;
  joined += "'\n";
  for (const std::string_view part : parts) {
    joined += part;
  }
  return joined;
}

}  // namespace cairnward::lua
