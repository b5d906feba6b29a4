// The folder in which Wardenlake keeps files of its own (the backups of its
// repairs). A run with administrative rights keeps them where only
// administrators can write - the machine-wide program-data folder, with an
// access list for Administrators and SYSTEM only - and never follows a link
// or junction that someone planted on the way there. A run without those
// rights keeps them in the user's own local application data.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/scoped_override.h"

namespace wl {

// The error code of a refused link or junction (ERROR_REPARSE_POINT_ENCOUNTERED).
inline constexpr uint32_t kErrorLinkRefused = 4395;

// True when the process runs with administrative rights (an elevated token).
bool IsProcessElevated();
// The same, as the store's seam answers it (tests replace it).
bool RunsElevated();

// What decides where the store goes and how it is protected. Tests replace
// parts of it: under Wine every process counts as elevated and folders carry
// no access lists (every owner reads as the user).
struct StoreFolderSystem {
  std::function<bool()> isElevated;
  std::function<std::string()> machineDataFolder;  // the program-data folder ("C:\ProgramData")
  std::function<std::string()> userDataFolder;     // the user's local application data
  // Makes Administrators the owner of the folder the handle holds (opened
  // and checked by the caller; path names it) and gives it an access list
  // for Administrators and SYSTEM only (full control, passed on to
  // everything created inside, nothing inherited from above). A Win32 error
  // code, 0 when done.
  std::function<uint32_t(HANDLE folder, const std::string& path)> restrictToAdministrators;
  // Whether the folder the handle holds is owned by Administrators or SYSTEM
  // (or the system's own installer). Where the program-data folder itself is
  // owned by neither, the file system keeps no owners worth the name (Wine,
  // FAT) and every folder counts as owned.
  std::function<bool(HANDLE folder, const std::string& path)> ownedByAdministrators;
};

// The system's own answers.
StoreFolderSystem RealStoreFolderSystem();

// Replaces the non-empty members of system for its lifetime.
class ScopedStoreFolderSystem : ScopedOverride<StoreFolderSystem> {
 public:
  explicit ScopedStoreFolderSystem(StoreFolderSystem system);
};

struct StoreFolder {
  std::string path;          // without a trailing backslash; empty on failure
  bool machineWide = false;  // under the program-data folder, administrators only
  uint32_t error = 0;        // Win32 error code; 0 when ready
  std::string message;       // for the user; empty when ready
  std::string notice;        // something found and set aside on the way, for the user; else empty
  bool ok() const { return error == 0; }
};

// "<program data>\Wardenlake\<subFolder>" for a run with administrative
// rights, "<local application data>\Wardenlake\<subFolder>" otherwise
// (subFolder may be empty or hold several levels, "a\b"). Creates what is
// missing. Every folder below the base folder must be a plain folder: a link,
// a junction or a folder whose opened path is not the path meant is refused
// (kErrorLinkRefused) and nothing is created beyond it. With administrative
// rights a missing folder is created with the administrators-only access
// list in the same call; one that is there but not owned by the
// administrators (a standard user may have made it first) is not used: it
// is renamed aside ("<name>.untrusted-<time>", said in notice) and made anew.
// Each folder gets the access list again, set on the handle that was opened
// without following a link and checked, and held open while the rest is made.
StoreFolder PrepareStoreFolder(std::string_view subFolder = {});

// The same folder found, for a listing: nothing is made, no access list is
// set and nothing is set aside. A store that is not there is ok() with an
// empty path (no backups); a link on the way, or (with administrative
// rights) a folder the administrators do not own, is an error.
StoreFolder FindStoreFolder(std::string_view subFolder = {});

// Whether, for a store that is machine-wide, the folder at path (opened
// without following a link) is owned by the administrators; always true for
// a store in the user's own data. False when it cannot be opened.
bool StoreFolderTrusted(const std::string& path, bool machineWide);

// Checks, for a file about to be written or deleted below base, that every
// existing component of path below base (the file itself included) is a
// plain folder or file, not a link or junction, and that opening it gives
// that very path. Components that do not exist yet end the check. 0 when
// all is plain; kErrorLinkRefused, or ERROR_BAD_PATHNAME when path is not
// below base.
uint32_t CheckNoLinksBelow(std::string_view base, std::string_view path);

}  // namespace wl
