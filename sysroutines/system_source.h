// The systems scanners read (core/system_source.h): this PC, and another
// Windows offline with its files read by Windows' own calls.
//
// This PC: keys are opened through win32::RegKey (read rights only; no key
// is ever opened for writing). HKEY_CURRENT_USER and HKEY_CLASSES_ROOT are
// the user this program runs as, unless another is chosen
// (SystemSource::ForUser): a user who is logged on is read in
// HKEY_USERS\<SID> (and <SID>_Classes), a user who is not through the hive
// files of the profile (NTUSER.DAT, UsrClass.dat), read whole by the hive
// reader while sharing them with every other program, so nothing is loaded
// into the registry, locked or changed. A hive Windows holds open (loaded
// for a logged-on user, or by another program) cannot be read that way: it
// is said in Problems(). Reading another user's hive files takes
// administrative rights; without them Problems() says so.
#pragma once

#include <memory>
#include <string>

#include "core/hive_source.h"
#include "core/offline_system.h"
#include "core/system_source.h"

namespace wl {

// This PC, as it is now: its users are read when first asked for.
SystemSource LiveSystemSource();

// Another Windows at root ("D:\", or a folder laid out like a system's
// volume), its files read by WindowsFileAccess().
SystemSource OfflineSystemSource(const std::string& root, OfflineOptions options = {});

// Files read as Windows reads them: opened sharing reading, writing and
// deleting with every other program; where a path leads asked of the
// system for the opened file (links and junctions followed).
std::shared_ptr<const FileAccess> WindowsFileAccess();

// The SID of the user this program runs as ("S-1-5-21-…"); "" when it
// cannot be read.
std::string CurrentUserSidText();
// "DOMAIN\name" of a SID where the system knows the account; "" when not.
std::string AccountNameOf(const std::string& sid);

}  // namespace wl
