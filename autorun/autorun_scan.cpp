#include "autorun/autorun_scan.h"

#include <unordered_map>

#include "sysroutines/shortcuts.h"
#include "sysroutines/system_info.h"
#include "sysroutines/text_routines.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;

void AddIniRow(std::vector<AutorunRow>& rows, const std::string& value, const char* keyText, int source) {
  if (value.empty()) return;
  AutorunRow row;
  row.itemName = value;
  row.value = value;
  row.registryKey = keyText;
  row.source = source;
  row.iconText = value;
  rows.push_back(std::move(row));
}

void AddShortcutRows(std::vector<AutorunRow>& rows, const std::string& folder, const char* keyText, int source) {
  if (folder.empty()) return;
  for (auto& shortcut : ListShortcutsIn(folder)) {
    AutorunRow row;
    row.itemName = std::move(shortcut.name);
    row.value = std::move(shortcut.text);
    row.registryKey = keyText;
    row.source = source;
    row.iconText = TrimUpToChar(row.value, ' ');
    rows.push_back(std::move(row));
  }
}

AutorunRow HookRow(const HookSource& source, std::string itemName, std::string data, std::string keyText) {
  AutorunRow row;
  row.itemName = std::move(itemName);
  row.value = std::move(data);
  row.registryKey = std::move(keyText);
  row.source = source.number;
  row.iconText = row.value;
  if (source.rule == HookRule::SubKeyValue || source.rule == HookRule::SubKeyNonSystem)
    row.valueName = std::string(source.valueName);
  // A replaced shell or a debugger put before a program is a hijack whatever
  // the program it names.
  row.alwaysFlag = source.rule == HookRule::NotDefault || source.rule == HookRule::SubKeyValue;
  return row;
}

std::string StringData(const std::optional<win32::RegValue>& value) {
  if (!value) return {};
  return win32::RegValueString(*value).value_or(std::string());
}

}  // namespace

TaskListing ListTasksOfThisSystem() { return ListScheduledTasks(); }

std::string ComServerOf(const std::string& classId) {
  // A class identifier is one key name: anything else names no class.
  if (classId.empty() || classId.find('\\') != std::string::npos) return {};
  for (const char* server : {"InprocServer32", "LocalServer32"}) {
    auto key = RegKey::Open(HKEY_CLASSES_ROOT, "CLSID\\" + classId + "\\" + server, KEY_READ);
    if (!key) continue;
    std::string path = StringData(key->Read(""));
    if (!path.empty()) return path;
  }
  return {};
}

void ReadHookSource(const HookSource& source, const SourceKeyOpener& openKey, std::string_view systemRoot,
                    std::vector<AutorunRow>& rows) {
  const HKEY root = source.root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const std::string valueName(source.valueName);
  const std::size_t first = rows.size();
  const std::vector<std::string> keyPaths = HookKeyPaths(source);
  for (std::size_t view = 0; view < keyPaths.size(); ++view) {
    const std::string& keyPath = keyPaths[view];
    const std::size_t viewFirst = rows.size();
    std::string_view open = keyPath;
    while (!open.empty() && open.front() == '\\') open.remove_prefix(1);
    while (!open.empty() && open.back() == '\\') open.remove_suffix(1);
    auto key = openKey(root, std::string(open));
    if (!key) continue;
    const std::string keyText = HookKeyText(source.root, keyPath);
    switch (source.rule) {
      case HookRule::StringValues:
        for (auto& value : key->Values()) {
          if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;
          std::string data = win32::RegValueText(value);
          if (TrimUpToChar(data, ' ').empty()) continue;
          rows.push_back(HookRow(source, std::move(value.name), std::move(data), keyText));
        }
        break;
      case HookRule::NamedValue:
      case HookRule::NotDefault: {
        std::string data = StringData(key->Read(valueName));
        if (TrimUpToChar(data, ' ').empty()) continue;
        if (source.rule == HookRule::NotDefault && IsHookDefault(source.byDefault, data, systemRoot)) continue;
        AutorunRow row = HookRow(source, valueName, std::move(data), keyText);
        if (!source.detailValue.empty()) {
          const std::string detail(source.detailValue);
          const auto shown = key->Read(detail);
          row.details = detail + (shown ? " = " + win32::RegValueText(*shown) : " is not set") + ".";
        }
        rows.push_back(std::move(row));
        break;
      }
      case HookRule::SubKeyValue:
      case HookRule::SubKeyNonSystem:
        for (const std::string& name : key->SubKeyNames()) {
          auto sub = openKey(root, std::string(open) + "\\" + name);
          if (!sub) continue;
          std::string data = StringData(sub->Read(valueName));
          if (TrimUpToChar(data, ' ').empty()) continue;
          if (source.rule == HookRule::SubKeyNonSystem && IsSystemProgram(data, systemRoot)) continue;
          std::string itemName = name;
          if (source.rule == HookRule::SubKeyNonSystem) {
            const std::string title = StringData(sub->Read(""));
            if (!TrimUpToChar(title, ' ').empty()) itemName = title;
          }
          rows.push_back(HookRow(source, std::move(itemName), std::move(data), keyText + name + "\\"));
        }
        break;
    }
    // A key the views share shows its values under both names: what the
    // 32-bit twin repeats of the 64-bit key is listed once.
    if (view > 0) {
      auto repeated = [&](const AutorunRow& twin) {
        for (std::size_t i = first; i < viewFirst; ++i)
          if (rows[i].itemName == twin.itemName && rows[i].value == twin.value &&
              rows[i].valueName == twin.valueName)
            return true;
        return false;
      };
      std::size_t kept = viewFirst;
      for (std::size_t i = viewFirst; i < rows.size(); ++i) {
        if (repeated(rows[i])) continue;
        if (kept != i) rows[kept] = std::move(rows[i]);  // never onto itself: that empties a string
        ++kept;
      }
      rows.resize(kept);
    }
    if (source.removal == HookRemoval::RestoreDefault)
      for (auto it = rows.rbegin(); it != rows.rend() && it->source == source.number; ++it)
        if (it->registryKey.starts_with(keyText)) it->defaultValue = HookDefaultValue(source.byDefault, systemRoot);
  }
}

AutorunPlaces AutorunPlaces::OfThisSystem() {
  AutorunPlaces places;
  places.windowsDir = GetWindowsDir();
  places.userStartupFolder = GetSpecialFolderPath(nullptr, kUserStartupFolder);
  places.commonStartupFolder = GetSpecialFolderPath(nullptr, kCommonStartupFolder);
  places.systemRoot = places.windowsDir;
  return places;
}

std::optional<RegKey> OpenSourceKeyInRegistry(HKEY root, const std::string& path) {
  return RegKey::Open(root, path, KEY_READ);
}

std::string ReadIniValue(const std::string& iniPath, const std::string& section, const std::string& key) {
  const std::wstring file = win32::ApiPath(iniPath);
  const std::wstring wsection = win32::Widen(section);
  const std::wstring wkey = win32::Widen(key);
  std::wstring buf(1024, L'\0');
  for (;;) {
    const DWORD n = GetPrivateProfileStringW(wsection.c_str(), wkey.c_str(), L"", buf.data(),
                                             static_cast<DWORD>(buf.size()), file.c_str());
    // n == size - 1 means the value was cut to fit: ask again with more room.
    if (n + 1 < buf.size() || buf.size() >= (1u << 20)) return win32::Narrow(std::wstring_view(buf.data(), n));
    buf.resize(buf.size() * 4);
  }
}

void ReadRegistrySource(const RegistrySource& source, const SourceKeyOpener& openKey, std::vector<AutorunRow>& rows) {
  const HKEY root = source.root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const std::string path(RegistryOpenPath(source));
  // Read only: a missing key has no rows and stays missing.
  const auto key = openKey(root, path);
  if (!key) return;
  const std::string keyText = RegistryKeyText(source);
  for (auto& value : key->Values()) {
    const bool plainString = value.type == REG_SZ;
    std::string data = win32::RegValueText(value);
    if (!PassesValueRule(source.rule, plainString, data)) continue;
    AutorunRow row;
    row.itemName = std::move(value.name);
    row.value = std::move(data);
    row.registryKey = keyText;
    row.source = source.number;
    row.iconText = row.value;
    row.largeIcon = source.number == 1;
    rows.push_back(std::move(row));
  }
}

AutorunScanResult ScanAutorun(const Judge& judge, const AutorunPlaces& places,
                              const SourceKeyOpener& openKey, const TaskLister& listTasks) {
  AutorunScanResult result;
  // The INI values are read first, their rows added after the registry's.
  const std::string winIniRun = ReadIniValue(places.WinIniPath(), "Windows", "Run");
  const std::string winIniLoad = ReadIniValue(places.WinIniPath(), "Windows", "Load");
  const std::string systemIniShell = ReadIniValue(places.SystemIniPath(), "boot", "shell");

  for (const RegistrySource& source : RegistrySources()) ReadRegistrySource(source, openKey, result.rows);
  AddIniRow(result.rows, winIniRun, kWinIniText, kWinIniRunSource);
  AddIniRow(result.rows, winIniLoad, kWinIniText, kWinIniLoadSource);
  AddIniRow(result.rows, systemIniShell, kSystemIniText, kSystemIniShellSource);
  AddShortcutRows(result.rows, places.userStartupFolder, kStartupMenuText, kUserStartupSource);
  AddShortcutRows(result.rows, places.commonStartupFolder, kCommonStartupMenuText, kCommonStartupSource);

  if (listTasks) {
    std::unordered_map<std::string, std::string> servers;  // class -> its program, each asked once
    const ComServerLookup serverOf = [&servers](const std::string& classId) {
      auto [it, added] = servers.try_emplace(classId);
      if (added) it->second = ComServerOf(classId);
      return it->second;
    };
    for (const ScheduledTask& task : listTasks().tasks)
      for (auto& row : TaskRows(task, serverOf)) result.rows.push_back(std::move(row));
  }
  const std::string systemRoot = places.systemRoot.empty() ? GetWindowsDir() : places.systemRoot;
  const std::size_t firstHook = result.rows.size();
  for (const HookSource& source : HookSources()) ReadHookSource(source, openKey, systemRoot, result.rows);
  MergeHookRows(result.rows, firstHook);

  AnalyzeAutorunRows(result.rows, judge, result.hijack);
  return result;
}

PageText AutorunPageText(const Judge& judge) { return AutorunPageTextOf(ScanAutorun(judge)); }

PageText AutorunPageTextOf(AutorunScanResult scan) {
  PageText text;
  text.header = AutorunListHeader();
  text.keys = {"name", "value", "registryKey", "analysis", "signer", "category"};
  text.rows.reserve(scan.rows.size());
  text.judgements.reserve(scan.rows.size());
  for (const auto& row : scan.rows) {
    text.rows.push_back(AutorunRowText(row));
    text.judgements.push_back(RowJudgementOf(row.judgement));
  }
  text.hijack = std::move(scan.hijack);
  return text;
}

}  // namespace wl
