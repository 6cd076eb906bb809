#include "accounting/ledger.h"

#include <algorithm>
#include <string>
#include <utility>

#include "config/config.h"
#include "config/limit_plan.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "host/text.h"

namespace cairnward {

Ledger::Entry::Entry(FString key)
    : item(std::move(key), TeamCounts{}), hash(FoldedHash(item.first.View())) {}

Ledger::Entry::Entry(FString key, std::uint64_t key_hash)
    : item(std::move(key), TeamCounts{}), hash(key_hash) {}

Ledger::const_iterator Ledger::find(std::u16string_view path, std::uint64_t hash) const {
  if (index_stale_) {
    Reindex();
  }
  if (index_.empty()) {
    return end();
  }
  const std::size_t mask = index_.size() - 1;
  for (std::size_t slot = hash & mask; index_[slot] != 0; slot = (slot + 1) & mask) {
    const auto at = entries_.begin() + (index_[slot] - 1);
    if ((*at)->hash == hash && BlueprintPathLess::Compare((*at)->item.first.View(), path) == 0) {
      return const_iterator(at);
    }
  }
  return end();
}

Ledger::iterator Ledger::find(std::u16string_view path, std::uint64_t hash) {
  const auto at = std::as_const(*this).find(path, hash).Position();
  return iterator(entries_.begin() + (at - entries_.cbegin()));
}

void Ledger::clear() {
  entries_.clear();
  index_.clear();
  index_stale_ = false;
}

void Ledger::Assign(std::vector<FString> keys) {
  clear();
  entries_.reserve(keys.size());
  for (FString& key : keys) {
    entries_.push_back(std::make_unique<Entry>(std::move(key)));
  }
  // Sorted once rather than inserted in place: names in byte order are far
  // from the ledger's order once letter case differs, and an insertion each
  // would move half the entries.
  const auto less = [](const std::unique_ptr<Entry>& a, const std::unique_ptr<Entry>& b) {
    return BlueprintPathLess::Compare(a->item.first.View(), b->item.first.View()) < 0;
  };
  std::stable_sort(entries_.begin(), entries_.end(), less);
  const auto same = [&](const std::unique_ptr<Entry>& a, const std::unique_ptr<Entry>& b) {
    return !less(a, b);
  };
  entries_.erase(std::unique(entries_.begin(), entries_.end(), same), entries_.end());
  index_stale_ = true;
}

void Ledger::AssignInOrder(std::vector<FString> keys, std::span<const std::uint64_t> hashes) {
  clear();
  entries_.reserve(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    entries_.push_back(std::make_unique<Entry>(std::move(keys[i]), hashes[i]));
  }
  index_stale_ = true;
}

void Ledger::Reindex() const {
  std::size_t slots = 16;
  while (slots < entries_.size() * 2) {
    slots *= 2;
  }
  index_.assign(slots, 0);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    std::size_t slot = entries_[i]->hash & (slots - 1);
    while (index_[slot] != 0) {
      slot = (slot + 1) & (slots - 1);
    }
    index_[slot] = static_cast<std::uint32_t>(i + 1);
  }
  index_stale_ = false;
}

Ledger::Entry& Ledger::Held(const_iterator entry) {
  return **(entries_.begin() + (entry.Position() - entries_.cbegin()));
}

LimitMarks& Ledger::MarksOf(const_iterator entry) {
  return Held(entry).above;
}

std::int32_t Ledger::LimitOf(const_iterator entry, std::u16string_view path) {
  Entry& held = Held(entry);
  const std::u16string_view key = held.item.first.View();
  const bool same_spelling =
      key.size() == path.size() &&
      (key.data() == path.data() ||
       std::memcmp(key.data(), path.data(), key.size() * sizeof(char16_t)) == 0);
  if (!same_spelling) {
    return BlueprintLimit(path);
  }
  // A failed lookup is not remembered: it fails again at the next use, as
  // it would have without this.
  if (held.limit_generation != ConfigGeneration()) {
    held.limit = BlueprintLimit(path);
    held.limit_generation = ConfigGeneration();
  }
  return held.limit;
}

Ledger& StructureLedger() {
  static Ledger ledger;
  return ledger;
}

TeamCounts& TeamTotals() {
  static TeamCounts totals;
  return totals;
}

ExceededLimits& TeamLimitExceeded() {
  static ExceededLimits exceeded;
  return exceeded;
}

GroupTally& GroupCounts() {
  static GroupTally groups;
  return groups;
}

void ClearAccounting() {
  StructureLedger().clear();
  TeamTotals().clear();
  TeamLimitExceeded().clear();
  GroupCounts() = GroupTally{};
}

CountsRebuild::CountsRebuild()
    : ledger_(std::move(StructureLedger())),
      totals_(std::move(TeamTotals())),
      exceeded_(std::move(TeamLimitExceeded())),
      groups_(std::move(GroupCounts())) {
  ClearAccounting();
}

CountsRebuild::~CountsRebuild() {
  if (!committed_) {
    StructureLedger() = std::move(ledger_);
    TeamTotals() = std::move(totals_);
    TeamLimitExceeded() = std::move(exceeded_);
    GroupCounts() = std::move(groups_);
  }
}

FString LedgerKey(std::string_view member_name) {
  return AsciiFString(member_name);
}

TeamCounts* FindLedgerEntry(std::u16string_view path) {
  Ledger& ledger = StructureLedger();
  const auto it = ledger.find(path);
  return it != ledger.end() ? &it->second : nullptr;
}

std::int32_t BlueprintLimit(std::u16string_view path) {
  return SettingOr<std::int32_t>(PluginConfig(), settings::kCount, ToUtf8(path));
}

}  // namespace cairnward

auto fmt::formatter<cairnward::Utf8Text>::format(const cairnward::Utf8Text& value,
                                                 fmt::format_context& ctx) const
    -> decltype(ctx.out()) {
  return fmt::formatter<std::string_view>::format(cairnward::ToUtf8(value.text), ctx);
}
