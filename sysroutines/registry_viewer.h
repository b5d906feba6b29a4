// Shows a registry entry in the system's registry editor: opens the editor
// (or takes the one already running), walks its key tree to the key by
// simulated keystrokes and selects the value. Reads and changes nothing in
// the registry itself.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>

namespace wl {

// The text itself when it is empty or already starts with "\", else "\" +
// text.
std::string EnsureLeadingBackslash(const std::string& text);

// keyPath is the full text a list shows ("HKEY_LOCAL_MACHINE\Software\…");
// valueName may be empty (the first value is selected). pause is the wait
// after collapsing the tree, after each key name and before the value list
// (an editor's type-ahead may need longer than the usual 100 ms). True when
// the editor's window was found or started.
bool JumpToRegistryEntry(const std::string& keyPath, const std::string& valueName,
                         std::chrono::milliseconds pause = std::chrono::milliseconds(100));

// Starts programPath (a full path) with the shell's "open" verb, maximised,
// and waits - never longer than limit, answering messages sent to this
// thread's windows and repainting them meanwhile - until it is idle for
// input and a top-level window of windowClass exists. That window, or null
// when none came within the limit or the program ended.
HWND StartProgramForWindow(const std::string& programPath, const wchar_t* windowClass,
                           std::chrono::milliseconds limit);

}  // namespace wl
