// An offline system: another Windows, given by the root of its volume
// ("D:\") or a folder laid out like one, read through its hives and files
// without loading anything into the registry of the PC this runs on.
//
// Its layout:
//   ROOT\Windows\System32\config\SYSTEM, SOFTWARE (and DEFAULT)
//   ROOT\Users\<name>\NTUSER.DAT
//   ROOT\Users\<name>\AppData\Local\Microsoft\Windows\UsrClass.dat
// with FILE.LOG1/FILE.LOG2 beside a hive (applied when it is dirty). Names
// are matched without regard to case. The keys are those the system had:
//   HKEY_LOCAL_MACHINE\SYSTEM       SYSTEM; CurrentControlSet is the control
//                                   set Select\Current names (ControlSet00N)
//   HKEY_LOCAL_MACHINE\SOFTWARE     SOFTWARE (32-bit view: WOW6432Node)
//   HKEY_USERS\<SID>                the user's NTUSER.DAT; its Software\Classes
//                                   and HKEY_USERS\<SID>_Classes: UsrClass.dat
//   HKEY_USERS\.DEFAULT             DEFAULT
//   HKEY_CLASSES_ROOT               SOFTWARE\Classes merged with the chosen
//                                   user's classes
//   HKEY_CURRENT_USER               the user chosen (SystemSource::ForUser)
// Its users are those of the profile list in SOFTWARE
// (ProfileList\<SID>\ProfileImagePath), then any profile folder with an
// NTUSER.DAT that the list does not name (all of them when SOFTWARE is
// missing: a collected set of hives often has none). A profile whose path
// leaves the system's drive or names ".." is refused.
//
// Paths the system names ("C:\Program Files\…", with its own environment
// expanded: %SystemRoot%, %ProgramFiles%, each user's %APPDATA% …) are
// mapped to where its files are now: the system's drive is ROOT. A path on
// another drive of that system, one that names a device, or one that
// leads out of ROOT through a link or junction is refused.
//
// What is missing or damaged (a hive not found, a folder where a hive
// should be, a file that is no hive) is said once in Problems(); the rest
// is read. Nothing here crashes or hangs on a hostile layout.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "core/hive_source.h"
#include "core/system_source.h"

namespace wl {

struct OfflineOptions {
  bool applyLogs = true;
  // How files are read; PortableFileAccess() when null.
  std::shared_ptr<const FileAccess> files;
  // At most this many users (profile list entries, then profile folders).
  std::size_t maxUsers = 1000;
};

// The system at root. Never fails: a root that cannot be read gives a
// source with no keys, no users and a problem saying why.
SystemSource OpenOfflineSystem(const std::string& root, const OfflineOptions& options = {});

// Whether path lies in folder or below it: both full paths, compared
// without ASCII case, "/" as "\", the folders' boundaries respected.
bool PathIsWithin(std::string_view path, std::string_view folder);

}  // namespace wl
