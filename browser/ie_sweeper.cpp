#include "browser/ie_sweeper.h"

#include "sysroutines/system_info.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::RegKey;
using win32::RegView;

std::string Expanded(const std::string& text) {
  if (text.find('%') == std::string::npos) return text;
  const std::wstring in = win32::Widen(text);
  const DWORD n = ExpandEnvironmentStringsW(in.c_str(), nullptr, 0);
  if (n == 0) return text;
  std::wstring out(n, L'\0');
  const DWORD m = ExpandEnvironmentStringsW(in.c_str(), out.data(), n);
  if (m == 0 || m > n) return text;
  out.resize(m - 1);
  return win32::Narrow(out);
}

std::string SystemFolder(bool wow64) {
  wchar_t buf[MAX_PATH] = {};
  const UINT n = wow64 ? GetSystemWow64DirectoryW(buf, MAX_PATH) : GetSystemDirectoryW(buf, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : win32::Narrow(std::wstring(buf, n));
}

// A deletion of something that is not there says so without touching
// anything else.
WriteResult NotThere(const std::string& what) {
  WriteResult r;
  r.error = ERROR_FILE_NOT_FOUND;
  r.message = what + " does not exist.";
  return r;
}

}  // namespace

void TIESweeper::EnumMenuExt() {
  std::vector<std::string> names;
  {
    const auto key = RegKey::Open(places_.menuExtRoot, places_.menuExtKey, KEY_READ);
    if (!key) return;
    names = key->SubKeyNames();
  }
  for (const std::string& name : names) {
    // The key is opened afresh for each entry: a handler may have used the
    // sweeper in between.
    std::string value;
    if (const auto parent = RegKey::Open(places_.menuExtRoot, places_.menuExtKey, KEY_READ))
      if (const auto entry = RegKey::Open(parent->get(), name, KEY_READ))
        if (const auto v = entry->ReadString("")) value = *v;
    if (OnMenuExt) OnMenuExt(*this, name, value);
  }
}

void TIESweeper::EnumToolbars() {
  for (RegView view : places_.machineViews) {
    std::vector<std::string> names;
    if (const auto key = RegKey::Open(places_.machineRoot, places_.toolbarKey, KEY_READ, view))
      names = key->ValueNames();
    for (const std::string& name : names)
      if (OnToolbar) OnToolbar(*this, name, view);
  }
}

void TIESweeper::EnumExtensions() {
  for (RegView view : places_.machineViews) {
    std::vector<std::string> names;
    if (const auto key = RegKey::Open(places_.machineRoot, places_.extensionsKey, KEY_READ, view))
      names = key->SubKeyNames();
    for (const std::string& name : names)
      if (OnExtension) OnExtension(*this, name, view);
  }
}

WriteResult TIESweeper::DeleteMenuExt(const std::string& name) const {
  const std::string path = places_.menuExtKey + "\\" + name;
  if (name.empty() || !RegKey::Exists(places_.menuExtRoot, path))
    return NotThere(std::string(win32::RootName(places_.menuExtRoot)) + "\\" + path);
  return DeleteRegTree(places_.menuExtRoot, path);
}

WriteResult TIESweeper::DeleteToolbar(const std::string& clsid, RegView view) const {
  return DeleteRegValue(places_.machineRoot, places_.toolbarKey, clsid, view);
}

WriteResult TIESweeper::DeleteExtension(const std::string& subKey, RegView view) const {
  const std::string path = places_.extensionsKey + "\\" + subKey;
  if (subKey.empty() || !RegKey::Exists(places_.machineRoot, path, view))
    return NotThere(std::string(win32::RootName(places_.machineRoot)) + "\\" + path);
  return DeleteRegTree(places_.machineRoot, path, view);
}

std::string TIESweeper::ReadClassName(const std::string& clsid, RegView view) const {
  if (clsid.empty()) return {};
  return win32::ReadValueTextAt(places_.classesRoot, places_.classesKey + "\\" + clsid, "", view).value_or("");
}

std::string TIESweeper::ReadInprocServer(const std::string& clsid, RegView view) const {
  if (clsid.empty()) return {};
  const std::string path = places_.classesKey + "\\" + clsid + "\\InprocServer32";
  return win32::ReadValueTextAt(places_.classesRoot, path, "", view).value_or("");
}

std::string TIESweeper::ReadButtonText(const std::string& subKey, RegView view) const {
  const auto key = RegKey::Open(places_.machineRoot, places_.extensionsKey + "\\" + subKey, KEY_READ, view);
  if (!key || subKey.empty()) return {};
  return ToolButtonText(key->ReadString("ButtonText"), key->ReadString("MenuText"));
}

std::string TIESweeper::ReadHotIcon(const std::string& subKey, RegView view) const {
  const auto key = RegKey::Open(places_.machineRoot, places_.extensionsKey + "\\" + subKey, KEY_READ, view);
  if (!key || subKey.empty()) return {};
  const auto value = key->ReadString("HotIcon");
  return value ? *value : std::string();
}

std::string ServerFileInView(const std::string& server, bool wow32) {
  if (server.empty()) return {};
  return ServerPathInView(Expanded(server), wow32, SystemFolder(false), wow32 ? SystemFolder(true) : std::string());
}

std::string ShortServerPath(const std::string& server, RegView view) {
  if (server.empty()) return {};
  return win32::ShortPath(ServerFileInView(server, view == RegView::Force32));
}

IeExtensionScanResult ScanIeExtensions(const ReferenceTables& tables) { return ScanIeExtensions(tables, {}); }

IeExtensionScanResult ScanIeExtensions(const ReferenceTables&, const IeExtensionPlaces& places) {
  IeExtensionScanResult result;
  const std::string windowsDir = GetWindowsDir();
  TIESweeper sweeper(places);
  sweeper.OnMenuExt = [&](TIESweeper&, const std::string& name, const std::string& value) {
    result.rows.push_back(MakeMenuExtRow(name, value));
  };
  sweeper.OnToolbar = [&](TIESweeper& s, const std::string& clsid, RegView view) {
    result.rows.push_back(MakeToolbarRow(clsid, s.ReadClassName(clsid, view),
                                         ShortServerPath(s.ReadInprocServer(clsid, view), view),
                                         view == RegView::Force32, windowsDir));
  };
  sweeper.OnExtension = [&](TIESweeper& s, const std::string& subKey, RegView view) {
    result.rows.push_back(MakeToolButtonRow(subKey, s.ReadButtonText(subKey, view), s.ReadHotIcon(subKey, view),
                                            view == RegView::Force32, windowsDir));
  };
  sweeper.EnumMenuExt();
  sweeper.EnumToolbars();
  sweeper.EnumExtensions();
  for (const auto& row : result.rows) result.hijack.push_back(IeExtensionHijackRow(row));
  return result;
}

WriteResult RemoveIeExtension(const IeExtensionRow& row, const IeExtensionPlaces& places) {
  const TIESweeper sweeper(places);
  const RegView view = row.wow32 ? RegView::Force32 : RegView::Force64;
  switch (IeRemovalFor(row)) {
    case IeRemoval::DeleteExtension: return sweeper.DeleteExtension(row.clsid, view);
    case IeRemoval::UnregisterServer: {
      // The server's own code removes its registration; its class key and
      // the Toolbar value are what it is known to change.
      OutsideChanges known;
      known.keys.push_back(std::string(win32::RootName(places.classesRoot)) + "\\" + places.classesKey + "\\" +
                           row.clsid);
      known.values.emplace_back(std::string(win32::RootName(places.machineRoot)) + "\\" + places.toolbarKey, row.clsid);
      return UnregisterServer(row.filePath, view, known);
    }
    case IeRemoval::DeleteToolbarValue: return sweeper.DeleteToolbar(row.clsid, view);
    case IeRemoval::DeleteMenuExt: return sweeper.DeleteMenuExt(row.itemName);
  }
  return {};
}

PageText IeExtensionsPageText(const Judge& judge) {
  IeExtensionScanResult scan = ScanIeExtensions(judge.Tables());
  JudgeIeExtensions(scan.rows, judge);
  return IeExtensionsPageTextOf(scan);
}

PageText IeExtensionsPageTextOf(const IeExtensionScanResult& scan) {
  PageText text;
  text.header = IeExtensionColumns();
  text.header.push_back("Signer");
  text.keys = {"name", "clsid", "path", "type", "signer"};
  for (const auto& row : scan.rows) {
    text.rows.push_back({row.itemName, row.clsid, row.filePath, row.itemType, row.judgement.signer});
    text.judgements.push_back(RowJudgementOf(row.judgement));
  }
  text.hijack = scan.hijack;
  return text;
}

}  // namespace wl
