// Resource and command ids of the program.
#pragma once

#define IDI_WARDENLAKE 1

#ifndef RC_INVOKED
namespace wl::app {
// Commands of the hidden "Help" menu, reached by their keys.
inline constexpr int kCmdHelp = 40001;        // F1
inline constexpr int kCmdDictionary = 40002;  // F3
// "Run as administrator" on the window menu (a system command: low four bits clear).
inline constexpr int kSysCmdRunAsAdministrator = 0x0E10;
}  // namespace wl::app
#endif
