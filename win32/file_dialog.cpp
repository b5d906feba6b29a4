#include "win32/file_dialog.h"

#include <commdlg.h>

#include <algorithm>

#include "win32/unicode.h"

namespace wl::win32 {
namespace {

constexpr DWORD kCommonFlags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;

std::optional<std::string> AskFile(HWND owner, const FileChoice& choice, bool save) {
  // The filter's parts end in a zero each, the list in one more (c_str()).
  std::wstring filter = Widen(choice.filter);
  std::replace(filter.begin(), filter.end(), L'|', L'\0');
  filter += L'\0';
  const std::wstring title = Widen(choice.title);
  const std::wstring extension = Widen(choice.defaultExtension);
  std::wstring file = Widen(choice.suggestedName);
  file.resize(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  if (!title.empty()) ofn.lpstrTitle = title.c_str();
  if (!extension.empty()) ofn.lpstrDefExt = extension.c_str();
  ofn.Flags = kCommonFlags | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
  return Narrow(file.c_str());
}

}  // namespace

std::optional<std::string> AskOpenFile(HWND owner, const FileChoice& choice) { return AskFile(owner, choice, false); }

std::optional<std::string> AskSaveFile(HWND owner, const FileChoice& choice) { return AskFile(owner, choice, true); }

}  // namespace wl::win32
