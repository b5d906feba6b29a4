#include "sysroutines/store_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cwchar>
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

// The descriptor of kAdminsOnly.
win32::UniqueLocal<PSECURITY_DESCRIPTOR> AdminsOnlyDescriptor() {
  win32::UniqueLocal<PSECURITY_DESCRIPTOR> sd;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminsOnly, SDDL_REVISION_1, sd.put(), nullptr))
    sd.reset();
  return sd;
}

uint32_t RestrictToAdministratorsReal(HANDLE folder, const std::string&) {
  const auto sd = AdminsOnlyDescriptor();
  if (!sd) return GetLastError();
  BOOL present = FALSE, defaulted = FALSE, ownerDefaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted);
  GetSecurityDescriptorOwner(sd.get(), &owner, &ownerDefaulted);
  return SetSecurityInfo(folder, SE_FILE_OBJECT,
                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                         owner, nullptr, dacl, nullptr);
}

// Administrators, SYSTEM, or the system's own installer.
bool TrustedOwner(PSID owner) {
  if (!owner || !IsValidSid(owner)) return false;
  if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid)) return true;
  win32::UniqueLocal<PSID> installer;
  if (!ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", installer.put()))
    return false;
  return EqualSid(owner, installer.get());
}

bool OwnerTrusted(HANDLE object) {
  PSID owner = nullptr;
  win32::UniqueLocal<PSECURITY_DESCRIPTOR> sd;
  if (GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      sd.put()) != ERROR_SUCCESS)
    return false;
  return TrustedOwner(owner);
}

// Whether this system's files have owners that mean something: the
// program-data folder is the system's own. Where it is not (Wine gives every
// file the user as owner; FAT keeps none), owners say nothing.
bool OwnersMeanSomething() {
  static const bool mean = [] {
    const std::string data = KnownFolder(FOLDERID_ProgramData);
    win32::UniqueHfile folder(CreateFileW(win32::ApiPath(data).c_str(), READ_CONTROL,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder && OwnerTrusted(folder.get());
  }();
  return mean;
}

bool OwnedByAdministratorsReal(HANDLE folder, const std::string&) {
  return !OwnersMeanSomething() || OwnerTrusted(folder);
}

StoreFolderSystem Current() {
  std::lock_guard<std::mutex> lock(g_mutex);
  StoreFolderSystem s = RealStoreFolderSystem();
  if (g_system.isElevated) s.isElevated = g_system.isElevated;
  if (g_system.machineDataFolder) s.machineDataFolder = g_system.machineDataFolder;
  if (g_system.userDataFolder) s.userDataFolder = g_system.userDataFolder;
  if (g_system.restrictToAdministrators) s.restrictToAdministrators = g_system.restrictToAdministrators;
  if (g_system.ownedByAdministrators) s.ownedByAdministrators = g_system.ownedByAdministrators;
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
  *finalPath = win32::WithoutLongPrefix(buf);
  return Probe::Plain;
}

// Opens a folder itself (a link is not followed) and holds it: without
// sharing the right to delete, nobody can rename it or put a link in its
// place while the handle is open.
win32::UniqueHfile OpenHeld(const std::string& path, DWORD access) {
  // Reading its list is a right the system counts in its share checks (a
  // handle that may read attributes and the access list only restricts
  // nobody).
  return win32::UniqueHfile(CreateFileW(win32::ApiPath(path).c_str(), access | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Whether the held handle is a plain folder whose path is the one expected
// (a link shows its mark on the handle, or - under Wine - only by path).
bool HeldIsPlain(HANDLE held, const std::string& path, const std::wstring& expected) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(held, &info)) return false;
  DWORD byPath = win32::FileAttributes(path);
  if (byPath == INVALID_FILE_ATTRIBUTES) byPath = 0;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      ((info.dwFileAttributes | byPath) & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  std::wstring buf(32768, L'\0');
  const DWORD n = GetFinalPathNameByHandleW(held, buf.data(), static_cast<DWORD>(buf.size()),
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= buf.size()) return false;
  buf.resize(n);
  return SameText(win32::WithoutLongPrefix(buf), expected);
}

std::string AsideName(const std::string& path) {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  wchar_t stamp[32];
  swprintf(stamp, 32, L"%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return path + ".untrusted-" + Narrow(stamp);
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
  s.ownedByAdministrators = OwnedByAdministratorsReal;
  return s;
}

namespace {

// The members installed, with the non-empty members of system put over them.
StoreFolderSystem OverInstalled(StoreFolderSystem system) {
  StoreFolderSystem merged;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    merged = g_system;
  }
  if (system.isElevated) merged.isElevated = std::move(system.isElevated);
  if (system.machineDataFolder) merged.machineDataFolder = std::move(system.machineDataFolder);
  if (system.userDataFolder) merged.userDataFolder = std::move(system.userDataFolder);
  if (system.restrictToAdministrators) merged.restrictToAdministrators = std::move(system.restrictToAdministrators);
  if (system.ownedByAdministrators) merged.ownedByAdministrators = std::move(system.ownedByAdministrators);
  return merged;
}

}  // namespace

ScopedStoreFolderSystem::ScopedStoreFolderSystem(StoreFolderSystem system)
    : ScopedOverride(g_system, OverInstalled(std::move(system)), &g_mutex) {}

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
  std::wstring expected;
  DWORD probeError = 0;
  if (ProbeItem(base, &expected, &probeError) != Probe::Plain)
    return Failure(probeError ? probeError : kErrorLinkRefused, LinkMessage(base));

  const auto adminsOnly = elevated ? AdminsOnlyDescriptor() : win32::UniqueLocal<PSECURITY_DESCRIPTOR>();
  SECURITY_ATTRIBUTES sa{sizeof sa, adminsOnly.get(), FALSE};
  const DWORD access = READ_CONTROL | (elevated ? WRITE_DAC | WRITE_OWNER : 0);
  std::vector<win32::UniqueHfile> held;  // every folder on the way, until the store is ready
  std::string path = base;
  StoreFolder result;
  for (const std::string& part : parts) {
    path += "\\" + part;
    expected += L"\\" + Widen(part);
    win32::UniqueHfile folder;
    for (int attempt = 0; attempt < 2 && result.ok() && !folder; ++attempt) {
      const uint32_t check = CheckNoLinksBelow(base, path);
      if (check == kErrorLinkRefused) {
        result = Failure(check, LinkMessage(path));
        break;
      }
      if (check != 0) {
        result = Failure(check, "The folder \"" + path + "\" could not be checked.");
        break;
      }
      bool made = false;
      if (!win32::DirectoryExists(path)) {
        if (win32::FileAttributes(path) != INVALID_FILE_ATTRIBUTES) {
          result = Failure(ERROR_DIRECTORY, "\"" + path + "\" is a file, not a folder.");
          break;
        }
        // Made with its access list in the same call: there is no moment in
        // which another user could change it.
        if (!CreateDirectoryW(win32::ApiPath(path).c_str(), adminsOnly ? &sa : nullptr)) {
          const DWORD e = GetLastError();
          if (e == ERROR_ALREADY_EXISTS) continue;  // made meanwhile: looked at again
          result = Failure(e, "The folder \"" + path + "\" could not be created.");
          break;
        }
        made = true;
      }
      folder = OpenHeld(path, access);
      if (!folder) {
        result = Failure(GetLastError(), "The folder \"" + path + "\" could not be opened.");
        break;
      }
      if (!HeldIsPlain(folder.get(), path, expected)) {
        result = Failure(kErrorLinkRefused, LinkMessage(path));
        break;
      }
      if (elevated && !made && !system.ownedByAdministrators(folder.get(), path)) {
        // Someone else made it first: it is not used, and not deleted either.
        folder.reset();
        const std::string aside = AsideName(path);
        if (!MoveFileExW(win32::ApiPath(path).c_str(), win32::ApiPath(aside).c_str(), 0)) {
          result = Failure(GetLastError(), "The folder \"" + path +
                                               "\" is not owned by the administrators and could not be set aside.");
          break;
        }
        result.notice += "The folder \"" + path + "\" was not made by an administrator; Wardenlake did not use it and "
                         "renamed it to \"" + aside + "\".\n";
      }
    }
    if (!result.ok()) break;
    if (!folder) {
      result = Failure(ERROR_ALREADY_EXISTS, "The folder \"" + path + "\" keeps being made by someone else.");
      break;
    }
    if (elevated) {
      // Whoever made the folder, from now on only administrators may change
      // it: set on the very folder just checked.
      if (const uint32_t e = system.restrictToAdministrators(folder.get(), path)) {
        result = Failure(e, "The access list of \"" + path + "\" could not be set.");
        break;
      }
    }
    held.push_back(std::move(folder));
  }
  if (!result.ok()) return result;
  result.path = path;
  result.machineWide = elevated;
  return result;
}

StoreFolder FindStoreFolder(std::string_view subFolder) {
  const StoreFolderSystem system = Current();
  const bool elevated = system.isElevated();
  const std::string base = elevated ? system.machineDataFolder() : system.userDataFolder();
  if (base.empty()) return StoreFolder{};
  bool bad = false;
  std::vector<std::string> parts = SplitParts(subFolder, &bad);
  if (bad) return Failure(ERROR_BAD_PATHNAME, "\"" + std::string(subFolder) + "\" is not a folder name.");
  parts.insert(parts.begin(), kProgramFolder);
  std::string path = base;
  for (const std::string& part : parts) path += "\\" + part;
  const uint32_t check = CheckNoLinksBelow(base, path);
  if (check == kErrorLinkRefused) return Failure(check, LinkMessage(path));
  if (check != 0) return Failure(check, "The folder \"" + path + "\" could not be checked.");
  if (!win32::DirectoryExists(path)) return StoreFolder{};  // no store: no backups
  // Each folder of the store must be the administrators' to be read from.
  std::string folder = base;
  for (const std::string& part : parts) {
    folder += "\\" + part;
    if (!StoreFolderTrusted(folder, elevated))
      return Failure(ERROR_ACCESS_DENIED, "The folder \"" + folder +
                                              "\" was not made by an administrator; Wardenlake does not read backups "
                                              "from it.");
  }
  StoreFolder found;
  found.path = path;
  found.machineWide = elevated;
  return found;
}

bool StoreFolderTrusted(const std::string& path, bool machineWide) {
  if (!machineWide) return true;
  const win32::UniqueHfile folder = OpenHeld(path, READ_CONTROL);
  return folder && Current().ownedByAdministrators(folder.get(), path);
}

}  // namespace wl
