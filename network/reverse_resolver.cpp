#include "network/reverse_resolver.h"

namespace wl {

struct ReverseResolver::State {
  Lookup lookup;
  std::function<void()> notify;
  std::size_t maxPending = 0;
  std::size_t threads = 0;
  std::size_t started = 0;
  mutable std::mutex mutex;
  std::condition_variable wake;
  std::deque<IpAddress> queue;
  std::map<IpAddress, std::optional<std::string>> cache;  // nullopt: queued or in progress
  std::size_t busy = 0;
  bool stopped = false;
};

ReverseResolver::ReverseResolver(Lookup lookup, std::function<void()> notify, std::size_t threads,
                                 std::size_t maxPending)
    : state_(std::make_shared<State>()) {
  state_->lookup = std::move(lookup);
  state_->notify = std::move(notify);
  state_->threads = threads ? threads : 1;
  state_->maxPending = maxPending;
}

ReverseResolver::~ReverseResolver() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopped = true;
    state_->queue.clear();
  }
  state_->wake.notify_all();
}

std::optional<std::string> ReverseResolver::Name(const IpAddress& address) {
  bool start = false;
  {
    std::lock_guard lock(state_->mutex);
    auto it = state_->cache.find(address);
    if (it != state_->cache.end()) return it->second;
    if (state_->queue.size() + state_->busy >= state_->maxPending) return std::nullopt;
    state_->cache.emplace(address, std::nullopt);
    state_->queue.push_back(address);
    if (state_->started < state_->threads) {
      ++state_->started;
      start = true;
    }
  }
  if (start) std::thread(Work, state_).detach();
  state_->wake.notify_one();
  return std::nullopt;
}

std::size_t ReverseResolver::Pending() const {
  std::lock_guard lock(state_->mutex);
  return state_->queue.size() + state_->busy;
}

void ReverseResolver::Work(std::shared_ptr<State> state) {
  std::unique_lock lock(state->mutex);
  for (;;) {
    state->wake.wait(lock, [&] { return state->stopped || !state->queue.empty(); });
    if (state->stopped) return;
    const IpAddress address = state->queue.front();
    state->queue.pop_front();
    ++state->busy;
    lock.unlock();
    std::string name = state->lookup(address);
    lock.lock();
    --state->busy;
    if (state->stopped) return;
    state->cache[address] = std::move(name);
    const auto notify = state->notify;
    lock.unlock();
    if (notify) notify();
    lock.lock();
  }
}

}  // namespace wl
