// The pure rules of the service list: start-type names, the "Path" text, the
// state text, and the bounded wait for a service to reach a state.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/ascii.h"

namespace wl {

// Service states as the service control manager reports them.
inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStartPending = 2;
inline constexpr uint32_t kServiceStopPending = 3;
inline constexpr uint32_t kServiceRunning = 4;
inline constexpr uint32_t kServiceContinuePending = 5;
inline constexpr uint32_t kServicePausePending = 6;
inline constexpr uint32_t kServicePaused = 7;

// Values of the "Start" value that the start-type menu items write.
inline constexpr uint32_t kStartAuto = 2;
inline constexpr uint32_t kStartDemand = 3;
inline constexpr uint32_t kStartDisabled = 4;

// "Boot_Start" … "Disabled" for 0 … 4, "Unknown" for any other value or none.
std::string StartTypeName(std::optional<uint32_t> start);

// "Stopp" for a stopped service, "Running" for every other state.
std::string ServiceStateText(bool stopped);

// The "ImagePath" upper-cased (ASCII letters), with its first "%SYSTEMROOT%"
// replaced by the Windows directory as given.
std::string ServicePathText(std::string_view imagePath, std::string_view windowsDir);


struct ServiceProgress {
  uint32_t state = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHint = 0;  // milliseconds
};

// What the wait needs from the outside world, so that it can run against a
// real service or a simulated one.
struct ServiceWaitHooks {
  std::function<std::optional<ServiceProgress>()> query;  // nullopt: the query failed
  std::function<void(uint32_t ms)> sleep;
  std::function<uint64_t()> nowMs;  // a monotonic clock
};

inline constexpr uint32_t kServiceWaitBoundMs = 30000;
inline constexpr uint32_t kServiceMinSleepMs = 100;

// Waits while the service moves towards target: sleeps its wait hint (at least
// minSleepMs, never past the bound), queries again, and stops when the target
// is reached, a query fails, the checkpoint goes backwards, the service settles
// in a state that is not pending (it will not reach the target by itself), or
// boundMs have passed. Returns the last known state.
uint32_t WaitForServiceState(ServiceProgress initial, uint32_t target, const ServiceWaitHooks& hooks,
                             uint32_t boundMs = kServiceWaitBoundMs, uint32_t minSleepMs = kServiceMinSleepMs);

}  // namespace wl
