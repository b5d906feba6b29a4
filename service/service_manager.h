// ServiceManager: talks to the service control manager. Every routine takes
// the machine name first (empty for the local machine), opens and closes its
// own handles, reports failure by its result and shows nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/service_rules.h"

namespace wl {

// A service as the manager lists it: the name of its key (the name the
// manager and the registry know it by) and its display name, empty when it
// was created without one.
struct ServiceListEntry {
  std::string keyName;
  std::string displayName;
};

// Appends the services matching the type and state masks, in the order the
// manager returns them. False when the manager cannot be opened.
bool ServiceEnumerate(const std::string& machine, uint32_t typeMask, uint32_t stateMask,
                      std::vector<ServiceListEntry>& list);

// Appends the display names of the services matching the type and state
// masks, in the order the manager returns them. False when the manager cannot
// be opened. A service without a display name cannot be found again by it:
// list services with ServiceEnumerate.
bool ServiceGetList(const std::string& machine, uint32_t typeMask, uint32_t stateMask,
                    std::vector<std::string>& list);

// The key name of the service with this display name; empty on failure.
std::string ServiceGetKeyName(const std::string& machine, const std::string& displayName);

// The current state (1 stopped, 4 running, …); 0 when the service cannot be
// opened or queried; 1 when the manager cannot be opened.
uint32_t ServiceGetStatus(const std::string& machine, const std::string& keyName);
bool ServiceStopped(const std::string& machine, const std::string& keyName);

// Start or stop the service and wait, at most boundMs, until it gets there.
// True when it ended running (start) or stopped (stop). A service that is
// already in the asked state counts as success.
bool ServiceStart(const std::string& machine, const std::string& keyName,
                  uint32_t boundMs = kServiceWaitBoundMs);
bool ServiceStop(const std::string& machine, const std::string& keyName, uint32_t boundMs = kServiceWaitBoundMs);

}  // namespace wl
