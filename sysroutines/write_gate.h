// What the write routines of each domain (system_write_<domain>.cpp) share
// from the gate (system_write.cpp): every routine describes its change as a
// WriteRequest, checks what it can, then asks Intercepted before it touches
// anything, and ends in Done or a Failure.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sysroutines/held_path.h"
#include "sysroutines/system_write.h"
#include "win32/handles.h"

namespace wl::gate {

// "Could not … : reason" for the request (reason: the error's text, or "it
// does not exist."). A failure of a recorded write is told to the recorder.
WriteResult Failure(const WriteRequest& r, uint32_t error, std::string reason = {});
// A failure after the change was made (a file put back whose times could
// not be set): the record stays as it is.
WriteResult FailureAfterChange(const WriteRequest& r, uint32_t error, std::string reason);
WriteResult Done();
// The interceptor's answer, when it refuses the request; then the
// recorder's, when it could not record what the request is about to change.
// Nothing when the write may go ahead.
std::optional<WriteResult> Intercepted(const WriteRequest& r);

// The checks every file change makes before touching anything.
std::optional<WriteResult> CheckFilePath(const WriteRequest& r, std::string_view path);
// The way to a file a change acts on, held; links on the way refused with
// administrative rights.
HeldPath HoldWayTo(std::string_view path);
// Opens the file at the end of the way, held against being renamed or put
// aside while it is backed up and changed: opened with a right the system
// counts in its share checks (reading, or deleting), its share mode gives
// others no right to delete (nor, where that can be had, to write). A file
// that a running program holds open for writing is opened with that right
// shared.
win32::UniqueHfile OpenHeldFile(HeldPath& way, ACCESS_MASK access, bool shareWrite = false);

}  // namespace wl::gate
