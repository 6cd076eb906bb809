#include "host/game.h"

namespace cairnward {

namespace detail {
std::uint32_t game_address_epoch = 1;
}  // namespace detail

void ForgetGameAddresses() {
  ++detail::game_address_epoch;
}

}  // namespace cairnward
