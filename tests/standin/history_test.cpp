// A server that runs for long, as the development server does, keeps no
// history: what it would keep grows with every command it serves.
#include <gtest/gtest.h>
#include <spdlog/logger.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "standin/server.h"
#include "standin/strict.h"

namespace cairnward::testing {
namespace {

TEST(ServerHistory, WithoutHistoryEverythingIsStillReportedAsItHappens) {
  std::string pattern = (std::filesystem::temp_directory_path() / "cairnward-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  {
    standin::Server server(pattern, {.console_log = false, .keep_history = false});
    std::vector<std::string> logged;
    std::vector<std::u16string> delivered;
    std::vector<std::u16string> replied;
    std::vector<std::u16string> received;
    server.Events().on_log = [&](const standin::LogRecord& r) { logged.push_back(r.text); };
    server.Events().on_delivery = [&](const standin::Delivery& d) { delivered.push_back(d.text); };
    server.Events().on_rcon_reply = [&](const standin::RconReply& r) { replied.push_back(r.text); };
    auto* connection = server.GetWorld().MakeRconConnection();
    connection->send = [&](const standin::RconReply& r) { received.push_back(r.text); };

    server.HostLogger().info("a line");
    standin::Delivery delivery;
    delivery.text = u"shown";
    server.Deliver(delivery);
    server.SendRcon(*connection, {1, 0, u"answer"});

    EXPECT_EQ(logged, std::vector<std::string>{"a line"});
    EXPECT_EQ(delivered, std::vector<std::u16string>{u"shown"});
    EXPECT_EQ(replied, std::vector<std::u16string>{u"answer"});
    EXPECT_EQ(received, std::vector<std::u16string>{u"answer"});
    EXPECT_TRUE(server.Log().empty());
    EXPECT_TRUE(server.Deliveries().empty());
    EXPECT_TRUE(server.RconReplies().empty());
  }
  EXPECT_TRUE(standin::Violations().empty());
  std::filesystem::remove_all(pattern);
}

}  // namespace
}  // namespace cairnward::testing
