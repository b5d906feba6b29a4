// Puts another value in a replaceable slot (a store, a set of routines, a
// folder) while it lives, and the one before back afterwards: how tests put
// their stand-ins in place. Scopes nest. A slot that other threads read
// under a mutex is changed under it too.
#pragma once

#include <mutex>
#include <utility>

namespace wl {

template <typename T>
class ScopedOverride {
 public:
  ScopedOverride(T& slot, T value, std::mutex* guard = nullptr) : slot_(slot), guard_(guard) {
    Locked lock(guard_);
    previous_ = std::exchange(slot_, std::move(value));
  }
  ~ScopedOverride() {
    Locked lock(guard_);
    slot_ = std::move(previous_);
  }
  ScopedOverride(const ScopedOverride&) = delete;
  ScopedOverride& operator=(const ScopedOverride&) = delete;

 private:
  struct Locked {
    explicit Locked(std::mutex* m) : m_(m) {
      if (m_) m_->lock();
    }
    ~Locked() {
      if (m_) m_->unlock();
    }
    std::mutex* m_;
  };
  T& slot_;
  std::mutex* guard_;
  T previous_{};
};

}  // namespace wl
