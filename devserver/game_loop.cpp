#include "game_loop.h"

#include <future>
#include <memory>
#include <string>
#include <utility>

namespace devserver {

void GameLoop::Post(std::function<void()> work) {
  {
    const std::lock_guard lock(mutex_);
    if (stopped_) {
      return;
    }
    queue_.push_back(std::move(work));
  }
  ready_.notify_one();
}

void GameLoop::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    ready_.wait(lock, [this] { return stopped_ || !queue_.empty(); });
    if (stopped_) {
      return;
    }
    const std::function<void()> work = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    work();
    lock.lock();
  }
}

void GameLoop::Stop() {
  std::deque<std::function<void()>> dropped;
  {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    dropped.swap(queue_);
  }
  ready_.notify_all();
}

ConsoleReader::ConsoleReader(GameLoop& loop, Console& console, std::vector<ConsoleInput> inputs)
    : loop_(loop), console_(console), inputs_(std::move(inputs)), thread_([this] { Read(); }) {}

ConsoleReader::~ConsoleReader() {
  loop_.Stop();
  thread_.join();
}

void ConsoleReader::Read() {
  for (const ConsoleInput& input : inputs_) {
    std::string line;
    int line_number = 0;
    while (std::getline(*input.stream, line)) {
      ++line_number;
      // Dropped unrun when the loop stops first, which breaks the promise.
      auto ran = std::make_shared<std::promise<bool>>();
      auto go_on = ran->get_future();
      loop_.Post([this, ran, &input, &line, line_number] {
        console_.EchoCommands(input.echo);
        console_.RunLine(line, line_number);
        if (console_.QuitRequested()) {
          loop_.Stop();
        }
        ran->set_value(!console_.QuitRequested());
      });
      try {
        if (!go_on.get()) {
          return;
        }
      } catch (const std::future_error&) {
        return;
      }
    }
  }
  loop_.Post([this] { loop_.Stop(); });
}

}  // namespace devserver
