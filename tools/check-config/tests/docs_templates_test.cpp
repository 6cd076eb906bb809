#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "check.h"
#include "config/json_access.h"
#include "config/settings.h"
#include "report.h"

// The templates the docs recommend pass the checker as they pass the plug-in.
namespace checkconfig {
namespace {

using Json = nlohmann::json;

struct DocTemplate {
  std::string file;
  std::string key;
  std::string text;
};

bool IsTemplateKey(const std::string& key) {
  const auto& all = cairnward::settings::kAll;
  return std::any_of(all.begin(), all.end(), [&](const cairnward::Setting* setting) {
    return setting->is_template && setting->name == key;
  });
}

// Every `"Key": "text"` of a template setting that the docs write.
std::vector<DocTemplate> DocTemplates() {
  const std::regex member(R"re("(\w+)":\s*("(?:[^"\\]|\\.)*"))re");
  std::vector<DocTemplate> found;
  for (const std::string file : {"configuration.md", "cluster.md", "administration.md"}) {
    std::ifstream in(CAIRNWARD_SOURCE_DIR "/docs/" + file);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (auto it = std::sregex_iterator(text.begin(), text.end(), member);
         it != std::sregex_iterator(); ++it) {
      if (IsTemplateKey((*it)[1])) {
        found.push_back({file, (*it)[1], Json::parse((*it)[2].str()).get<std::string>()});
      }
    }
  }
  return found;
}

TEST(DocsTemplates, EveryTemplateTheDocsGivePassesWithExitZero) {
  const std::vector<DocTemplate> templates = DocTemplates();
  // The cluster forms, which show the local count.
  EXPECT_TRUE(std::any_of(templates.begin(), templates.end(), [](const DocTemplate& t) {
    return t.key == "ShowLimitMsg" && t.text.find("{3}") != std::string::npos;
  }));
  EXPECT_TRUE(std::any_of(templates.begin(), templates.end(), [](const DocTemplate& t) {
    return t.key == "TotalLimitMsg" && t.text.find("{2}") != std::string::npos;
  }));
  std::ifstream in(CAIRNWARD_SOURCE_DIR "/examples/configs/shared-limits.json");
  const Json example = Json::parse(in);
  for (const DocTemplate& t : templates) {
    Json config = example;
    config["Messages"][t.key] = t.text;
    const auto problems = CheckConfigText(config.dump(2));
    EXPECT_EQ(ExitStatus(problems, true), 0)
        << t.file << ": \"" << t.key << "\": \"" << t.text << "\"\n"
        << TextReport("config.json", problems);
  }
}

}  // namespace
}  // namespace checkconfig
