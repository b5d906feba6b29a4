#include "immunize/immunity_rules.h"

#include <algorithm>

namespace wl {

std::vector<ImmunityEntry> ImmunityEntries(const StringTable& table) {
  std::vector<ImmunityEntry> entries;
  const std::size_t n = std::min(table.Count(), kImmunityListed);
  entries.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string& line = table.Line(i);
    entries.push_back({std::string(StringTable::KeyOf(line)), std::string(StringTable::ValueOf(line))});
  }
  return entries;
}

bool KillBitSet(const StoredFlag& flag) {
  return flag.state == StoredFlag::State::Number && (flag.value & kKillBit) != 0;
}

bool InRestrictedZone(const StoredFlag& flag) {
  return flag.state == StoredFlag::State::Number && flag.value == kRestrictedZone;
}

FlagChange KillBitChange(const StoredFlag& stored, bool immunize) {
  using State = StoredFlag::State;
  using Op = FlagChange::Op;
  switch (stored.state) {
    case State::Missing: return immunize ? FlagChange{Op::Write, kKillBit} : FlagChange{};
    case State::Number:
      if (immunize == ((stored.value & kKillBit) != 0)) return {};
      return {Op::Write, immunize ? stored.value | kKillBit : stored.value & ~kKillBit};
    case State::NotNumber:
    case State::Unreadable: return immunize ? FlagChange{Op::Refuse, 0} : FlagChange{};
  }
  return {};
}

FlagChange ZoneChange(const StoredFlag& stored, bool immunize) {
  using State = StoredFlag::State;
  using Op = FlagChange::Op;
  switch (stored.state) {
    case State::Missing: return immunize ? FlagChange{Op::Write, kRestrictedZone} : FlagChange{};
    case State::Number:
      if (stored.value == kRestrictedZone) return immunize ? FlagChange{} : FlagChange{Op::Delete, 0};
      return immunize ? FlagChange{Op::Write, kRestrictedZone} : FlagChange{};
    case State::NotNumber:
    case State::Unreadable: return immunize ? FlagChange{Op::Refuse, 0} : FlagChange{};
  }
  return {};
}

ImmunityPlan PlanImmunity(const std::vector<bool>& stored, const std::vector<bool>& wanted) {
  ImmunityPlan plan;
  const std::size_t n = std::min(stored.size(), wanted.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (stored[i] == wanted[i]) continue;
    plan.changed.push_back(i);
    if (stored[i]) ++plan.clearing;
  }
  return plan;
}

const char* ImmunityWord(bool immunized) { return immunized ? "Immunized" : "Unimmunized"; }

std::string ImmunityItemText(bool immunized, const std::string& name) {
  return (immunized ? std::string("Immunized") + std::string(22, ' ') : std::string("Unimmunized") + std::string(18, ' ')) +
         name;
}

std::string ImmunityStatusHeader(std::size_t immunized) {
  return "Status(" + std::to_string(immunized) + " Immunized)";
}

std::string SpywareItemHeader(std::size_t listed) { return "Item Name(Total " + std::to_string(listed) + ")"; }

std::string SiteItemHeader(std::size_t tableLines) {
  return "Website Address(Total " + std::to_string(tableLines) + ")";
}

}  // namespace wl
