#include "browser/browser_icons.h"

#include <windows.h>
#include <shellapi.h>

#include "sysroutines/shell_routines.h"
#include "win32/file_path.h"
#include "win32/unicode.h"

namespace wl {

win32::UniqueHicon LoadRowIcon(const IconSource& source) {
  if (source.file.empty()) return {};
  // The file's own icon at the index, when it has one.
  if (win32::FileExists(source.file)) {
    HICON small = nullptr;
    const UINT got = ExtractIconExW(win32::Widen(source.file).c_str(), source.index, nullptr, &small, 1);
    if (got != 0 && got != UINT_MAX && small) return win32::UniqueHicon(small);
  }
  // Else, for the file's associated icon, the icon of its type.
  if (!source.byIndex || source.index == 0) return GetFileIcon(source.file, true);
  return {};
}

}  // namespace wl
