#include "figures.h"

#include <functional>

#include <fmt/format.h>

namespace rcon_load {
namespace {

std::optional<long> Growth(const Figures& f) {
  if (!f.peak_rss_before_kib || !f.peak_rss_after_kib) {
    return std::nullopt;
  }
  return *f.peak_rss_after_kib - *f.peak_rss_before_kib;
}

double AnsweredPerSecond(const Figures& f) {
  return f.command_seconds > 0 ? static_cast<double>(f.answered) / f.command_seconds : 0;
}

double Mib(long kib) {
  return static_cast<double>(kib) / 1024.0;
}

void ExpectAll(std::vector<std::string>& failures, const Tally& tally, const char* what) {
  if (tally.as_expected != tally.clients) {
    failures.push_back(
        fmt::format("{} of {} {}", tally.clients - tally.as_expected, tally.clients, what));
  }
}

std::string Fraction(const Tally& tally) {
  return fmt::format("{}/{}", tally.as_expected, tally.clients);
}

nlohmann::ordered_json TallyJson(const Tally& tally, const char* verb) {
  return {{"clients", tally.clients}, {verb, tally.as_expected}};
}

// The run as a whole and the commands of authenticated clients.
void RunFailures(const Figures& f, std::vector<std::string>& failures) {
  if (!f.finished_in_time) {
    failures.emplace_back("the run did not finish within its time limit");
  }
  if (!f.all_admitted) {
    failures.emplace_back("the server did not admit every client under its cap");
  }
  if (f.Lost() != 0) {
    failures.push_back(fmt::format("{} commands lost", f.Lost()));
  }
  if (f.wrong != 0) {
    failures.push_back(fmt::format("{} commands answered wrongly", f.wrong));
  }
}

void ClientFailures(const Figures& f, std::vector<std::string>& failures) {
  ExpectAll(failures, f.slow, "slow clients not served");
  ExpectAll(failures, f.wrong_password, "wrong-password clients not dropped");
  ExpectAll(failures, f.half_open, "half-open clients not dropped");
  ExpectAll(failures, f.garbage, "garbage clients not dropped");
  ExpectAll(failures, f.over_cap, "clients over the cap not refused");
  ExpectAll(failures, f.squatters, "squatters not held to their places");
  ExpectAll(failures, f.guessers, "guessers not banned at the failure limit");
}

// The game thread, memory and how the server itself ended.
void ServerFailures(const Plan& plan, const Figures& f, std::vector<std::string>& failures) {
  if (f.probes_answered != f.probes) {
    failures.push_back(
        fmt::format("{} of {} console lines not run", f.probes - f.probes_answered, f.probes));
  }
  if (!f.fresh_client_served) {
    failures.emplace_back("a fresh client was not served after the load");
  }
  const auto growth = Growth(f);
  if (plan.max_rss_growth_mib && (!growth || Mib(*growth) > *plan.max_rss_growth_mib)) {
    failures.push_back(growth ? fmt::format("peak RSS grew by {:.1f} MiB, more than {:.1f} MiB",
                                            Mib(*growth), *plan.max_rss_growth_mib)
                              : std::string("peak RSS could not be read"));
  }
  if (f.host_violations != 0) {
    failures.push_back(fmt::format("{} host violations", f.host_violations));
  }
  if (f.server_exit != 0) {
    failures.push_back(fmt::format("the server's exit status was {}", f.server_exit));
  }
}

using Row = std::function<void(const std::string&, const std::string&)>;

void ClientRows(const Figures& f, const Row& row) {
  row("commands of authenticated clients", std::to_string(f.commands));
  row("  answered (right id and text)", std::to_string(f.answered));
  row("  answered wrongly", std::to_string(f.wrong));
  row("  lost", std::to_string(f.Lost()));
  row("  answered per second", fmt::format("{:.0f}", AnsweredPerSecond(f)));
  row("  in (s)", fmt::format("{:.2f}", f.command_seconds));
  row("slow clients served", Fraction(f.slow));
  row("hostile connections dropped",
      fmt::format("{}/{}",
                  f.wrong_password.as_expected + f.half_open.as_expected + f.garbage.as_expected,
                  f.wrong_password.clients + f.half_open.clients + f.garbage.clients));
  row("  wrong password", Fraction(f.wrong_password));
  row("  half-open", Fraction(f.half_open));
  row("  garbage", Fraction(f.garbage));
  row("connections over the cap refused", Fraction(f.over_cap));
  row("squatters held to their places", Fraction(f.squatters));
  row("guessers banned at the failure limit", Fraction(f.guessers));
}

void ServerRows(const Figures& f, const Row& row) {
  row("console lines run during the load", fmt::format("{}/{}", f.probes_answered, f.probes));
  row("  worst wait (ms)", fmt::format("{:.1f}", f.probe_worst_ms));
  row("  median wait (ms)", fmt::format("{:.1f}", f.probe_median_ms));
  row("fresh client served afterwards", f.fresh_client_served ? "yes" : "no");
  const auto mib = [](const std::optional<long>& kib) {
    return kib ? fmt::format("{:.1f}", Mib(*kib)) : std::string("?");
  };
  row("server peak RSS before (MiB)", mib(f.peak_rss_before_kib));
  row("server peak RSS after (MiB)", mib(f.peak_rss_after_kib));
  row("  growth (MiB)", mib(Growth(f)));
  row("load duration (s)", fmt::format("{:.1f}", f.load_seconds));
  row("host violations", std::to_string(f.host_violations));
  row("server exit status", std::to_string(f.server_exit));
}

}  // namespace

std::vector<std::string> Failures(const Plan& plan, const Figures& f) {
  std::vector<std::string> failures;
  if (!f.server_started) {
    failures.emplace_back("the development server did not start serving RCON");
    return failures;
  }
  RunFailures(f, failures);
  ClientFailures(f, failures);
  ServerFailures(plan, f, failures);
  return failures;
}

std::string Table(const Plan& plan, const Figures& f, const std::vector<std::string>& failures) {
  std::string out = fmt::format(
      "RCON under load: {} clients x {} commands; {} slow, {} wrong-password, {} half-open, "
      "{} garbage, {} squatters, {} guessers, {} over the cap of {}\n\n",
      plan.clients, plan.commands, plan.slow, plan.wrong_password, plan.half_open, plan.garbage,
      plan.squatters, plan.guessers, plan.over_cap, plan.MaxClients());
  const auto row = [&out](const std::string& what, const std::string& value) {
    out += fmt::format("{:<38}{:>12}\n", what, value);
  };
  ClientRows(f, row);
  ServerRows(f, row);
  if (!f.server_reasons.empty()) {
    out += "\nthe server closed connections because the client\n";
    for (const auto& [reason, count] : f.server_reasons) {
      out += fmt::format("  {:>6}  {}\n", count, reason);
    }
  }
  for (const auto& surprise : f.surprises) {
    out += fmt::format("\nseen: {}", surprise);
  }
  out += failures.empty() ? "\nresult: pass\n" : "\nresult: FAIL\n";
  for (const auto& failure : failures) {
    out += fmt::format("  {}\n", failure);
  }
  return out;
}

nlohmann::ordered_json Json(const Plan& plan, const Figures& f,
                            const std::vector<std::string>& failures) {
  const auto growth = Growth(f);
  const auto kib = [](const std::optional<long>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json();
  };
  return {
      {"clients", plan.clients},
      {"commands_per_client", plan.commands},
      {"max_clients", plan.MaxClients()},
      {"commands", f.commands},
      {"answered", f.answered},
      {"wrong", f.wrong},
      {"lost", f.Lost()},
      {"answered_per_second", AnsweredPerSecond(f)},
      {"command_seconds", f.command_seconds},
      {"load_seconds", f.load_seconds},
      {"slow", TallyJson(f.slow, "served")},
      {"wrong_password", TallyJson(f.wrong_password, "dropped")},
      {"half_open", TallyJson(f.half_open, "dropped")},
      {"garbage", TallyJson(f.garbage, "dropped")},
      {"over_cap", TallyJson(f.over_cap, "refused")},
      {"squatters", TallyJson(f.squatters, "held")},
      {"guessers", TallyJson(f.guessers, "banned")},
      {"console_lines", f.probes},
      {"console_lines_run", f.probes_answered},
      {"console_worst_ms", f.probe_worst_ms},
      {"console_median_ms", f.probe_median_ms},
      {"fresh_client_served", f.fresh_client_served},
      {"peak_rss_before_kib", kib(f.peak_rss_before_kib)},
      {"peak_rss_after_kib", kib(f.peak_rss_after_kib)},
      {"peak_rss_growth_kib", kib(growth)},
      {"server_reasons", f.server_reasons},
      {"host_violations", f.host_violations},
      {"server_exit", f.server_exit},
      {"ok", failures.empty()},
      {"failures", failures},
  };
}

}  // namespace rcon_load
