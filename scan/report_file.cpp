#include "scan/report_file.h"

#include <windows.h>

#include "sysroutines/system_info.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {

std::string ReportFileBytes(const std::string& utf8Text) { return ReportFileBytes(utf8Text, GetACP()); }

std::string ReportFileBytes(const std::string& utf8Text, unsigned codePage) {
  static const std::string kBom = "\xEF\xBB\xBF";
  if (codePage == CP_UTF8) return utf8Text;
  const std::wstring wide = win32::Widen(utf8Text);
  if (wide.empty()) return {};
  const int wideSize = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideSize, nullptr, 0, nullptr,
                                    &usedDefault);
  if (n <= 0 || usedDefault) return kBom + utf8Text;
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideSize, out.data(), n, nullptr, &usedDefault);
  // A character the code page only approximates would not come back the same.
  std::wstring back(wide.size() + 1, L'\0');
  const int m = MultiByteToWideChar(codePage, 0, out.data(), n, back.data(), static_cast<int>(back.size()));
  if (usedDefault || m != wideSize || back.compare(0, wide.size(), wide) != 0) return kBom + utf8Text;
  return out;
}

uint32_t WriteWholeFile(const std::string& path, const std::string& bytes) {
  win32::UniqueHfile out(CreateFileW(win32::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return GetLastError();
  DWORD written = 0;
  if (!WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
    return GetLastError();
  return written == bytes.size() ? 0 : ERROR_WRITE_FAULT;
}

std::string ShortDateToday() {
  wchar_t buf[128] = {};
  if (!GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buf, 128, nullptr)) return {};
  return win32::Narrow(buf);
}

ScanHead ScanHeadOfThisSystem() {
  ScanHead head;
  wchar_t name[256] = {};
  DWORD size = 256;
  if (GetComputerNameExW(ComputerNameDnsHostname, name, &size) || (size = 256, GetComputerNameW(name, &size)))
    head.computer = win32::Narrow(name);
  const WindowsVersionFacts real = QueryRealWindowsVersionFacts();
  head.windows = WindowsVersionNameOf(real);
  head.windowsVersion =
      std::to_string(real.major) + "." + std::to_string(real.minor) + "." + std::to_string(real.build);
  SYSTEMTIME t{};
  GetSystemTime(&t);
  char buf[32];
  snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
           t.wSecond);
  head.time = buf;
  return head;
}

}  // namespace wl
