#include "immunize/immunity.h"

#include "sysroutines/system_write.h"
#include "win32/system_error.h"

namespace wl {

using win32::RegKey;
using win32::RegView;

HKEY ImmunityRoot(ImmunityKind kind) {
  return kind == ImmunityKind::Spyware ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string ImmunityKeyPath(ImmunityKind kind, const std::string& id) {
  return (kind == ImmunityKind::Spyware ? kActiveXCompatibilityKey : kZoneMapDomainsKey) + id;
}

const char* ImmunityValueName(ImmunityKind kind) {
  return kind == ImmunityKind::Spyware ? kCompatibilityFlags : kAllProtocols;
}

std::vector<RegView> ImmunityViews(ImmunityKind kind) {
  if (kind == ImmunityKind::Spyware) return {RegView::Force64, RegView::Force32};
  return {RegView::Default};
}

namespace {

// An identifier that would name another key (empty, or with a path
// separator) is never read or written.
bool UsableId(const std::string& id) { return !id.empty() && id.find('\\') == std::string::npos; }

std::string RegTypeName(uint32_t type) {
  switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_QWORD: return "REG_QWORD";
    case REG_DWORD: return "REG_DWORD";
    default: return "type " + std::to_string(type);
  }
}

std::string ViewText(RegView view) {
  return view == RegView::Force32 ? " (32-bit view)" : view == RegView::Force64 ? " (64-bit view)" : "";
}

}  // namespace

StoredFlag ReadStoredFlag(ImmunityKind kind, const std::string& id, RegView view) {
  StoredFlag flag;
  if (!UsableId(id)) return flag;
  LONG error = ERROR_SUCCESS;
  auto key = RegKey::Open(ImmunityRoot(kind), ImmunityKeyPath(kind, id), KEY_QUERY_VALUE, view, &error);
  if (!key) {
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) flag.state = StoredFlag::State::Unreadable;
    return flag;
  }
  const auto value = key->Read(ImmunityValueName(kind));
  if (!value) return flag;
  if (value->type == REG_DWORD && value->data.size() == 4) {
    flag.state = StoredFlag::State::Number;
    flag.value = static_cast<uint32_t>(value->data[0]) | static_cast<uint32_t>(value->data[1]) << 8 |
                 static_cast<uint32_t>(value->data[2]) << 16 | static_cast<uint32_t>(value->data[3]) << 24;
  } else {
    flag.state = StoredFlag::State::NotNumber;
    flag.type = value->type;
  }
  return flag;
}

bool ReadImmunized(ImmunityKind kind, const std::string& id) {
  for (RegView view : ImmunityViews(kind)) {
    const StoredFlag flag = ReadStoredFlag(kind, id, view);
    if (!(kind == ImmunityKind::Spyware ? KillBitSet(flag) : InRestrictedZone(flag))) return false;
  }
  return true;
}

std::vector<bool> LoadImmunity(ImmunityKind kind, const std::vector<ImmunityEntry>& entries) {
  std::vector<bool> status;
  status.reserve(entries.size());
  for (const auto& e : entries) status.push_back(ReadImmunized(kind, e.id));
  return status;
}

ImmunityApplyResult ApplyImmunity(ImmunityKind kind, const std::vector<ImmunityEntry>& entries,
                                  const std::vector<bool>& stored, const std::vector<bool>& wanted) {
  ImmunityApplyResult result;
  const HKEY root = ImmunityRoot(kind);
  const char* valueName = ImmunityValueName(kind);
  for (std::size_t i : PlanImmunity(stored, wanted).changed) {
    if (i >= entries.size()) break;
    const ImmunityEntry& entry = entries[i];
    if (!UsableId(entry.id)) {
      result.failures.push_back({entry.id, "\"" + entry.id + "\" is not a key name; nothing was changed."});
      continue;
    }
    const std::string path = ImmunityKeyPath(kind, entry.id);
    const std::string keyText = std::string(win32::RootName(root)) + "\\" + path;
    std::string failure;  // the first reason this entry's change failed
    for (RegView view : ImmunityViews(kind)) {
      const StoredFlag flag = ReadStoredFlag(kind, entry.id, view);
      const FlagChange change = kind == ImmunityKind::Spyware ? KillBitChange(flag, wanted[i]) : ZoneChange(flag, wanted[i]);
      WriteResult written;
      switch (change.op) {
        case FlagChange::Op::Keep: continue;
        case FlagChange::Op::Write: written = WriteRegDword(root, path, valueName, change.value, view); break;
        case FlagChange::Op::Delete: written = DeleteRegValue(root, path, valueName, view); break;
        case FlagChange::Op::Refuse:
          written.error = ERROR_INVALID_DATA;
          written.message = flag.state == StoredFlag::State::NotNumber
                                ? "The value \"" + std::string(valueName) + "\" of " + keyText + ViewText(view) +
                                      " is not a number (" + RegTypeName(flag.type) + "); it was left unchanged."
                                : "The key " + keyText + ViewText(view) + " could not be read; it was left unchanged.";
          break;
      }
      if (!written && failure.empty())
        failure = written.message.empty() ? win32::SystemErrorText(written.error) : written.message;
    }
    if (failure.empty())
      ++result.changed;
    else
      result.failures.push_back({entry.id, failure});
  }
  return result;
}

std::string ImmunityFailureText(const ImmunityApplyResult& result, std::size_t maxReasons) {
  if (result.ok()) return {};
  const std::size_t n = result.failures.size();
  std::string text = std::to_string(n) + (n == 1 ? " change failed." : " changes failed.");
  for (std::size_t i = 0; i < n && i < maxReasons; ++i) text += "\r\n" + result.failures[i].reason;
  if (n > maxReasons) text += "\r\n…";
  return text;
}

}  // namespace wl
