// What the two immunization lists hold and the rules that read and change an
// entry's stored value. Portable: the registry is read and written elsewhere
// (immunize/immunity.h); here a stored value is plain data.
//
// Spyware: an ActiveX class is immunized when its "Compatibility Flags" has
// the kill bit (0x400) set; the other bits are the browser's own flags and are
// kept. Sites: a domain is immunized when its "*" value is 4, the restricted
// sites zone; another zone the user chose is never taken away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "refdb/reference_tables.h"

namespace wl {

enum class ImmunityKind { Spyware, Sites };

// Only the first lines of each table are listed.
inline constexpr std::size_t kImmunityListed = 200;
inline constexpr uint32_t kKillBit = 0x400;
inline constexpr uint32_t kRestrictedZone = 4;

inline constexpr char kActiveXCompatibilityKey[] = "Software\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\";
inline constexpr char kCompatibilityFlags[] = "Compatibility Flags";
inline constexpr char kZoneMapDomainsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\";
inline constexpr char kAllProtocols[] = "*";

struct ImmunityEntry {
  std::string id;    // class identifier or domain: the text before the first "="
  std::string name;  // name or description of the infection: the text after the last "="
};

// The listed entries: the first kImmunityListed lines of the table (all of
// them when it has fewer).
std::vector<ImmunityEntry> ImmunityEntries(const StringTable& table);

// A value as it was found in the registry.
struct StoredFlag {
  enum class State {
    Missing,     // no key, or no such value
    Number,      // a REG_DWORD
    NotNumber,   // a value of another type or size
    Unreadable,  // the key exists but could not be read
  };
  State state = State::Missing;
  uint32_t value = 0;  // the number, for State::Number
  uint32_t type = 0;   // the registry type, for State::NotNumber
};

bool KillBitSet(const StoredFlag& flag);
bool InRestrictedZone(const StoredFlag& flag);

// What to do with one stored value to reach the wanted state.
struct FlagChange {
  enum class Op {
    Keep,    // already as wanted: nothing is written
    Write,   // write `value` as a REG_DWORD
    Delete,  // delete the value
    Refuse,  // a value that is not a number, or could not be read: left alone
  };
  Op op = Op::Keep;
  uint32_t value = 0;
};

// Sets or clears only the kill bit; the other bits stay.
FlagChange KillBitChange(const StoredFlag& stored, bool immunize);
// Immunizing writes 4 (also over another zone: the user asked for it);
// taking immunity away deletes "*" only when it is 4.
FlagChange ZoneChange(const StoredFlag& stored, bool immunize);

// The indexes whose wanted state differs from the stored one, and among them
// how many would lose their immunity.
struct ImmunityPlan {
  std::vector<std::size_t> changed;
  std::size_t clearing = 0;
};
ImmunityPlan PlanImmunity(const std::vector<bool>& stored, const std::vector<bool>& wanted);

// "Immunized" + 22 blanks or "Unimmunized" + 18 blanks, then the name.
std::string ImmunityItemText(bool immunized, const std::string& name);
// "Status(N Immunized)".
std::string ImmunityStatusHeader(std::size_t immunized);
// "Item Name(Total N)": N is the number of entries listed.
std::string SpywareItemHeader(std::size_t listed);
// "Website Address(Total N)": N counts every line of Site.db.
std::string SiteItemHeader(std::size_t tableLines);
// "Immunized" or "Unimmunized".
const char* ImmunityWord(bool immunized);

}  // namespace wl
