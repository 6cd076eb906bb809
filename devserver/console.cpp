#include "console.h"

#include <exception>
#include <utility>

#include <fmt/format.h>

namespace devserver {

void Console::Add(const std::string& name, std::string usage, Handler handler, Echo echo) {
  commands_[name] = Command{std::move(usage), std::move(handler), echo};
}

std::vector<std::string> Console::Usages() const {
  std::vector<std::string> usages;
  usages.reserve(commands_.size());
  for (const auto& [name, command] : commands_) {
    usages.push_back(command.usage);
  }
  return usages;
}

void Console::RunLine(std::string_view line, int line_number) {
  try {
    auto words = SplitLine(line);
    if (!words.empty()) {
      const auto found = Find(words).first;
      if (echo_ && (found == commands_.end() || found->second.echo == Echo::kShow)) {
        const auto first = line.find_first_not_of(" \t");
        const auto last = line.find_last_not_of(" \t\r");
        out_.Say(fmt::format("> {}", line.substr(first, last - first + 1)));
      }
      Dispatch(std::move(words), line_number);
    }
  } catch (const CommandError& e) {
    out_.Error(fmt::format("{} (line {})", e.what(), line_number));
  }
  if (after_each_line_) {
    after_each_line_();
  }
}

std::pair<Console::Commands::const_iterator, std::size_t> Console::Find(
    const std::vector<std::string>& words) const {
  if (words.size() >= 2) {
    const auto found = commands_.find(words[0] + " " + words[1]);
    if (found != commands_.end()) {
      return {found, 2};
    }
  }
  return {commands_.find(words[0]), 1};
}

void Console::Dispatch(std::vector<std::string> words, int line_number) {
  const auto [found, name_words] = Find(words);
  if (found == commands_.end()) {
    const std::string typed = words.size() >= 2 ? words[0] + " " + words[1] : words[0];
    const std::string subcommands = SubcommandsOf(words[0]);
    throw CommandError(subcommands.empty() ? fmt::format("unknown command \"{}\"", words[0])
                                           : fmt::format("unknown command \"{}\"; \"{}\" takes: {}",
                                                         typed, words[0], subcommands));
  }
  const std::string& name = found->first;
  const Command& command = found->second;
  words.erase(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(name_words));
  try {
    Args args(std::move(words));
    command.handler(args);
  } catch (const UsageError& e) {
    out_.Error(
        fmt::format("{}: {}; usage: {} (line {})", name, e.what(), command.usage, line_number));
  } catch (const std::exception& e) {
    // Anything else a command ran into (the host refusing an operation, a
    // file system error) ends this line only.
    out_.Error(fmt::format("{}: {} (line {})", name, e.what(), line_number));
  }
}

std::string Console::SubcommandsOf(const std::string& word) const {
  std::string list;
  const std::string prefix = word + " ";
  for (auto it = commands_.lower_bound(prefix);
       it != commands_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (!list.empty()) {
      list += ", ";
    }
    list += it->first.substr(prefix.size());
  }
  return list;
}

}  // namespace devserver
