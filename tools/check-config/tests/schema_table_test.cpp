#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "config/json_access.h"
#include "config/settings.h"

// The schema that editors use and the settings table that the plug-in reads
// through must describe the same keys.
namespace cairnward {
namespace {

const Json& Schema() {
  static const Json schema = Json::parse(std::ifstream(
      CAIRNWARD_SOURCE_DIR "/examples/server/AtlasApi/Plugins/Cairnward/config.schema.json"));
  return schema;
}

// A schema node with its "$ref" taken in; its own members win.
Json Resolved(const Json& node) {
  if (!node.contains("$ref")) {
    return node;
  }
  const std::string ref = node["$ref"];
  Json merged = Schema().at(Json::json_pointer(ref.substr(1)));
  merged.update(node);
  merged.erase("$ref");
  return merged;
}

Json NodeOf(const Setting* setting) {
  if (setting == nullptr) {
    return Schema();
  }
  const Json parent = NodeOf(setting->parent);
  if (setting->name == kAnyMember) {
    return Resolved(parent.at("additionalProperties"));
  }
  return Resolved(parent.at("properties").at(std::string(setting->name)));
}

std::string TypeName(SettingKind kind) {
  switch (kind) {
    case SettingKind::kObject:
      return "object";
    case SettingKind::kBoolean:
      return "boolean";
    case SettingKind::kInteger:
      return "integer";
    case SettingKind::kNumber:
      return "number";
    case SettingKind::kString:
      return "string";
    case SettingKind::kStringList:
      return "array";
  }
  return "";
}

std::optional<Json> DefaultOf(const Setting& setting) {
  return std::visit(
      [](const auto& value) -> std::optional<Json> {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return std::nullopt;
        } else if constexpr (std::is_same_v<T, EmptyObject>) {
          return Json::object();
        } else if constexpr (std::is_same_v<T, std::string_view>) {
          return Json(std::string(value));
        } else {
          return Json(value);
        }
      },
      setting.fallback);
}

TEST(Schema, EverySettingHasItsTypeDefaultAndNeedThere) {
  for (const Setting* setting : settings::kAll) {
    SCOPED_TRACE(std::string(setting->name));
    const Json node = NodeOf(setting);
    if (setting->choices.empty()) {
      EXPECT_EQ(node.at("type"), TypeName(setting->kind));
    } else {
      EXPECT_EQ(node.at("enum"),
                Json(std::vector<std::string>(setting->choices.begin(), setting->choices.end())));
    }
    EXPECT_EQ(node.contains("default") ? std::optional<Json>(node["default"]) : std::nullopt,
              DefaultOf(*setting));
    EXPECT_TRUE(node.contains("description") || setting->name == kAnyMember);
    if ((setting->read_with_file && setting->kind == SettingKind::kInteger) ||
        setting->kind == SettingKind::kNumber) {
      EXPECT_EQ(node.value("minimum", std::numeric_limits<std::int32_t>::min()), setting->lowest);
      EXPECT_EQ(node.value("maximum", std::numeric_limits<std::int32_t>::max()), setting->highest);
    }
    if (setting->name != kAnyMember) {
      const Json required = NodeOf(setting->parent).value("required", Json::array());
      const bool listed =
          std::find(required.begin(), required.end(), Json(setting->name)) != required.end();
      EXPECT_EQ(listed, setting->absent == WhenAbsent::kError);
    }
  }
}

TEST(Schema, NamesNoKeyTheTableLacksAndRefusesAnyOther) {
  const auto check_object = [](const Setting* object) {
    const Json node = NodeOf(object);
    if (!node.contains("properties")) {
      return;
    }
    EXPECT_EQ(node.at("additionalProperties"), false);
    for (const auto& property : node["properties"].items()) {
      if (object == nullptr && property.key() == "$schema") {
        continue;
      }
      EXPECT_TRUE(std::any_of(settings::kAll.begin(), settings::kAll.end(), [&](const Setting* s) {
        return s->parent == object && s->name == property.key();
      })) << property.key();
    }
  };
  check_object(nullptr);
  for (const Setting* setting : settings::kAll) {
    if (setting->kind == SettingKind::kObject) {
      check_object(setting);
    }
  }
}

}  // namespace
}  // namespace cairnward
