#include "cluster/field_layout.h"

#include "accounting/ledger.h"
#include "accounting/team_view.h"
#include "config/config.h"
#include "host/text.h"

namespace cairnward {
bool FieldLayout::Refresh() {
  const Ledger& ledger = StructureLedger();
  if (fields_.size() == ViewSize() && generation_ == ConfigGeneration() &&
      ledger_size_ == ledger.size()) {
    return false;
  }
  fields_.clear();
  fields_.reserve(ViewSize());
  fields_.emplace_back("total");
  for (const auto& [path, counts] : ledger) {
    fields_.push_back("b:" + ToUtf8(path.View()));
  }
  for (const GroupLimit& group : Limits().Groups()) {
    fields_.push_back("g:" + group.key);
  }
  positions_.clear();
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    positions_.emplace(fields_[i], static_cast<std::uint32_t>(i));
  }
  generation_ = ConfigGeneration();
  ledger_size_ = ledger.size();
  return true;
}

std::optional<std::uint32_t> FieldLayout::PositionOf(std::string_view field) const {
  const auto at = positions_.find(field);
  if (at == positions_.end()) {
    return std::nullopt;
  }
  return at->second;
}

}  // namespace cairnward
