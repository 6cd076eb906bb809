#include "accounting/ledger.h"

#include <string>
#include <utility>

#include "config/config.h"
#include "config/settings.h"
#include "host/text.h"

namespace cairnward {
namespace {

constexpr char16_t FoldCase(char16_t unit) noexcept {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

}  // namespace

int BlueprintPathLess::Compare(std::u16string_view a, std::u16string_view b) noexcept {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const char16_t x = FoldCase(a[i]);
    const char16_t y = FoldCase(b[i]);
    if (x != y) {
      return x < y ? -1 : 1;
    }
    if (x == u'\0') {
      return 0;
    }
  }
  // A shorter text ends as if at a NUL: equal only if the longer one has a NUL here.
  if (a.size() == b.size()) {
    return 0;
  }
  const std::u16string_view& longer = a.size() > b.size() ? a : b;
  if (longer[common] == u'\0') {
    return 0;
  }
  return a.size() < b.size() ? -1 : 1;
}

Ledger& StructureLedger() {
  static Ledger ledger;
  return ledger;
}

std::unordered_map<std::int32_t, std::int32_t>& TeamTotals() {
  static std::unordered_map<std::int32_t, std::int32_t> totals;
  return totals;
}

std::unordered_map<std::int32_t, bool>& TeamLimitExceeded() {
  static std::unordered_map<std::int32_t, bool> flags;
  return flags;
}

void ClearAccounting() {
  StructureLedger().clear();
  TeamTotals().clear();
  TeamLimitExceeded().clear();
}

CountsRebuild::CountsRebuild()
    : ledger_(std::move(StructureLedger())),
      totals_(std::move(TeamTotals())),
      flags_(std::move(TeamLimitExceeded())) {
  ClearAccounting();
}

CountsRebuild::~CountsRebuild() {
  if (!committed_) {
    StructureLedger() = std::move(ledger_);
    TeamTotals() = std::move(totals_);
    TeamLimitExceeded() = std::move(flags_);
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
