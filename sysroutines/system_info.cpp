#include "sysroutines/system_info.h"

#include <shlobj.h>

#include "sysroutines/text_routines.h"
#include "win32/file_path.h"
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

std::string ResolveProgramPath(std::string_view text) {
  if (IsFullPath(text) && win32::FileExists(text)) return std::string(text);
  return ExtractExecutablePath(text);
}

std::string GetSpecialFolderPath(HWND owner, int csidl) {
  wchar_t buf[MAX_PATH + 1] = L"";
  if (FAILED(SHGetFolderPathW(owner, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
  std::string path = win32::Narrow(buf);
  // A drive root keeps its backslash ("C:\"); other folders lose it.
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

WindowsVersionFacts QueryWindowsVersionFacts() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL ok = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
#pragma GCC diagnostic pop
  WindowsVersionFacts facts;
  if (!ok) {
    facts.ntPlatform = false;  // gives code 0
    return facts;
  }
  facts.ntPlatform = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  facts.major = info.dwMajorVersion;
  facts.minor = info.dwMinorVersion;
  facts.build = info.dwBuildNumber;
  facts.serviceText = win32::Narrow(std::wstring_view(info.szCSDVersion, wcsnlen(info.szCSDVersion, 128)));
  return facts;
}

int GetWindowsVersionCode() { return WindowsVersionCode(QueryWindowsVersionFacts()); }

WindowsVersionFacts QueryRealWindowsVersionFacts() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto rtlGetVersion =
      ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!rtlGetVersion || rtlGetVersion(&info) != 0) return QueryWindowsVersionFacts();
  WindowsVersionFacts facts;
  facts.ntPlatform = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  facts.major = info.dwMajorVersion;
  facts.minor = info.dwMinorVersion;
  facts.build = info.dwBuildNumber;
  facts.serviceText = win32::Narrow(std::wstring_view(info.szCSDVersion, wcsnlen(info.szCSDVersion, 128)));
  facts.server = info.wProductType != 0 && info.wProductType != VER_NT_WORKSTATION;
  return facts;
}

std::string GetWindowsVersionName() { return WindowsVersionNameOf(QueryRealWindowsVersionFacts()); }

}  // namespace wl
