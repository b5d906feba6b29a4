// The way to one file, held: every folder from the drive's (or share's) root
// down to the folder that holds the file, each opened inside the one before
// it and kept open while the file is changed. A folder held is opened
// without sharing the right to delete, so nobody can rename it or put a
// link in its place meanwhile, and the file itself is opened and made inside
// the very folder that was checked.
//
// With links refused (the write routines refuse them with administrative
// rights), a link on the way - a junction, a symbolic link, a mount point,
// or a folder whose opened path is not where the path names it - is
// refused, and the refusal names it. Without, links are followed as the
// path names them (a user's own links lead where the user wants).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win32/handles.h"

namespace wl {

class HeldPath {
 public:
  // Walks to path's folder and holds every folder on the way that is there.
  // Folders that are not there end the walk: Missing() names them.
  static HeldPath Open(std::string_view path, bool linksRefused);

  HeldPath(HeldPath&&) = default;
  HeldPath& operator=(HeldPath&&) = default;

  bool ok() const { return error_ == 0; }
  uint32_t Error() const { return error_; }  // kErrorLinkRefused for a link
  // Why not, for the user ("the folder C:\… is a link or junction …").
  const std::string& Reason() const { return reason_; }

  // The file's path as the system spells it once the folders are held: the
  // final path of the folder that holds it, its own name after it.
  std::string FinalPath() const;
  const std::string& FolderPath() const { return folderFinal_; }
  const std::string& Name() const { return name_; }
  // Folders below the deepest one there (full paths, top down).
  const std::vector<std::string>& Missing() const { return missing_; }

  // Makes the missing folders, each inside the folder held before it, and
  // holds them; each one made is checked like the others. made receives
  // the folders made (also those made before a failure).
  bool MakeMissing(std::vector<std::string>& made);

  // Opens (or with FILE_CREATE makes) the file inside the held folder,
  // never following a link in its place, and checks that what was opened
  // is a plain file that lies in that folder. disposition and options are
  // NtCreateFile's (FILE_OPEN, FILE_CREATE; FILE_NON_DIRECTORY_FILE …).
  // An invalid handle with Error() and Reason() set on failure.
  win32::UniqueHfile OpenFile(ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options = 0,
                              ULONG attributes = FILE_ATTRIBUTE_NORMAL);
  // The same for another name in the held folder (a temporary file beside it).
  win32::UniqueHfile OpenSibling(std::string_view name, ACCESS_MASK access, ULONG share, ULONG disposition,
                                 ULONG options = 0, ULONG attributes = FILE_ATTRIBUTE_NORMAL);
  // Opens (FILE_OPEN) or makes (FILE_CREATE) the held folder's child
  // folder name, not following a link in its place; the same checks.
  win32::UniqueHfile OpenChildFolder(std::string_view name, ACCESS_MASK access, ULONG share,
                                     ULONG disposition = FILE_OPEN);

  // Whether the held folder is still a plain folder at the path it was
  // checked at (between a check and a write someone with the right to
  // change its attributes could have made it a mount point).
  bool FolderStillPlain();

 private:
  HeldPath() = default;
  bool Fail(uint32_t error, std::string reason);
  // Checks a handle opened inside the held folder under name.
  bool CheckChild(HANDLE child, const std::string& name, bool folder);

  bool linksRefused_ = false;
  uint32_t error_ = 0;
  std::string reason_;
  std::string given_;        // the path as made full
  std::string name_;         // the file's own name
  std::string folderFinal_;  // the final path of the deepest folder held
  std::string folderGiven_;  // the same folder as the path names it
  std::string folderObject_; // the system's own name of it (what the checks compare)
  std::vector<std::string> missing_;
  std::vector<win32::UniqueHfile> held_;  // root first
};

// Why a path refused by HeldPath::Open names no file it can act on: a
// device, a stream, or a name that is no full path.
inline constexpr uint32_t kErrorNotAFilePath = ERROR_BAD_PATHNAME;

}  // namespace wl
