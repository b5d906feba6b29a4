#include "autorun/autorun_actions.h"

#include "process/operate_process.h"
#include "sysroutines/system_info.h"
#include "sysroutines/text_routines.h"
#include "win32/file_path.h"

namespace wl {
namespace {

// Already gone counts as removed.
bool GoneOrRemoved(const WriteResult& result) { return result.ok() || result.NotFound(); }

void RemoveProgramFile(const AutorunRow& row, RemovalOutcome& out) {
  // End the program first, matched by the file name of its program path, so
  // that quotes and arguments in the text do not defeat the match.
  const std::string program = ExtractExecutablePath(row.value);
  const std::string fileName = TextAfterLastChar(program, '\\');
  if (!fileName.empty()) TerminateProcessByName(fileName);

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

void RemoveEntry(const AutorunRow& row, const AutorunPlaces& places, RemovalOutcome& out) {
  WriteResult result;
  switch (EntryKindOf(row.registryKey)) {
    case AutorunEntryKind::RegistryValue:
      result = CanRestoreDefault(row) ? RestoreAutorunDefault(row)
                                      : DeleteRegistryValuePath(row.registryKey, RowValueName(row));
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
    case AutorunEntryKind::Other: break;
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
  const std::string& text = row.registryKey;
  const auto slash = text.find('\\');
  const auto root = win32::RootFromName(text.substr(0, slash));
  if (!root || slash == std::string::npos || (*root != HKEY_CURRENT_USER && *root != HKEY_LOCAL_MACHINE))
    return {ERROR_INVALID_PARAMETER, "Could not restore the value of " + text + ": it is no key of the user or the machine."};
  return WriteRegString(*root, std::string_view(text).substr(slash + 1), RowValueName(row), *row.defaultValue);
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
