#include "autorun/autorun_actions.h"

#include <cstring>
#include <optional>

#include "autorun/other_places.h"
#include "process/operate_process.h"
#include "sysroutines/system_info.h"
#include "sysroutines/text_routines.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// Already gone counts as removed.
bool GoneOrRemoved(const WriteResult& result) { return result.ok() || result.NotFound(); }

void RemoveProgramFile(const AutorunRow& row, RemovalOutcome& out) {
  // End the program first: the processes that run the very file the entry
  // starts (quotes and arguments in the text do not defeat the match; a
  // program of that name elsewhere is not it). A program of Windows itself
  // (a host such as rundll32) runs for others too: it is left running.
  const std::string program =
      row.judgement.program.empty() ? ExtractExecutablePath(row.value) : row.judgement.program;
  if (row.judgement.windowsFile) {
    out.programsEnded = "No process was ended: " + TextAfterLastChar(program, '\\') + " is a program of Windows.";
  } else if (!program.empty()) {
    out.programsEnded = EndProcessesOfFile(program).Text();
  }

  // Only a file named exactly by the text is moved.
  if (!IsFullPath(row.value) || !win32::FileExists(row.value)) {
    out.programFileNotRemoved = true;
    return;
  }
  const WriteResult recycled = RecycleFile(row.value);
  if (!recycled.ok()) {
    out.programFileNotRemoved = true;
    out.programFileReason = recycled.message;
  }
}

WriteResult RemoveIniEntry(const AutorunRow& row, const AutorunPlaces& places) {
  std::string path, section, key;
  switch (row.source) {
    case kWinIniRunSource: path = places.WinIniPath(), section = "Windows", key = "Run"; break;
    case kWinIniLoadSource: path = places.WinIniPath(), section = "Windows", key = "Load"; break;
    case kSystemIniShellSource: path = places.SystemIniPath(), section = "boot", key = "shell"; break;
    default: return {};
  }
  // The entry changed since the scan: what the row showed is gone already.
  if (ReadIniValue(path, section, key) != row.value) return {};
  if (row.source == kSystemIniShellSource) return WriteIniValue(path, section, key, kDefaultShell);
  return DeleteIniValue(path, section, key);
}

struct KeyOfText {
  HKEY root = nullptr;
  std::string path;
};

// The key a "HKEY_CURRENT_USER\…" or "HKEY_LOCAL_MACHINE\…" text names.
std::optional<KeyOfText> KeyOf(const std::string& text) {
  const auto slash = text.find('\\');
  if (slash == std::string::npos) return std::nullopt;
  const auto root = win32::RootFromName(text.substr(0, slash));
  if (!root || (*root != HKEY_CURRENT_USER && *root != HKEY_LOCAL_MACHINE && *root != HKEY_USERS))
    return std::nullopt;
  std::string path = text.substr(slash + 1);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return KeyOfText{*root, std::move(path)};
}

std::vector<uint8_t> StringBytes(const std::string& text) {
  const std::wstring wide = win32::Widen(text);
  std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(wide.c_str()),
                             reinterpret_cast<const uint8_t*>(wide.c_str() + wide.size() + 1));
  return bytes;
}

std::vector<uint8_t> MultiStringBytes(const std::vector<std::string>& elements) {
  std::vector<uint8_t> bytes;
  for (const std::string& element : elements) {
    const std::wstring wide = win32::Widen(element);
    bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(wide.c_str()),
                 reinterpret_cast<const uint8_t*>(wide.c_str() + wide.size() + 1));
  }
  bytes.push_back(0), bytes.push_back(0);
  return bytes;
}

std::vector<std::string> ElementsOf(const win32::RegValue& value) {
  std::vector<std::string> elements;
  if (value.type != REG_MULTI_SZ) {
    if (auto text = win32::RegValueString(value); text && !text->empty()) elements.push_back(*text);
    return elements;
  }
  return win32::RegMultiStringParts(value);
}

// Windows Terminal's settings file with "startOnUserLogin" set to false.
WriteResult RemoveTerminalLogon(const AutorunRow& row) {
  win32::UniqueHfile in(CreateFileW(win32::ApiPath(row.filePath).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!in) return {GetLastError(), "Could not read " + row.filePath + "."};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(in.get(), &size) || size.QuadPart > (16 << 20))
    return {ERROR_FILE_TOO_LARGE, "Could not read " + row.filePath + ": it is too large."};
  std::string text(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!text.empty() && !ReadFile(in.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr))
    return {GetLastError(), "Could not read " + row.filePath + "."};
  text.resize(got);
  in.reset();
  const auto changed = TerminalSettingsWithoutLogon(text);
  if (!changed) {
    // Off already (or the setting is gone): nothing to change.
    return {ERROR_FILE_NOT_FOUND, {}};
  }
  return RewriteFile(row.filePath, *changed);
}

void RemoveEntry(const AutorunRow& row, const AutorunPlaces& places, RemovalOutcome& out) {
  WriteResult result;
  switch (row.removal) {
    case AutorunRemoval::Standard: break;
    case AutorunRemoval::TerminalLogon: result = RemoveTerminalLogon(row); break;
    case AutorunRemoval::Service: result = DeleteServiceEntry(row.removalTarget); break;
    case AutorunRemoval::WmiSubscription: result = RemoveWmiSubscription(row.removalTarget); break;
    case AutorunRemoval::TransferJob: result = CancelTransferJob(row.removalTarget); break;
  }
  if (row.removal != AutorunRemoval::Standard) {
    out.entryRemoved = GoneOrRemoved(result);
    if (!out.entryRemoved) out.entryError = result.message;
    return;
  }
  switch (EntryKindOf(row.registryKey)) {
    case AutorunEntryKind::Other:
      // A file found by its place alone: the file is the entry.
      if (!row.filePath.empty()) result = DeleteFileNow(row.filePath);
      break;
    case AutorunEntryKind::RegistryValue:
      if (!row.removeKey.empty()) {
        const auto key = KeyOf(row.removeKey);
        result = key ? DeleteRegTree(key->root, key->path)
                     : WriteResult{ERROR_INVALID_PARAMETER, "Could not delete " + row.removeKey + "."};
      } else if (row.split != ValueSplit::Whole && !row.element.empty()) {
        result = RemoveAutorunElement(row);
      } else {
        const auto key = KeyOf(row.registryKey);
        if (CanRestoreDefault(row))
          result = RestoreAutorunDefault(row);
        else if (key && key->root == HKEY_USERS)  // another user's place
          result = DeleteRegValue(key->root, key->path, RowValueName(row));
        else
          result = DeleteRegistryValuePath(row.registryKey, RowValueName(row));
      }
      break;
    case AutorunEntryKind::ScheduledTask:
      result = row.taskPath.empty() ? WriteResult{ERROR_FILE_NOT_FOUND, {}} : DeleteScheduledTask(row.taskPath);
      break;
    case AutorunEntryKind::UserShortcut:
    case AutorunEntryKind::CommonShortcut: {
      const std::string path = StartupShortcutPath(row, places);
      result = path.empty() ? WriteResult{ERROR_PATH_NOT_FOUND, {}} : DeleteFileNow(path);
      break;
    }
    case AutorunEntryKind::IniEntry: result = RemoveIniEntry(row, places); break;
  }
  out.entryRemoved = GoneOrRemoved(result);
  if (!out.entryRemoved) out.entryError = result.message;
}

}  // namespace

bool CanRestoreDefault(const AutorunRow& row) {
  return row.defaultValue.has_value() && EntryKindOf(row.registryKey) == AutorunEntryKind::RegistryValue;
}

WriteResult RestoreAutorunDefault(const AutorunRow& row) {
  if (!CanRestoreDefault(row)) return {ERROR_INVALID_PARAMETER, "The entry has no default to restore."};
  const auto key = KeyOf(row.registryKey);
  if (!key)
    return {ERROR_INVALID_PARAMETER,
            "Could not restore the value of " + row.registryKey + ": it is no key of a user or the machine."};
  // The default in the value's own type: a list stays a list, a path with
  // variables stays expandable.
  DWORD type = REG_SZ;
  if (auto open = win32::RegKey::Open(key->root, key->path))
    if (auto now = open->Read(RowValueName(row)))
      if (now->type == REG_EXPAND_SZ || now->type == REG_MULTI_SZ) type = now->type;
  if (type == REG_MULTI_SZ)
    return WriteRegData(key->root, key->path, RowValueName(row), type, MultiStringBytes({*row.defaultValue}));
  return WriteRegString(key->root, key->path, RowValueName(row), *row.defaultValue, type);
}

WriteResult RemoveAutorunElement(const AutorunRow& row) {
  const auto key = KeyOf(row.registryKey);
  if (!key || row.element.empty())
    return {ERROR_INVALID_PARAMETER, "Could not change " + row.registryKey + ": it is no list of a user or the machine."};
  const std::string& name = RowValueName(row);
  auto open = win32::RegKey::Open(key->root, key->path);
  const auto now = open ? open->Read(name) : std::nullopt;
  if (!now) return {ERROR_FILE_NOT_FOUND, {}};
  if (now->type == REG_MULTI_SZ) {
    auto rest = ElementsWithout(ElementsOf(*now), row.element);
    if (!rest) return {ERROR_FILE_NOT_FOUND, {}};  // removed already
    // Nothing left of a list Windows needs: its default comes back.
    if (rest->empty() && row.defaultValue && !row.defaultValue->empty()) rest->push_back(*row.defaultValue);
    return WriteRegData(key->root, key->path, name, REG_MULTI_SZ, MultiStringBytes(*rest));
  }
  const auto text = win32::RegValueString(*now);
  if (!text) return {ERROR_INVALID_DATA, "The value \"" + name + "\" in " + row.registryKey + " is no list."};
  std::optional<std::string> rest;
  if (row.split == ValueSplit::MultiString) {
    // A list stored as a plain string: it is one element.
    if (TrimUpToChar(*text, ' ') == TrimUpToChar(row.element, ' ')) rest = std::string();
  } else {
    rest = ListWithout(row.split, *text, row.element);
  }
  if (!rest) return {ERROR_FILE_NOT_FOUND, {}};
  if (SplitHookList(row.split == ValueSplit::MultiString ? ValueSplit::Whole : row.split, *rest).empty() &&
      row.defaultValue)
    rest = *row.defaultValue;
  const DWORD type = now->type == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ;
  return WriteRegData(key->root, key->path, name, type, StringBytes(*rest));
}

WriteResult DisableAutorunTask(const AutorunRow& row) {
  if (!CanDisable(row)) return {ERROR_INVALID_PARAMETER, "The entry is no scheduled task."};
  return DisableScheduledTask(row.taskPath);
}

std::string StartupShortcutPath(const AutorunRow& row, const AutorunPlaces& places) {
  std::string folder;
  switch (EntryKindOf(row.registryKey)) {
    case AutorunEntryKind::UserShortcut: folder = places.userStartupFolder; break;
    case AutorunEntryKind::CommonShortcut: folder = places.commonStartupFolder; break;
    default: return {};
  }
  if (!row.filePath.empty()) return row.filePath;
  if (folder.empty()) return {};
  return folder + "\\" + row.itemName + ".lnk";
}

RemovalOutcome RemoveAutorunItem(const AutorunRow& row, const RemovalChoice& choice, const AutorunPlaces& places) {
  RemovalOutcome out;
  if (choice.deleteProgramFile) RemoveProgramFile(row, out);
  if (choice.deleteEntry) RemoveEntry(row, places, out);
  return out;
}

WriteResult AddProgramToRun(std::string_view programPath) {
  return WriteRegString(HKEY_CURRENT_USER, kUserRunKey, RunValueName(programPath), RunValueData(programPath));
}

}  // namespace wl
