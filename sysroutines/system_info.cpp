#include "sysroutines/system_info.h"

#include "sysroutines/text_routines.h"
#include "win32/unicode.h"

namespace wl {

std::string GetWindowsDir() {
  std::wstring buf(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const UINT n = GetWindowsDirectoryW(buf.data(), static_cast<UINT>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) return win32::Narrow(std::wstring_view(buf.data(), n));
    buf.assign(n + 1, L'\0');  // n is the size needed, terminating zero included
  }
  return {};
}

std::string ExtractExecutablePath(std::string_view text) { return ExtractExecutablePath(text, GetWindowsDir()); }

}  // namespace wl
