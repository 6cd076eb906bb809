#include "messages/limit_name.h"

#include <stdexcept>

#include "accounting/ledger.h"
#include "config/config.h"
#include "config/settings.h"
#include "host/text.h"
#include "messages/messages.h"

namespace cairnward {

std::u16string LimitNameAt(const Json& root, std::uint32_t position) {
  if (position == 0) {
    return MessageTextOr(root, settings::kTotalName.name, u"Total");
  }
  const Ledger& ledger = StructureLedger();
  const std::size_t entry = position - 1;
  if (entry < ledger.size()) {
    const std::u16string_view path =
        Ledger::const_iterator(ledger.begin().Position() + static_cast<std::ptrdiff_t>(entry))
            ->first.View();
    return FromUtf8(SettingOr<std::string>(root, settings::kName, ToUtf8(path)));
  }
  const std::size_t group = entry - ledger.size();
  if (group >= Limits().Groups().size()) {
    throw std::out_of_range("no limit at position " + std::to_string(position));
  }
  return Limits().Groups()[group].name;
}

}  // namespace cairnward
