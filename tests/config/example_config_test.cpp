#include <fstream>
#include <iterator>

#include "support/plugin_fixture.h"

namespace cairnward::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ExampleConfig : public PluginTest {};

// The bundled config names its schema for editors; the plug-in must take
// the file as it is.
TEST_F(ExampleConfig, LoadsAsShippedWithItsSchemaMember) {
  std::ifstream file(CAIRNWARD_EXAMPLE_CONFIG, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_NE(text.find("\"$schema\""), std::string::npos);
  WriteConfigText(text);
  ASSERT_TRUE(LoadPlugin());
  EXPECT_THAT(PluginLogLines(spdlog::level::warn), IsEmpty());
  EXPECT_THAT(PluginLogLines(spdlog::level::err), IsEmpty());
  EXPECT_THAT(server().Commands().ChatNames(), ElementsAre(u"/limits"));
}

}  // namespace
}  // namespace cairnward::testing
