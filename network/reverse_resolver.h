// Reverse host-name look-ups on background threads. Answers are cached per
// address for the resolver's lifetime; at most a bounded number of addresses
// wait or are being looked up at once. The threads never call into the
// owner's windows: when answers arrive they call `notify` (the page posts
// itself a message from it) and the owner reads the cache on its own thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "network/port_rows.h"

namespace wl {

class ReverseResolver {
 public:
  // lookup: the blocking look-up (empty text: the address has no name).
  using Lookup = std::function<std::string(const IpAddress&)>;
  ReverseResolver(Lookup lookup, std::function<void()> notify, std::size_t threads = 2, std::size_t maxPending = 256);
  // Does not wait for look-ups in progress: their answers are dropped.
  ~ReverseResolver();
  ReverseResolver(const ReverseResolver&) = delete;
  ReverseResolver& operator=(const ReverseResolver&) = delete;

  // The name when known ("" when the address has none); otherwise nullopt,
  // and the address is queued unless the queue is full.
  std::optional<std::string> Name(const IpAddress& address);
  std::size_t Pending() const;

 private:
  struct State;
  static void Work(std::shared_ptr<State> state);
  std::shared_ptr<State> state_;
};

}  // namespace wl
