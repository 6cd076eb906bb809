#include "near_miss.h"

#include <algorithm>
#include <limits>
#include <vector>

#include <fmt/format.h>

#include "wording.h"

namespace checkconfig {
namespace {

using cairnward::Setting;
namespace settings = cairnward::settings;

struct Candidate {
  const Setting* setting = nullptr;
  std::size_t distance = std::numeric_limits<std::size_t>::max();
};

// The setting nearest to the name within `limit` edits of its folded form,
// the first of equals; among the members of `self` only when `same_object`.
Candidate Nearest(const Setting* self, bool same_object, const std::string& folded,
                  std::size_t limit) {
  Candidate best;
  for (const Setting* setting : settings::kAll) {
    if ((same_object && setting->parent != self) || setting->name == cairnward::kAnyMember) {
      continue;
    }
    const auto distance = EditDistanceWithin(folded, Folded(setting->name), limit);
    if (distance && *distance < best.distance) {
      best = Candidate{setting, *distance};
    }
  }
  return best;
}

}  // namespace

std::optional<std::size_t> EditDistanceWithin(std::string_view a, std::string_view b,
                                              std::size_t limit) {
  const std::size_t longer = std::max(a.size(), b.size());
  if (longer - std::min(a.size(), b.size()) > limit) {
    return std::nullopt;
  }
  // Three rows of the table of distances between prefixes: the swap of two
  // neighbours looks two rows back.
  std::vector<std::size_t> two_back(b.size() + 1);
  std::vector<std::size_t> previous(b.size() + 1);
  std::vector<std::size_t> current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) {
    previous[j] = j;
  }
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    std::size_t row_least = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t replace = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      std::size_t best = std::min({previous[j] + 1, current[j - 1] + 1, replace});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        best = std::min(best, two_back[j - 2] + 1);
      }
      current[j] = best;
      row_least = std::min(row_least, best);
    }
    if (row_least > limit) {
      return std::nullopt;
    }
    std::swap(two_back, previous);
    std::swap(previous, current);
  }
  const std::size_t distance = previous[b.size()];
  return distance <= limit ? std::optional(distance) : std::nullopt;
}

std::size_t TypoAllowance(std::string_view name) {
  if (name.size() <= 2) {
    return 0;
  }
  return name.size() <= 7 ? 1 : 2;
}

std::optional<std::string> NearestKey(std::string_view name, const cairnward::Json& object,
                                      std::size_t limit) {
  if (!object.is_object()) {
    return std::nullopt;
  }
  const std::string folded = Folded(name);
  std::optional<std::string> best;
  std::size_t best_distance = limit + 1;
  for (const auto& item : object.items()) {
    const auto distance = EditDistanceWithin(folded, Folded(item.key()), limit);
    if (distance && *distance < best_distance) {
      best = item.key();
      best_distance = *distance;
    }
  }
  return best;
}

std::string SuggestionFor(const Setting* self, std::string_view name) {
  const std::string folded = Folded(name);
  for (const std::size_t limit : {std::size_t{0}, TypoAllowance(name)}) {
    for (const bool same_object : {true, false}) {
      const Candidate near = Nearest(self, same_object, folded, limit);
      if (near.setting == nullptr) {
        continue;
      }
      if (near.setting->parent != self) {
        return fmt::format(" Did you mean {}?", Quoted(TablePointer(*near.setting)));
      }
      return (near.distance == 0 ? " Names are case-sensitive: did you mean " : " Did you mean ") +
             Quoted(near.setting->name) + "?";
    }
  }
  return {};
}

}  // namespace checkconfig
