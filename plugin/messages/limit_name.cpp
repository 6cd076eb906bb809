#include "messages/limit_name.h"

#include <optional>
#include <stdexcept>

#include "accounting/ledger.h"
#include "config/config.h"
#include "config/setting_reads.h"
#include "config/settings.h"
#include "host/text.h"
#include "messages/messages.h"

namespace cairnward {

namespace {

// The path of the ledger entry at a position, or none for the total and the groups.
std::optional<std::u16string_view> PathAt(std::uint32_t position) {
  const Ledger& ledger = StructureLedger();
  if (position == 0 || position - 1 >= ledger.size()) {
    return std::nullopt;
  }
  return Ledger::const_iterator(ledger.begin().Position() +
                                static_cast<std::ptrdiff_t>(position - 1))
      ->first.View();
}

}  // namespace

std::u16string LimitNameAt(const Json& root, std::uint32_t position) {
  if (position == 0) {
    return MessageTextOr(root, settings::kTotalName.name, u"Total");
  }
  if (const auto path = PathAt(position)) {
    return FromUtf8(SettingOr<std::string>(root, settings::kName, ToUtf8(*path)));
  }
  const std::size_t group = position - 1 - StructureLedger().size();
  if (group >= Limits().Groups().size()) {
    throw std::out_of_range("no limit at position " + std::to_string(position));
  }
  return Limits().Groups()[group].name;
}

std::u16string LimitNameOrPathAt(const Json& root, std::uint32_t position) {
  std::u16string name = LimitNameAt(root, position);
  if (const auto path = PathAt(position); path && name.empty()) {
    name = *path;
  }
  return name;
}

}  // namespace cairnward
