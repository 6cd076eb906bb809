#include "args.h"

#include <algorithm>

namespace devserver {

std::vector<std::string> SplitLine(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '#') {
      break;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      if (in_word) {
        words.push_back(std::move(word));
        word.clear();
        in_word = false;
      }
      continue;
    }
    in_word = true;
    if (c != '"') {
      word.push_back(c);
      continue;
    }
    bool closed = false;
    for (++i; i < line.size(); ++i) {
      if (line[i] == '"') {
        closed = true;
        break;
      }
      if (line[i] == '\\' && i + 1 < line.size()) {
        ++i;
      }
      word.push_back(line[i]);
    }
    if (!closed) {
      throw UsageError("unterminated quote");
    }
  }
  if (in_word) {
    words.push_back(std::move(word));
  }
  return words;
}

Args::Args(std::vector<std::string> words) {
  for (auto& word : words) {
    const auto equals = word.find('=');
    Entry entry;
    if (equals == std::string::npos || equals == 0) {
      entry.value = std::move(word);
    } else {
      entry.key = word.substr(0, equals);
      entry.value = word.substr(equals + 1);
    }
    entries_.push_back(std::move(entry));
  }
}

std::string Args::Word(std::string_view what) {
  for (auto& entry : entries_) {
    if (!entry.taken && entry.key.empty()) {
      entry.taken = true;
      return entry.value;
    }
  }
  throw UsageError("missing " + std::string(what));
}

std::optional<std::string> Args::Value(std::string_view key) {
  // Checked here rather than up front, so that free text may repeat a key.
  const auto given =
      std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.key == key; });
  if (given > 1) {
    throw UsageError(std::string(key) + "= is given twice");
  }
  for (auto& entry : entries_) {
    if (entry.key == key) {
      entry.taken = true;
      return entry.value;
    }
  }
  return std::nullopt;
}

bool Args::Flag(std::string_view flag) {
  for (auto& entry : entries_) {
    if (!entry.taken && entry.key.empty() && entry.value == flag) {
      entry.taken = true;
      return true;
    }
  }
  return false;
}

std::string Args::Rest(std::string_view what) {
  std::string text;
  for (auto& entry : entries_) {
    if (!entry.taken) {
      entry.taken = true;
      if (!text.empty()) {
        text += ' ';
      }
      text += entry.key.empty() ? entry.value : entry.key + "=" + entry.value;
    }
  }
  if (text.empty()) {
    throw UsageError("missing " + std::string(what));
  }
  return text;
}

void Args::Finish() const {
  for (const auto& entry : entries_) {
    if (!entry.taken) {
      const std::string word = entry.key.empty() ? entry.value : entry.key + "=" + entry.value;
      throw UsageError("unexpected argument \"" + word + "\"");
    }
  }
}

}  // namespace devserver
