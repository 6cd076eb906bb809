#include "commands/command_argument.h"

#include "host/text.h"

namespace cairnward {

std::u16string_view ArgumentOf(const FString* command) {
  std::u16string_view text = command != nullptr ? command->View() : std::u16string_view();
  text = UpToNul(text);
  const std::size_t space = text.find(u' ');
  text = space == std::u16string_view::npos ? std::u16string_view() : text.substr(space + 1);
  const std::size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

}  // namespace cairnward
