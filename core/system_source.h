// One way to read a system: its registry, its users and its files, whether
// it is the PC this program runs on (live) or another Windows given by the
// root of its volume or a folder laid out like one (offline: its hives read
// by the hive reader, its files under that root). Scanners read through a
// SystemSource instead of opening registry keys themselves, so the same scan
// reads either.
//
// Use:
//   const SystemSource& source = …;   // LiveSystemSource(), OpenOfflineSystem(root)
//   if (auto key = source.Open(SourceRoot::LocalMachine, "SOFTWARE\\Microsoft\\…\\Uninstall", SourceView::Force32))
//     for (const std::string& name : key->SubKeyNames())
//       if (auto entry = key->Open(name)) entry->ReadString("DisplayName"), entry->LastWriteTime() …
//   for (const SystemUser& user : source.Users()) {
//     const SystemSource asUser = source.ForUser(user);  // HKCU and HKCR are that user's
//     if (auto run = asUser.Open(SourceRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"))
//       … run->Path() ("HKEY_USERS\\S-1-5-21-…\\Software\\…"), run->User()->name …
//   }
//   FileInfo file = source.StatFile(source.Expand("%ProgramFiles%\\App\\app.exe"));
//   file.nowPath (where to open it now), file.lastWriteTime …
//
// Nothing here ever writes: live keys are opened for reading only, hive
// files are read whole (sharing them with every other program) and closed.
// A key, value or file that cannot be read is missing, never an error; what
// could not be read of a system as a whole (a hive not found, damaged, a
// profile refused) is said once in Problems().
//
// Portable: the live system's half is in sysroutines/system_source.h, the
// offline system's in core/offline_system.h.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

enum class SourceRoot { LocalMachine, CurrentUser, ClassesRoot, Users };
// The registry view of a 64-bit Windows: its own, or the one 32-bit
// programs see (most of SOFTWARE under "WOW6432Node").
enum class SourceView { Default, Force64, Force32 };

// "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT", "HKEY_USERS".
const char* SourceRootName(SourceRoot root);
// The full names and the short forms HKLM, HKCU, HKCR, HKU (any case).
std::optional<SourceRoot> SourceRootFromName(std::string_view name);

// A value as stored: its name ("" for the default value), type and bytes.
struct SourceValue {
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

// The texts of a value by the lists' rules (the same as the live registry's
// and the hive reader's): strings as stored (expandable strings unexpanded,
// a multi-string's parts joined by blanks), DWORD and QWORD in decimal,
// anything else as hex bytes.
std::string SourceValueText(const SourceValue& value);
// The string of a value of a string type; nothing for another type.
std::optional<std::string> SourceValueString(const SourceValue& value);
// Every non-empty string of a multi-string value (those behind an empty one too).
std::vector<std::string> SourceMultiStringParts(const SourceValue& value);
// REG_DWORD of 4 bytes (and a 4-byte REG_BINARY, as the live reads take it).
std::optional<uint32_t> SourceValueDword(const SourceValue& value);

// A user of the system looked at.
struct SystemUser {
  // "S-1-5-21-…". A profile found only by its folder whose SID its hives do
  // not tell is named by the folder's name here (sidKnown false).
  std::string sid;
  bool sidKnown = true;
  std::string name;             // live: "DOMAIN\name" where the account is known; else the profile folder's name
  std::string profileFolder;    // as the system names it: "C:\Users\bob" (empty when unknown)
  std::string hiveFile;         // the user's NTUSER.DAT where it is now (empty when none is known)
  std::string classesHiveFile;  // UsrClass.dat where it is now (empty when none)
  bool loggedOn = false;        // live: the user's hive is loaded (HKEY_USERS\<SID>)
  bool current = false;         // the user this program runs as
  bool serviceAccount = false;  // LocalSystem, LocalService, NetworkService
  bool inProfileList = true;    // false: found by its folder only
};

// A file or folder of the system looked at.
struct FileInfo {
  bool exists = false;
  bool folder = false;
  uint64_t size = 0;
  uint64_t creationTime = 0;   // FILETIME (100 ns since 1601, UTC); 0 when unknown
  uint64_t lastWriteTime = 0;  // FILETIME; 0 when unknown
  // Where it is now (live: the path itself; offline: under the root);
  // empty when the path cannot be mapped (then refused says why).
  std::string nowPath;
  std::string refused;
};

// Where the system keeps what all its users share, as the system names it.
struct SystemFolders {
  std::string systemDrive;      // "C:"
  std::string windows;          // "C:\Windows"
  std::string system32;         // "C:\Windows\System32"
  std::string programFiles;     // "C:\Program Files"
  std::string programFilesX86;  // "C:\Program Files (x86)" (empty on a 32-bit system)
  std::string programData;      // "C:\ProgramData"
  std::string profiles;         // "C:\Users"
};

// What a backend gives for one key.
class SourceKeyNode {
 public:
  virtual ~SourceKeyNode() = default;
  // whole: false when the list stopped at an entry that could not be read.
  virtual std::vector<std::string> SubKeyNames(bool& whole) const = 0;
  virtual std::vector<SourceValue> Values(bool& whole) const = 0;
  virtual std::optional<SourceValue> Read(std::string_view name) const = 0;
  virtual uint64_t LastWriteTime() const = 0;  // FILETIME; 0 when unknown
  // A sub-key by its name, when the node can tell it alone (its children
  // are where the path says: no view, link or other hive between); handled
  // false to have the backend open the whole path instead.
  virtual std::shared_ptr<const SourceKeyNode> Child(std::string_view name, bool& handled) const {
    (void)name;
    handled = false;
    return nullptr;
  }
};

class SourceBackend;

// A key opened for reading through a source.
class SourceKey {
 public:
  // The key as the lists show it: "HKEY_LOCAL_MACHINE\SOFTWARE\…",
  // "HKEY_CURRENT_USER\…" (the user this program runs as, live),
  // "HKEY_USERS\<SID>\…" (another user, or any user offline),
  // "HKEY_CLASSES_ROOT\…". The path as asked (CurrentControlSet stays
  // CurrentControlSet).
  const std::string& Path() const { return text_; }
  SourceRoot Root() const { return root_; }
  // The path below the root, as asked.
  const std::string& SubPath() const { return path_; }
  SourceView View() const { return view_; }
  // The user whose hive holds the key; null for the machine's keys.
  const SystemUser* User() const { return user_.get(); }

  // In the order the source lists them (live: the registry's; offline: the
  // hive's, which is sorted by upper-case name). whole (when given): false
  // when the list stopped at an entry that could not be read.
  std::vector<std::string> SubKeyNames(bool* whole = nullptr) const;
  std::vector<SourceValue> Values(bool* whole = nullptr) const;
  std::vector<std::string> ValueNames() const;
  // "" = the default value; compared without regard to case.
  std::optional<SourceValue> Read(std::string_view name) const;
  bool HasValue(std::string_view name) const { return Read(name).has_value(); }
  // The text of a value of a string type (SourceValueString).
  std::optional<std::string> ReadString(std::string_view name) const;
  // The text of any value by the lists' rules (SourceValueText).
  std::optional<std::string> ReadText(std::string_view name) const;
  std::optional<uint32_t> ReadDword(std::string_view name) const;

  // When the key last changed: a FILETIME, 0 when unknown; as ISO 8601 UTC
  // ("2024-05-01T12:34:56Z", "" when unknown).
  uint64_t LastWriteTime() const;
  std::string LastWriteText() const;

  // A key below this one (names separated by backslashes), in the same
  // view, for the same user.
  std::optional<SourceKey> Open(std::string_view subPath) const;

 private:
  friend class SystemSource;
  std::shared_ptr<const SourceKeyNode> node_;
  std::shared_ptr<const SourceBackend> backend_;
  std::shared_ptr<const SystemUser> user_;
  SourceRoot root_ = SourceRoot::LocalMachine;
  SourceView view_ = SourceView::Default;
  std::string path_;
  std::string text_;
};

// What a kind of system provides (live or offline); SystemSource is the
// handle scanners hold.
class SourceBackend {
 public:
  virtual ~SourceBackend() = default;
  virtual bool IsLive() const = 0;
  // "this PC", or the offline system's root.
  virtual std::string Description() const = 0;
  // A key; user: whose HKEY_CURRENT_USER and HKEY_CLASSES_ROOT are read
  // (null: the default user, live the one this program runs as, offline
  // none). path is clean: no leading, trailing or doubled backslashes.
  virtual std::shared_ptr<const SourceKeyNode> OpenKey(SourceRoot root, const SystemUser* user, std::string_view path,
                                                       SourceView view) const = 0;
  virtual std::vector<SystemUser> Users() const = 0;
  // The user HKEY_CURRENT_USER is when no other is chosen (live: this
  // program's; offline: nobody).
  virtual std::optional<SystemUser> DefaultUser() const = 0;
  virtual std::vector<std::string> Problems() const = 0;
  // %VARIABLES% replaced with the system's environment (and the user's,
  // when one is given).
  virtual std::string Expand(std::string_view text, const SystemUser* user) const = 0;
  virtual SystemFolders Folders() const = 0;
  // Where a path the system names is now; nothing (and why) when it cannot
  // be mapped.
  virtual std::optional<std::string> PathNow(std::string_view systemPath, std::string& why) const = 0;
  // The path the system gives a file found now at nowPath (the reverse of
  // PathNow); nothing when nowPath is not on the system's volume.
  virtual std::optional<std::string> SystemPathOf(std::string_view nowPath) const = 0;
  virtual FileInfo StatFile(std::string_view systemPath) const = 0;
  // The names of a folder's entries (files and folders), at most limit.
  virtual std::vector<std::string> ListFolder(std::string_view systemPath, std::size_t limit) const = 0;
};

class SystemSource {
 public:
  explicit SystemSource(std::shared_ptr<const SourceBackend> backend);

  bool IsLive() const { return backend_->IsLive(); }
  std::string Description() const { return backend_->Description(); }

  // A key for reading; nothing when it is missing or cannot be read. path
  // is below the root; leading, trailing and doubled backslashes are
  // ignored. SourceRoot::CurrentUser (and the user's half of
  // SourceRoot::ClassesRoot) read the chosen user: this program's own live,
  // nobody offline unless ForUser chose one.
  std::optional<SourceKey> Open(SourceRoot root, std::string_view path, SourceView view = SourceView::Default) const;
  bool Exists(SourceRoot root, std::string_view path, SourceView view = SourceView::Default) const;
  // One value by its key's path; nothing when the key or value is missing.
  std::optional<SourceValue> ReadValue(SourceRoot root, std::string_view path, std::string_view name,
                                       SourceView view = SourceView::Default) const;
  // Its text when it is of a string type (expandable strings unexpanded).
  std::optional<std::string> ReadString(SourceRoot root, std::string_view path, std::string_view name,
                                        SourceView view = SourceView::Default) const;

  // The users of the system: live, every profile the machine lists and
  // every hive loaded (logged on or not); offline, every profile of its
  // profile list (or of its profiles folder, when that cannot be read).
  std::vector<SystemUser> Users() const { return backend_->Users(); }
  // The same source with HKEY_CURRENT_USER (and the user's classes in
  // HKEY_CLASSES_ROOT) read from that user's hives.
  SystemSource ForUser(const SystemUser& user) const;
  // The user HKEY_CURRENT_USER is read from; nothing when none is.
  const SystemUser* User() const { return user_.get(); }

  // What could not be read of the system, each said once: hives missing
  // or damaged, profiles refused, logs applied to dirty hives.
  std::vector<std::string> Problems() const { return backend_->Problems(); }

  // The system's environment (the chosen user's included) applied to a text
  // as Windows applies it: "%NAME%" replaced where the variable is known.
  std::string Expand(std::string_view text) const { return backend_->Expand(text, user_.get()); }
  SystemFolders Folders() const { return backend_->Folders(); }
  // Where a file the system names by a full path is now: live the path
  // itself; offline under the root, never outside it (a path on another
  // drive of that system, or leading out of the root through a link, is
  // refused and why says so).
  std::optional<std::string> PathNow(std::string_view systemPath, std::string* why = nullptr) const;
  std::optional<std::string> SystemPathOf(std::string_view nowPath) const { return backend_->SystemPathOf(nowPath); }
  // Whether a file is there, its size and times, and where it is now.
  FileInfo StatFile(std::string_view systemPath) const { return backend_->StatFile(systemPath); }
  std::vector<std::string> ListFolder(std::string_view systemPath, std::size_t limit = 100000) const {
    return backend_->ListFolder(systemPath, limit);
  }

  const std::shared_ptr<const SourceBackend>& Backend() const { return backend_; }

 private:
  std::shared_ptr<const SourceBackend> backend_;
  std::shared_ptr<const SystemUser> user_;
};

// A registry path made clean: "/" kept (it is part of a key name), leading,
// trailing and doubled backslashes dropped.
std::string CleanKeyPath(std::string_view path);

// The key text the lists show for a key of root at path read for user
// (current: the user this program runs as).
std::string SourceKeyText(SourceRoot root, std::string_view path, const SystemUser* user);

}  // namespace wl
