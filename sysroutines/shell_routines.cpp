#include "sysroutines/shell_routines.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "sysroutines/system_info.h"
#include "sysroutines/text_routines.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// Whether the shell's context menu of the item offers the verb.
bool ItemOffersVerb(const std::wstring& path, const wchar_t* verb) {
  win32::ComPtr<IShellItem> item;
  if (FAILED(SHCreateItemFromParsingName(path.c_str(), nullptr, IID_IShellItem, item.put_void()))) return false;
  win32::ComPtr<IContextMenu> menu;
  if (FAILED(item->BindToHandler(nullptr, BHID_SFUIObject, IID_IContextMenu, menu.put_void()))) return false;
  struct MenuOwner {
    HMENU h = CreatePopupMenu();
    ~MenuOwner() {
      if (h) DestroyMenu(h);
    }
  } popup;
  if (!popup.h) return false;
  constexpr UINT kFirst = 1, kLast = 0x7FFF;
  if (FAILED(menu->QueryContextMenu(popup.h, 0, kFirst, kLast, CMF_NORMAL))) return false;
  for (int i = 0, n = GetMenuItemCount(popup.h); i < n; ++i) {
    const UINT id = GetMenuItemID(popup.h, i);
    if (id == static_cast<UINT>(-1) || id < kFirst || id > kLast) continue;
    wchar_t name[128] = L"";
    if (SUCCEEDED(menu->GetCommandString(id - kFirst, GCS_VERBW, nullptr, reinterpret_cast<char*>(name),
                                         static_cast<UINT>(std::size(name)))) &&
        _wcsicmp(name, verb) == 0)
      return true;
  }
  return false;
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

}  // namespace

std::wstring ShellPathFor(std::string_view path) {
  std::wstring w = win32::Widen(path);
  if (w.size() < MAX_PATH) return w;
  const std::string shortPath = win32::ShortPath(path);
  if (!shortPath.empty() && shortPath.size() < MAX_PATH) return win32::Widen(shortPath);
  return {};
}

win32::UniqueHicon GetFileIcon(std::string_view text, bool small) {
  std::string path = ResolveProgramPath(text);
  // Only the type counts: a name too long for the shell is cut to its last
  // part, which carries the extension.
  if (win32::Widen(path).size() >= MAX_PATH) path = TextAfterLastChar(path, '\\');
  win32::ComScope com;
  SHFILEINFOW info{};
  const UINT flags = SHGFI_ICON | SHGFI_USEFILEATTRIBUTES | (small ? SHGFI_SMALLICON : SHGFI_LARGEICON);
  if (!SHGetFileInfoW(win32::Widen(path).c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info, flags)) return {};
  return win32::UniqueHicon(info.hIcon);
}

bool ShowFileProperties(std::string_view path, HWND owner) {
  if (!IsFullPath(path) || win32::FileAttributes(path) == INVALID_FILE_ATTRIBUTES) return false;
  const std::wstring shellPath = ShellPathFor(path);
  if (shellPath.empty()) return false;
  win32::ComScope com;
  if (!ItemOffersVerb(shellPath, L"properties")) return false;
  SHELLEXECUTEINFOW run{};
  run.cbSize = sizeof run;
  run.fMask = SEE_MASK_INVOKEIDLIST | SEE_MASK_FLAG_NO_UI;
  run.hwnd = owner;
  run.lpVerb = L"properties";
  run.lpFile = shellPath.c_str();
  run.nShow = SW_SHOW;
  return ShellExecuteExW(&run) != FALSE;
}

bool ShellOpen(std::string_view text) {
  if (TrimUpToChar(text, ' ').empty()) return false;
  std::wstring file = win32::Widen(text);
  if (file.size() >= MAX_PATH && IsFullPath(text)) file = ShellPathFor(text);
  if (file.empty()) return false;
  win32::ComScope com;
  SHELLEXECUTEINFOW run{};
  run.cbSize = sizeof run;
  // With the process handle asked for, the answer says whether a program
  // really started, not only whether the request was passed on.
  run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | SEE_MASK_NOCLOSEPROCESS;
  run.lpVerb = L"open";
  run.lpFile = file.c_str();
  run.nShow = SW_SHOWNORMAL;
  const BOOL ok = ShellExecuteExW(&run);
  win32::UniqueHandle process(run.hProcess);
  // The values up to 32 are the shell's error codes.
  return ok && reinterpret_cast<INT_PTR>(run.hInstApp) > 32;
}

std::string ChooseFolder(std::string_view caption, HWND owner, std::string_view initialFolder) {
  win32::ComScope com;
  const std::wstring title = win32::Widen(caption);
  const std::wstring initial = ShellPathFor(initialFolder);
  BROWSEINFOW browse{};
  browse.hwndOwner = owner;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!initial.empty()) {
    browse.lpfn = BrowseCallback;
    browse.lParam = reinterpret_cast<LPARAM>(initial.c_str());
  }
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  SetErrorMode(previousMode);
  if (!chosen) return {};
  std::wstring path(32768, L'\0');
  const BOOL ok = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
  CoTaskMemFree(chosen);
  if (!ok) return {};
  path.resize(wcsnlen(path.c_str(), path.size()));
  return win32::Narrow(path);
}

}  // namespace wl
