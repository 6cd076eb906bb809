#include <gtest/gtest.h>

#include "load_run.h"
#include "redis_stats.h"
#include "support/redis_server.h"

namespace cluster_load {
namespace {

// Every scenario at a tiny size on a Redis of the test's own: the cluster's
// counts stay the sums of the grids' contributions, and the summary holds
// what scripts/cluster-load and the benchmark summary read.
TEST(ClusterLoad, EveryScenarioLeavesEveryAggregateTheSumOfItsContributions) {
  cairnward::testing::RedisServer redis;
  Plan plan;
  plan.grids = 3;
  plan.builders = 10;
  plan.teams_per_grid = 30;
  plan.grids_per_team = 2;
  plan.joins_per_minute = 120;
  plan.threads = 2;
  plan.duration = std::chrono::seconds(2);
  plan.storm_limit = std::chrono::seconds(30);
  plan.port = redis.Port();
  const Figures figures = RunLoad(plan);

  ASSERT_EQ(figures.scenarios.size(), 3U);
  EXPECT_EQ(figures.scenarios[0].check.teams, 60U);  // before any join
  for (const ScenarioFigures& s : figures.scenarios) {
    SCOPED_TRACE(NameOf(s.scenario));
    EXPECT_TRUE(s.check.done);
    EXPECT_GT(s.check.teams, 0U);
    EXPECT_EQ(s.check.differing, 0U) << s.check.summary;
    EXPECT_EQ(s.link_downs, 0);
  }
  const ScenarioFigures& busy = figures.scenarios[1];
  EXPECT_GT(busy.activity.allowed, 0);
  EXPECT_GT(busy.activity.removals, 0);
  EXPECT_GT(busy.commands.at("evalsha").calls, 0);
  EXPECT_TRUE(figures.scenarios[2].all_in_seconds.has_value());

  const nlohmann::ordered_json json = Json(plan, figures);
  EXPECT_FALSE(json.at("redis_version").get<std::string>().empty());
  for (const auto& scenario : json.at("scenarios")) {
    for (const char* field : {"placement_latency", "redis_cpu_share", "redis_commands",
                              "all_in_seconds", "link_downs", "used_memory", "check"}) {
      EXPECT_TRUE(scenario.contains(field)) << field;
    }
  }
  EXPECT_EQ(json.at("targets").size(), 9U);
}

// Both versions' INFO: 3.0 ends a command's line at usec_per_call, 7.0 adds
// more after it and names subcommands.
TEST(ClusterLoad, InfoIsReadAsBothRedisVersionsWriteIt) {
  const RedisStats stats = ParseInfo(
      "# Server\r\nredis_version:3.0.5\r\n# CPU\r\nused_cpu_sys:1.50\r\nused_cpu_user:2.25\r\n"
      "# Memory\r\nused_memory:1048576\r\n# Commandstats\r\n"
      "cmdstat_evalsha:calls=10,usec=500,usec_per_call=50.00\r\n"
      "cmdstat_config|get:calls=2,usec=7,usec_per_call=3.50,rejected_calls=0,failed_calls=1\r\n");
  EXPECT_EQ(stats.version, "3.0.5");
  EXPECT_DOUBLE_EQ(stats.cpu_seconds, 3.75);
  EXPECT_EQ(stats.used_memory, 1048576);
  EXPECT_EQ(stats.commands.at("evalsha").usec, 500);
  EXPECT_EQ(stats.commands.at("config|get").calls, 2);

  RedisStats later = stats;
  later.commands["evalsha"] = {15, 800};
  const auto between = CommandsBetween(stats, later);
  ASSERT_EQ(between.size(), 1U);
  EXPECT_EQ(between.at("evalsha").calls, 5);
  EXPECT_EQ(between.at("evalsha").usec, 300);
}

}  // namespace
}  // namespace cluster_load
