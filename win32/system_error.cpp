#include "win32/system_error.h"

#include <windows.h>

#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl::win32 {

std::string SystemErrorText(uint32_t code) {
  UniqueLocal<wchar_t*> buffer;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
  std::wstring text;
  if (n != 0 && buffer) text.assign(buffer.get(), n);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
  if (text.empty()) return "Error " + std::to_string(code) + ".";
  return Narrow(text);
}

}  // namespace wl::win32
