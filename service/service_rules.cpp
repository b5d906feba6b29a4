#include "service/service_rules.h"

#include <algorithm>

#include "core/ascii.h"

namespace wl {

std::string StartTypeName(std::optional<uint32_t> start) {
  if (!start) return "Unknown";
  switch (*start) {
    case 0: return "Boot_Start";
    case 1: return "System_Start";
    case 2: return "Auto_Start";
    case 3: return "Manual_Start";
    case 4: return "Disabled";
    default: return "Unknown";
  }
}

std::string ServiceStateText(bool stopped) { return stopped ? "Stopp" : "Running"; }

std::string ServicePathText(std::string_view imagePath, std::string_view windowsDir) {
  std::string path = AsciiUpper(imagePath);
  static constexpr std::string_view kRoot = "%SYSTEMROOT%";
  const auto pos = path.find(kRoot);
  if (pos != std::string::npos) path.replace(pos, kRoot.size(), windowsDir);
  return path;
}

namespace {

bool IsPending(uint32_t state) {
  return state == kServiceStartPending || state == kServiceStopPending || state == kServiceContinuePending ||
         state == kServicePausePending;
}

}  // namespace

uint32_t WaitForServiceState(ServiceProgress initial, uint32_t target, const ServiceWaitHooks& hooks,
                             uint32_t boundMs, uint32_t minSleepMs) {
  ServiceProgress status = initial;
  const uint64_t start = hooks.nowMs();
  while (status.state != target) {
    if (!IsPending(status.state)) break;  // settled elsewhere: waiting cannot help
    const uint64_t elapsed = hooks.nowMs() - start;
    if (elapsed >= boundMs) break;
    const uint32_t remembered = status.checkPoint;
    const uint64_t remaining = boundMs - elapsed;
    const uint32_t pause = static_cast<uint32_t>(
        std::min<uint64_t>(std::max(status.waitHint, minSleepMs), remaining));
    hooks.sleep(pause);
    const auto next = hooks.query();
    if (!next) break;
    status = *next;
    if (status.checkPoint < remembered) break;
  }
  return status.state;
}

}  // namespace wl
