#include "findings.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

namespace checkconfig {

void Findings::AddAt(Severity severity, const std::string& pointer, std::size_t offset,
                     std::string message) {
  found_.push_back(
      Found{.problem = {severity, pointer, std::nullopt, std::move(message)}, .offset = offset});
}

void Findings::Add(Severity severity, const std::string& pointer, std::string_view predicate) {
  AddAt(severity, pointer, OffsetOf(pointer), fmt::format("{} {}", pointer, predicate));
}

std::size_t Findings::OffsetOf(std::string pointer) const {
  while (!pointer.empty()) {
    if (const auto it = map_.members.find(pointer); it != map_.members.end()) {
      return it->second;
    }
    pointer.erase(pointer.rfind('/'));
  }
  return map_.root_offset;
}

std::vector<Problem> Findings::Sorted() {
  std::stable_sort(found_.begin(), found_.end(),
                   [](const Found& a, const Found& b) { return a.offset < b.offset; });
  std::vector<Problem> problems;
  PositionCursor cursor(text_);
  for (Found& found : found_) {
    found.problem.position = cursor.At(found.offset);
    problems.push_back(std::move(found.problem));
  }
  found_.clear();
  return problems;
}

}  // namespace checkconfig
