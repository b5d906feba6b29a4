#include "sysroutines/store_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <mutex>
#include <vector>

#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/unicode.h"

namespace wl {

namespace {

using win32::Narrow;
using win32::Widen;

constexpr char kProgramFolder[] = "Wardenlake";
// Owner Administrators; full control for Administrators and SYSTEM, passed on
// to files and folders inside; protected from what the parent passes down.
constexpr wchar_t kAdminsOnly[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

std::mutex g_mutex;
StoreFolderSystem g_system;  // members left empty: the real ones

std::string KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::string result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) result = Narrow(path);
  CoTaskMemFree(path);
  while (!result.empty() && result.back() == '\\') result.pop_back();
  return result;
}

// The descriptor of kAdminsOnly; freed with LocalFree.
PSECURITY_DESCRIPTOR AdminsOnlyDescriptor() {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminsOnly, SDDL_REVISION_1, &sd, nullptr))
    return nullptr;
  return sd;
}

uint32_t RestrictToAdministratorsReal(const std::string& folder) {
  PSECURITY_DESCRIPTOR sd = AdminsOnlyDescriptor();
  if (!sd) return GetLastError();
  BOOL present = FALSE, defaulted = FALSE, ownerDefaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
  GetSecurityDescriptorOwner(sd, &owner, &ownerDefaulted);
  std::wstring path = win32::ApiPath(folder);
  const DWORD rc = SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                             PROTECTED_DACL_SECURITY_INFORMATION,
                                         owner, nullptr, dacl, nullptr);
  LocalFree(sd);
  return rc;
}

StoreFolderSystem Current() {
  std::lock_guard<std::mutex> lock(g_mutex);
  StoreFolderSystem s = RealStoreFolderSystem();
  if (g_system.isElevated) s.isElevated = g_system.isElevated;
  if (g_system.machineDataFolder) s.machineDataFolder = g_system.machineDataFolder;
  if (g_system.userDataFolder) s.userDataFolder = g_system.userDataFolder;
  if (g_system.restrictToAdministrators) s.restrictToAdministrators = g_system.restrictToAdministrators;
  return s;
}

std::vector<std::string> SplitParts(std::string_view text, bool* bad) {
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part.empty()) return;
    if (part == "." || part == ".." || part.find(':') != std::string::npos) *bad = true;
    parts.push_back(part);
    part.clear();
  };
  for (char c : text) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      part += c;
    }
  }
  flush();
  return parts;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

std::wstring WithoutPrefix(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

enum class Probe { Missing, Plain, Link, Failed };

// Opens the item itself (a link is not followed) and reports what it is and
// the path the system gives for what was opened.
Probe ProbeItem(const std::string& path, std::wstring* finalPath, DWORD* error) {
  const std::wstring api = win32::ApiPath(path);
  win32::UniqueHfile file(CreateFileW(api.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    *error = GetLastError();
    return *error == ERROR_FILE_NOT_FOUND || *error == ERROR_PATH_NOT_FOUND ? Probe::Missing : Probe::Failed;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) {
    *error = GetLastError();
    return Probe::Failed;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Probe::Link;
  std::wstring buf(32768, L'\0');
  const DWORD n = GetFinalPathNameByHandleW(file.get(), buf.data(), static_cast<DWORD>(buf.size()),
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= buf.size()) {
    *error = GetLastError();
    return Probe::Failed;
  }
  buf.resize(n);
  *finalPath = WithoutPrefix(buf);
  return Probe::Plain;
}

std::string LinkMessage(const std::string& path) {
  return "The folder \"" + path +
         "\" is a link or junction, or leads somewhere else. Wardenlake does not keep its files there.";
}

StoreFolder Failure(uint32_t error, std::string message) {
  StoreFolder f;
  f.error = error ? error : ERROR_GEN_FAILURE;
  f.message = std::move(message);
  return f;
}

}  // namespace

bool IsProcessElevated() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  win32::UniqueHandle token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) return false;
  return elevation.TokenIsElevated != 0;
}

bool RunsElevated() { return Current().isElevated(); }

StoreFolderSystem RealStoreFolderSystem() {
  StoreFolderSystem s;
  s.isElevated = IsProcessElevated;
  s.machineDataFolder = [] { return KnownFolder(FOLDERID_ProgramData); };
  s.userDataFolder = [] { return KnownFolder(FOLDERID_LocalAppData); };
  s.restrictToAdministrators = RestrictToAdministratorsReal;
  return s;
}

ScopedStoreFolderSystem::ScopedStoreFolderSystem(StoreFolderSystem system) {
  std::lock_guard<std::mutex> lock(g_mutex);
  previous_ = g_system;
  if (system.isElevated) g_system.isElevated = std::move(system.isElevated);
  if (system.machineDataFolder) g_system.machineDataFolder = std::move(system.machineDataFolder);
  if (system.userDataFolder) g_system.userDataFolder = std::move(system.userDataFolder);
  if (system.restrictToAdministrators) g_system.restrictToAdministrators = std::move(system.restrictToAdministrators);
}

ScopedStoreFolderSystem::~ScopedStoreFolderSystem() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_system = std::move(previous_);
}

uint32_t CheckNoLinksBelow(std::string_view base, std::string_view path) {
  std::string baseText(base);
  while (!baseText.empty() && (baseText.back() == '\\' || baseText.back() == '/')) baseText.pop_back();
  const std::wstring wideBase = Widen(baseText), widePath = Widen(path);
  if (baseText.empty() || widePath.size() <= wideBase.size() ||
      !SameText(widePath.substr(0, wideBase.size()), wideBase) ||
      (widePath[wideBase.size()] != L'\\' && widePath[wideBase.size()] != L'/'))
    return ERROR_BAD_PATHNAME;
  bool bad = false;
  const std::vector<std::string> parts = SplitParts(path.substr(baseText.size()), &bad);
  if (bad || parts.empty()) return ERROR_BAD_PATHNAME;

  std::wstring finalBase;
  DWORD error = 0;
  if (ProbeItem(baseText, &finalBase, &error) != Probe::Plain) return error ? error : kErrorLinkRefused;
  std::string current = baseText;
  std::wstring expected = finalBase;
  for (const std::string& part : parts) {
    current += "\\" + part;
    expected += L"\\" + Widen(part);
    std::wstring actual;
    switch (ProbeItem(current, &actual, &error)) {
      case Probe::Missing:
        return 0;
      case Probe::Link:
        return kErrorLinkRefused;
      case Probe::Failed:
        return error ? error : ERROR_GEN_FAILURE;
      case Probe::Plain:
        if (!SameText(actual, expected)) return kErrorLinkRefused;
        break;
    }
  }
  return 0;
}

StoreFolder PrepareStoreFolder(std::string_view subFolder) {
  const StoreFolderSystem system = Current();
  const bool elevated = system.isElevated();
  const std::string base = elevated ? system.machineDataFolder() : system.userDataFolder();
  if (base.empty())
    return Failure(ERROR_PATH_NOT_FOUND, elevated ? "The program-data folder is unknown."
                                                  : "The local application-data folder is unknown.");
  bool bad = false;
  std::vector<std::string> parts = SplitParts(subFolder, &bad);
  if (bad) return Failure(ERROR_BAD_PATHNAME, "\"" + std::string(subFolder) + "\" is not a folder name.");
  parts.insert(parts.begin(), kProgramFolder);

  PSECURITY_DESCRIPTOR adminsOnly = elevated ? AdminsOnlyDescriptor() : nullptr;
  SECURITY_ATTRIBUTES sa{sizeof sa, adminsOnly, FALSE};
  std::string path = base;
  StoreFolder result;
  for (const std::string& part : parts) {
    path += "\\" + part;
    uint32_t check = CheckNoLinksBelow(base, path);
    if (check == 0 && !win32::DirectoryExists(path)) {
      if (win32::FileAttributes(path) != INVALID_FILE_ATTRIBUTES) {
        result = Failure(ERROR_DIRECTORY, "\"" + path + "\" is a file, not a folder.");
        break;
      }
      if (!CreateDirectoryW(win32::ApiPath(path).c_str(), adminsOnly ? &sa : nullptr) &&
          GetLastError() != ERROR_ALREADY_EXISTS) {
        const DWORD e = GetLastError();
        result = Failure(e, "The folder \"" + path + "\" could not be created.");
        break;
      }
      check = CheckNoLinksBelow(base, path);
    }
    if (check == kErrorLinkRefused) {
      result = Failure(check, LinkMessage(path));
      break;
    }
    if (check != 0) {
      result = Failure(check, "The folder \"" + path + "\" could not be checked.");
      break;
    }
    if (elevated) {
      // Whoever made the folder, from now on only administrators may change
      // it; then look again, in case it was swapped before that took hold.
      if (const uint32_t e = system.restrictToAdministrators(path)) {
        result = Failure(e, "The access list of \"" + path + "\" could not be set.");
        break;
      }
      if (CheckNoLinksBelow(base, path) != 0) {
        result = Failure(kErrorLinkRefused, LinkMessage(path));
        break;
      }
    }
  }
  if (adminsOnly) LocalFree(adminsOnly);
  if (!result.ok()) return result;
  result.path = path;
  result.machineWide = elevated;
  return result;
}

}  // namespace wl
