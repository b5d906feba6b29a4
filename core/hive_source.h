// The pieces a source of keys builds from hive files: how files are read
// (sharing them with every other program), hives loaded with their logs,
// hive keys and merged class keys as a source's keys, the 32-bit view of a
// 64-bit Windows, and the SID a user's hives tell.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/hive.h"
#include "core/system_source.h"

namespace wl {

// How the files of a system are read. The portable one below uses the
// standard library; the Windows build gives one that opens each file
// sharing reading, writing and deleting with every other program and asks
// the system where links lead.
class FileAccess {
 public:
  virtual ~FileAccess() = default;
  // The whole file (at most limit bytes); nothing, with error set, when it
  // cannot be read (missing, a folder, denied, held without sharing).
  virtual std::optional<std::string> ReadWhole(const std::string& path, uint64_t limit, std::string& error) const = 0;
  // exists, folder, size and times (nowPath is left to the caller).
  virtual FileInfo Stat(const std::string& path) const = 0;
  // The names in a folder (files and folders, no "." or ".."), at most limit.
  virtual std::vector<std::string> List(const std::string& folder, std::size_t limit) const = 0;
  // Where an existing path leads once every link and junction on the way
  // is followed; "" when it does not exist or cannot be told.
  virtual std::string FinalPath(const std::string& path) const = 0;
  // Whether the file system compares names without regard to case (else
  // a name is matched against the folder's listing as Windows would).
  virtual bool CaseInsensitive() const = 0;
  // The separator of the paths it takes.
  virtual char Separator() const = 0;
};

// Standard-library file access: creation times unknown, names matched
// without regard to case on file systems that tell case apart.
std::shared_ptr<const FileAccess> PortableFileAccess();

// A hive read through files with its transaction logs (FILE.LOG1,
// FILE.LOG2, FILE.LOG beside it) applied when it is dirty and applyLogs.
// label names it in problems ("SYSTEM", "NTUSER.DAT of bob"). Nothing when
// the file is missing or unreadable or no hive (each said in problems); a
// dirty hive is returned and what its logs did said there too.
std::optional<hive::Hive> LoadHive(const FileAccess& files, const std::string& path, const std::string& label,
                                   bool applyLogs, std::vector<std::string>& problems);
// What was found damaged in a hive so far, as one line ("" when nothing):
// "SYSTEM (D:\…\SYSTEM) is damaged; what can be read is read: … (and 3 more)".
std::string HiveDamageText(const hive::Hive& hive, const std::string& label, const std::string& path);

// A hive key as a source's key. hive: the hive it belongs to (kept alive).
// plainChildren: its sub-keys (and theirs) are read where the hive has them
// (no view or other hive between; links are still left to the backend).
std::shared_ptr<const SourceKeyNode> HiveKeyNode(const hive::Hive& hive, const hive::Key& key,
                                                 bool plainChildren = false);

// Where a path below a hive's root leads, following the hive's symbolic
// links (a key with a SymbolicLinkValue "\REGISTRY\MACHINE\…" or
// "\REGISTRY\USER\…") through follow(root, path) for a target outside the
// part walked. Nothing when the key is missing.
using LinkFollower = std::function<std::shared_ptr<const SourceKeyNode>(SourceRoot root, const std::string& path)>;
std::shared_ptr<const SourceKeyNode> OpenHiveKey(const hive::Hive& hive, std::string_view path,
                                                 const LinkFollower& follow = {}, bool plainChildren = false);

// HKEY_CLASSES_ROOT as Windows merges it: a key the user's classes hold is
// read from there (its values), else from the machine's; its sub-keys are
// those of both (the user's first, each name once). Either may be null;
// null when both are.
std::shared_ptr<const SourceKeyNode> MergedClassesNode(std::shared_ptr<const SourceKeyNode> user,
                                                       std::shared_ptr<const SourceKeyNode> machine);

// A key that only lists names (a root of several hives).
std::shared_ptr<const SourceKeyNode> ListingNode(std::vector<std::string> subKeyNames);

// The 32-bit view of a 64-bit Windows: where a path below SOFTWARE (or
// below a Classes key, classes true) is for 32-bit programs. Keys Windows
// shares between the views stay where they are; the others move under
// "WOW6432Node" (below Classes only CLSID, Interface, DirectShow, Media Type
// and MediaFoundation move). A path already under WOW6432Node stays.
std::string Wow64Path(std::string_view path, bool classes);
// Whether Wow64Path moves it.
bool Wow64Redirected(std::string_view path, bool classes);

// A SID as text from its binary form ("S-1-5-21-…"); "" when the bytes are
// no SID.
std::string SidText(const uint8_t* bytes, std::size_t size);
// Whether text has the form of a SID ("S-1-" then numbers separated by "-").
bool LooksLikeSid(std::string_view text);
// The SID of the user a profile's hives belong to: the name UsrClass.dat's
// root has ("S-1-5-21-…_Classes"), else the account SID (S-1-5-21-…) that
// the access list of NTUSER.DAT's root grants to; "" when neither tells.
std::string SidOfUserHives(const hive::Hive* ntuser, const hive::Hive* usrClass);

}  // namespace wl
