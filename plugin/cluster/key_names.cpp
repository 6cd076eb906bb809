#include "cluster/key_names.h"

#include <fmt/format.h>

#include <charconv>

namespace cairnward {

std::string EscapeKeyPart(std::string_view name) {
  std::string escaped;
  escaped.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.';
    if (plain) {
      escaped += c;
    } else {
      escaped += fmt::format("%{:02X}", byte);
    }
  }
  return escaped;
}

std::string UnescapeKeyPart(std::string_view escaped) {
  std::string name;
  name.reserve(escaped.size());
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    unsigned byte = 0;
    if (escaped[i] == '%' && i + 2 < escaped.size() &&
        std::from_chars(escaped.data() + i + 1, escaped.data() + i + 3, byte, 16).ptr ==
            escaped.data() + i + 3) {
      name += static_cast<char>(byte);
      i += 2;
    } else {
      name += escaped[i];
    }
  }
  return name;
}

KeyNames::KeyNames(std::string_view cluster, std::string_view server)
    : prefix_("cairnward:" + EscapeKeyPart(cluster) + ":"), server_(EscapeKeyPart(server)) {}

std::string KeyNames::Aggregate(std::int32_t team) const {
  return fmt::format("{}team:{}", prefix_, team);
}

std::string KeyNames::Contribution(std::int32_t team) const {
  return fmt::format("{}server:{}:team:{}", prefix_, server_, team);
}

std::string KeyNames::ServerTeams() const {
  return fmt::format("{}server:{}:teams", prefix_, server_);
}

std::string KeyNames::Limits() const {
  return fmt::format("{}server:{}:limits", prefix_, server_);
}

std::string KeyNames::Lease() const {
  return fmt::format("{}server:{}:lease", prefix_, server_);
}

std::string KeyNames::Servers() const {
  return prefix_ + "servers";
}

std::string KeyNames::GridIndex(std::int32_t team) const {
  return fmt::format("{}grids:{}", prefix_, team);
}

std::string KeyNames::GridIndexKept() const {
  return prefix_ + "indexed";
}

KeyNames KeyNames::OfGrid(std::string_view escaped_server) const {
  KeyNames other = *this;
  other.server_ = escaped_server;
  return other;
}

}  // namespace cairnward
