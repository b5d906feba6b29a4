#include "sysroutines/shortcuts.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

#include "sysroutines/system_info.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// Far beyond MAX_PATH and the 1024 characters the shell's own dialogs allow.
constexpr int kTextRoom = 32768;

bool EndsWithLnk(const std::wstring& name) {
  return name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".lnk") == 0;
}

}  // namespace

ShortcutTarget ResolveShortcut(std::string_view lnkPath) {
  ShortcutTarget out;
  win32::ComScope com;
  win32::ComPtr<IShellLinkW> link;
  out.result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void());
  if (FAILED(out.result)) return out;
  win32::ComPtr<IPersistFile> file;
  out.result = link->QueryInterface(IID_IPersistFile, file.put_void());
  if (FAILED(out.result)) return out;
  out.result = file->Load(win32::ApiPath(lnkPath).c_str(), STGM_READ);
  if (FAILED(out.result)) return out;

  // The target: from the shortcut's item list, which holds the names as
  // they are; else the stored path text, which some shells keep only in the
  // ANSI code page (letters outside it come back as "?").
  std::wstring buf(kTextRoom, L'\0');
  PIDLIST_ABSOLUTE items = nullptr;
  if (SUCCEEDED(link->GetIDList(&items)) && items) {
    if (SHGetPathFromIDListEx(items, buf.data(), kTextRoom, GPFIDL_DEFAULT))
      out.target = win32::Narrow(std::wstring_view(buf.c_str(), wcsnlen(buf.c_str(), kTextRoom)));
    CoTaskMemFree(items);
  }
  buf.assign(kTextRoom, L'\0');
  if (out.target.empty() && SUCCEEDED(link->GetPath(buf.data(), kTextRoom, nullptr, 0)))
    out.target = win32::Narrow(std::wstring_view(buf.c_str(), wcsnlen(buf.c_str(), kTextRoom)));
  buf.assign(kTextRoom, L'\0');
  if (SUCCEEDED(link->GetArguments(buf.data(), kTextRoom)))
    out.arguments = win32::Narrow(std::wstring_view(buf.c_str(), wcsnlen(buf.c_str(), kTextRoom)));
  out.loaded = true;

  // No window, no search for a moved target, no writing the shortcut back;
  // the high word is the time allowed in milliseconds.
  const DWORD flags = SLR_NO_UI | SLR_NOUPDATE | SLR_NOSEARCH | SLR_NOTRACK | (1000u << 16);
  out.result = link->Resolve(nullptr, flags);
  return out;
}

std::vector<StartupShortcut> ListShortcutsIn(std::string_view folderPath) {
  std::vector<StartupShortcut> list;
  std::string folder(folderPath);
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  if (folder.empty()) return list;
  if (folder.back() == '\\') folder.pop_back();  // a drive root: "C:" + "\" + name

  WIN32_FIND_DATAW data;
  win32::UniqueFind find(FindFirstFileW(win32::ApiPath(folder + "\\*.lnk").c_str(), &data));
  if (!find) return list;
  do {
    const std::wstring name = data.cFileName;
    // "*.lnk" also matches longer extensions through their 8.3 names.
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !EndsWithLnk(name)) continue;
    const std::string fileName = win32::Narrow(name);
    const ShortcutTarget target = ResolveShortcut(folder + "\\" + fileName);
    list.push_back({fileName.substr(0, fileName.size() - 4), target.target + " " + target.arguments});
  } while (FindNextFileW(find.get(), &data));

  std::sort(list.begin(), list.end(), [](const StartupShortcut& a, const StartupShortcut& b) {
    const std::wstring wa = win32::Widen(a.name), wb = win32::Widen(b.name);
    const int order = CompareStringOrdinal(wa.c_str(), -1, wb.c_str(), -1, TRUE);
    return order == CSTR_EQUAL ? a.name < b.name : order == CSTR_LESS_THAN;
  });
  return list;
}

std::vector<StartupShortcut> ListStartupShortcuts(int folder) {
  const std::string path = GetSpecialFolderPath(nullptr, folder);
  if (path.empty()) return {};
  return ListShortcutsIn(path);
}

std::string GetStartupShortcutText(int folder, int index) {
  try {
    const auto list = ListStartupShortcuts(folder);
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return {};
    return list[static_cast<std::size_t>(index)].text;
  } catch (...) {
    return {};
  }
}

}  // namespace wl
