#include "args.h"

namespace devserver {

namespace {

// Takes the quoted text that begins after the quote at `i` into `word`;
// answers the position of the closing quote.
std::size_t TakeQuoted(std::string_view line, std::size_t i, std::string& word) {
  for (++i; i < line.size(); ++i) {
    if (line[i] == '"') {
      return i;
    }
    if (line[i] == '\\' && i + 1 < line.size()) {
      ++i;
    }
    word.push_back(line[i]);
  }
  throw UsageError("unterminated quote");
}

}  // namespace

std::vector<std::string> SplitLine(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  for (std::size_t i = 0; i < line.size() && line[i] != '#'; ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      if (in_word) {
        words.push_back(std::move(word));
        word.clear();
        in_word = false;
      }
      continue;
    }
    in_word = true;
    if (c == '"') {
      i = TakeQuoted(line, i, word);
    } else {
      word.push_back(c);
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
  std::optional<std::string> value;
  for (auto& entry : entries_) {
    if (entry.key == key) {
      if (value) {
        throw UsageError(entry.key + "= is given twice");
      }
      entry.taken = true;
      value = entry.value;
    }
  }
  return value;
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

std::string Args::Rest() {
  std::string text;
  for (auto& entry : entries_) {
    if (!entry.taken) {
      entry.taken = true;
      if (!text.empty()) {
        text.push_back(' ');
      }
      text += entry.Written();
    }
  }
  return text;
}

std::string Args::RequiredRest(std::string_view what) {
  std::string text = Rest();
  if (text.empty()) {
    throw UsageError("missing " + std::string(what));
  }
  return text;
}

void Args::Finish() const {
  for (const auto& entry : entries_) {
    if (!entry.taken) {
      throw UsageError("unexpected argument \"" + entry.Written() + "\"");
    }
  }
}

}  // namespace devserver
