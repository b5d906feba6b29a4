// What the service page changes: the start type, and the removal of a service
// whose program is not a Windows system file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/service_rules.h"
#include "service/service_scan.h"
#include "sysroutines/system_write.h"

namespace wl {

// Writes the "Start" value (2 auto, 3 manual, 4 disabled) of an existing
// service key; a service whose key is gone is not brought back.
WriteResult SetServiceStartType(const std::string& keyName, uint32_t start);

enum class RemoveServiceOutcome {
  Removed,        // stopped, key deleted, unregistered
  SystemService,  // its program is a Windows system file: nothing was changed
  CannotStop,     // it did not stop: nothing was changed
  KeyNotDeleted,  // stopped, but its key could not be deleted (see keyResult)
};

struct RemoveServiceResult {
  RemoveServiceOutcome outcome = RemoveServiceOutcome::SystemService;
  WriteResult keyResult;
  // The program the service starts, as the judge resolved it just before
  // the removal (Windows' own search: an unquoted path with blanks runs the
  // first program its parts name).
  std::string program;
  std::optional<WriteResult> fileResult;  // the program file's deletion, when it was tried
  // Other services that run the same program file (key names): the file
  // was kept for them, and its deletion not tried.
  std::vector<std::string> programKeptFor;
  // Why the program file was kept otherwise (what the service starts is not
  // what the list showed); empty when not.
  std::string programKeptReason;
};

// "The program file … was kept: the service X uses it too."
std::string ProgramKeptText(const std::string& program, const std::vector<std::string>& services);

// Stops the service (waiting at most boundMs), deletes its key with all
// sub-keys and removes it from the service control manager, then (only when the
// key is gone) deletes for good the program file the service starts, unless
// another service runs the same file. What it starts is judged again first,
// by judge (with the reference tables), from the service's key as it is now:
// the removal is refused, changing nothing, when the row or that judgement
// says it is a Windows system file; the file deleted is the one the judge
// resolved, never a guess from the path's text; and when that is not the
// program the row showed (the system changed since the list was read), the
// file is kept and programKeptReason says why.
RemoveServiceResult RemoveServiceEntry(const ServiceRow& row, const Judge& judge,
                                       uint32_t boundMs = kServiceWaitBoundMs);

}  // namespace wl
