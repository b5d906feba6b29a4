#include "autorun/autorun_scan.h"

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

}  // namespace

AutorunPlaces AutorunPlaces::OfThisSystem() {
  AutorunPlaces places;
  places.windowsDir = GetWindowsDir();
  places.userStartupFolder = GetSpecialFolderPath(nullptr, kUserStartupFolder);
  places.commonStartupFolder = GetSpecialFolderPath(nullptr, kCommonStartupFolder);
  return places;
}

std::optional<RegKey> OpenSourceKeyInRegistry(HKEY root, const std::string& path, bool create) {
  return create ? RegKey::Create(root, path, KEY_READ | KEY_WRITE) : RegKey::Open(root, path, KEY_READ);
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
  std::optional<RegKey> key;
  if (source.createMissing) key = openKey(root, path, true);
  // A key the user may not write to (a machine-wide one for a user without
  // administrative rights) is still listed when it can be read.
  if (!key) key = openKey(root, path, false);
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

AutorunScanResult ScanAutorun(const ReferenceTables& tables, const AutorunPlaces& places,
                              const SourceKeyOpener& openKey) {
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

  AnalyzeAutorunRows(result.rows, tables, places.windowsDir, result.hijack);
  return result;
}

PageText AutorunPageText(const ReferenceTables& tables) {
  AutorunScanResult scan = ScanAutorun(tables);
  PageText text;
  text.header = AutorunListHeader();
  text.keys = {"name", "value", "registryKey", "verdict"};
  text.rows.reserve(scan.rows.size());
  for (const auto& row : scan.rows) text.rows.push_back(AutorunRowText(row));
  text.hijack = std::move(scan.hijack);
  return text;
}

}  // namespace wl
