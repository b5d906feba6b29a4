// The immunization status of the listed entries in the registry, and Apply:
// the system side of the two immunization dialogs and of `wlscan immunity`.
//
// Spyware kill bits live under HKEY_LOCAL_MACHINE in both registry views: the
// 32-bit browser reads the 32-bit view, the 64-bit one the 64-bit view. A
// class is immunized when both views have the bit; Apply writes both. Sites
// live under HKEY_CURRENT_USER. Every write goes through system_write.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "immunize/immunity_rules.h"
#include "win32/registry.h"

namespace wl {

HKEY ImmunityRoot(ImmunityKind kind);
std::string ImmunityKeyPath(ImmunityKind kind, const std::string& id);
const char* ImmunityValueName(ImmunityKind kind);
// The views an entry is read and written in.
std::vector<win32::RegView> ImmunityViews(ImmunityKind kind);

// The entry's value in one view. A key that cannot be opened for another
// reason than being missing reads as Unreadable.
StoredFlag ReadStoredFlag(ImmunityKind kind, const std::string& id, win32::RegView view);
bool ReadImmunized(ImmunityKind kind, const std::string& id);

// The status of each entry, read only: a missing key or value, or a key that
// cannot be read, reads as not immunized, and loading goes on. Nothing is
// created; only applying writes.
std::vector<bool> LoadImmunity(ImmunityKind kind, const std::vector<ImmunityEntry>& entries);

struct ImmunityFailure {
  std::string id;
  std::string reason;
};

struct ImmunityApplyResult {
  std::size_t changed = 0;  // entries whose change was made in full
  std::vector<ImmunityFailure> failures;
  bool ok() const { return failures.empty(); }
};

// Makes the entries whose wanted state differs from the stored one reach it;
// every other entry is left untouched. stored and wanted run parallel to
// entries.
ImmunityApplyResult ApplyImmunity(ImmunityKind kind, const std::vector<ImmunityEntry>& entries,
                                  const std::vector<bool>& stored, const std::vector<bool>& wanted);

// "N changes failed" and the first reasons, one a line, for the status bar
// (first line) and the closing message.
std::string ImmunityFailureText(const ImmunityApplyResult& result, std::size_t maxReasons = 10);

}  // namespace wl
