// The environment of a system looked at, as Windows builds it for a logon,
// from that system's own registry (read through a SystemSource): the
// machine's variables (Session Manager's Environment, the system root, the
// program folders, ProgramData and the profiles), then a user's (the
// profile's folders, the user's shell folders and Environment key). The
// volatile part Windows adds at logon is not in a hive: it is made from the
// profile's path as Windows makes it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/system_source.h"

namespace wl {

// "%NAME%" replaced by lookup's value where it knows the name (names
// compare without ASCII case); an unknown "%NAME%" stays as it is, and its
// closing "%" may open the next one; a "%" without a partner stays.
std::string ExpandVariables(std::string_view text, const std::function<const std::string*(std::string_view)>& lookup);

class SystemEnvironment {
 public:
  // Sets (or replaces) a variable; names compare without ASCII case.
  void Set(std::string_view name, std::string value);
  const std::string* Find(std::string_view name) const;
  std::string Get(std::string_view name) const;
  std::string Expand(std::string_view text) const;
  const std::vector<std::pair<std::string, std::string>>& Variables() const { return vars_; }

 private:
  std::vector<std::pair<std::string, std::string>> vars_;
};

// The machine's environment of the system source reads (what every
// process of it starts with), with the defaults of a Windows installed on
// C: where its registry does not say (systemRoot: the Windows folder then).
SystemEnvironment MachineEnvironment(const SystemSource& source, std::string_view systemRoot = "C:\\Windows");

// The folders all users share, from the machine's environment and the
// profile list.
SystemFolders MachineFolders(const SystemSource& source, const SystemEnvironment& machine);

// A user's environment: the machine's, then USERPROFILE, HOMEDRIVE,
// HOMEPATH, USERNAME, APPDATA and LOCALAPPDATA (from the user's shell
// folders where they are set), then the user's own Environment key (its
// Path appended to the machine's). userSource: the source with that user
// chosen (SystemSource::ForUser).
SystemEnvironment UserEnvironment(const SystemSource& userSource, const SystemUser& user,
                                  const SystemEnvironment& machine);

// Where that system looks for a program named without a folder, in order:
// its system folder, its 16-bit system folder, its Windows folder, then
// each folder of its Path (expanded; empty and repeated ones left out) —
// the chosen user's Path when the source has one chosen.
std::vector<std::string> SearchFoldersOf(const SystemSource& source);

// The program App Paths registers on that system for a file name
// ("wordpad.exe"), expanded in its environment; "" when none.
std::string AppPathOf(const SystemSource& source, std::string_view fileName);

// The drive of a full path ("C:" of "C:\Windows"); "" when it has none.
std::string DriveOf(std::string_view path);

}  // namespace wl
