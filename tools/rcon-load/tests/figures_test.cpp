// The verdict on a load run: a run that lost or mishandled anything must not
// pass, or the load test in CTest would pass whatever the server did.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "figures.h"

namespace rcon_load {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

Plan SmallPlan() {
  Plan plan;
  plan.clients = 2;
  plan.commands = 3;
  plan.slow = plan.wrong_password = plan.half_open = plan.garbage = plan.over_cap = 1;
  plan.max_rss_growth_mib = 8;
  return plan;
}

// What a run of SmallPlan that went as it should reports.
Figures Clean() {
  Figures f;
  f.server_started = true;
  f.finished_in_time = true;
  f.all_admitted = true;
  f.commands = f.answered = 2 * 3 + kSlowCommands;
  for (Tally* tally : {&f.slow, &f.wrong_password, &f.half_open, &f.garbage, &f.over_cap}) {
    *tally = {1, 1};
  }
  f.probes = f.probes_answered = 5;
  f.fresh_client_served = true;
  f.peak_rss_before_kib = 10'000;
  f.peak_rss_after_kib = 12'000;
  f.server_exit = 0;
  return f;
}

TEST(RconLoadFigures, ACleanRunPassesAndReportsItsFigures) {
  const Plan plan = SmallPlan();
  const Figures figures = Clean();
  EXPECT_THAT(Failures(plan, figures), IsEmpty());

  const auto json = Json(plan, figures, {});
  EXPECT_EQ(json.at("answered"), 8);
  EXPECT_EQ(json.at("lost"), 0);
  EXPECT_EQ(json.at("peak_rss_growth_kib"), 2000);
  EXPECT_EQ(json.at("over_cap").at("refused"), 1);
  EXPECT_EQ(json.at("ok"), true);
  EXPECT_THAT(Table(plan, figures, {}), HasSubstr("result: pass"));
}

TEST(RconLoadFigures, EachFaultFailsTheRunOnItsOwn) {
  const Plan plan = SmallPlan();
  const std::vector<std::pair<std::string, std::function<void(Figures&)>>> faults = {
      {"1 commands lost", [](Figures& f) { --f.answered; }},
      {"1 commands answered wrongly",
       [](Figures& f) {
         --f.answered;
         ++f.wrong;
       }},
      {"1 of 1 slow clients not served", [](Figures& f) { f.slow.as_expected = 0; }},
      {"1 of 1 wrong-password clients not dropped",
       [](Figures& f) { f.wrong_password.as_expected = 0; }},
      {"1 of 1 half-open clients not dropped", [](Figures& f) { f.half_open.as_expected = 0; }},
      {"1 of 1 garbage clients not dropped", [](Figures& f) { f.garbage.as_expected = 0; }},
      {"1 of 1 clients over the cap not refused", [](Figures& f) { f.over_cap.as_expected = 0; }},
      {"1 of 5 console lines not run", [](Figures& f) { --f.probes_answered; }},
      {"a fresh client was not served", [](Figures& f) { f.fresh_client_served = false; }},
      {"more than 8.0 MiB", [](Figures& f) { f.peak_rss_after_kib = 10'000 + 9 * 1024; }},
      {"peak RSS could not be read", [](Figures& f) { f.peak_rss_after_kib.reset(); }},
      {"1 host violations", [](Figures& f) { f.host_violations = 1; }},
      {"exit status was -1", [](Figures& f) { f.server_exit = -1; }},
      {"did not admit every client", [](Figures& f) { f.all_admitted = false; }},
      {"time limit", [](Figures& f) { f.finished_in_time = false; }},
  };
  for (const auto& [failure, fault] : faults) {
    Figures figures = Clean();
    fault(figures);
    const auto failures = Failures(plan, figures);
    EXPECT_THAT(failures, ElementsAre(HasSubstr(failure))) << failure;
    EXPECT_EQ(Json(plan, figures, failures).at("ok"), false);
    EXPECT_THAT(Table(plan, figures, failures), HasSubstr("result: FAIL")) << failure;
  }
}

TEST(RconLoadFigures, AServerThatNeverServedIsTheOneFailure) {
  Figures figures;
  EXPECT_THAT(Failures(SmallPlan(), figures), ElementsAre(HasSubstr("did not start")));
}

}  // namespace
}  // namespace rcon_load
