#include "judge/windows_facts.h"

#include <windows.h>
// In this order: each needs the ones before it.
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>

#include <algorithm>
#include <cstdio>

#include "core/sha256.h"
#include "judge/signature_marks.h"
#include "sysroutines/system_info.h"
#include "sysroutines/version_info.h"
#include "win32/file_path.h"
#include "win32/handles.h"
#include "win32/registry.h"
#include "win32/unicode.h"

namespace wl {
namespace {

// An environment variable's value; empty when it is not set. (The known
// folder calls of the shell may write their defaults into the registry the
// first time they are asked: a scan must not.)
std::string Variable(const wchar_t* name) {
  wchar_t buf[MAX_PATH + 1];
  const DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? win32::Narrow(std::wstring_view(buf, n)) : std::string();
}

// The first 64 KiB and the last 64 KiB of a file and its size; false when
// it cannot be read.
bool ReadEnds(const std::string& path, std::string& head, std::string& tail, std::uint64_t& size) {
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file.get(), &length)) return false;
  size = static_cast<std::uint64_t>(length.QuadPart);
  constexpr DWORD kPart = 1 << 16;
  auto readAt = [&file](std::uint64_t offset, DWORD count, std::string& out) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return false;
    out.resize(count);
    DWORD got = 0;
    if (!ReadFile(file.get(), out.data(), count, &got, nullptr)) return false;
    out.resize(got);
    return true;
  };
  const DWORD headSize = static_cast<DWORD>(std::min<std::uint64_t>(size, kPart));
  if (!readAt(0, headSize, head)) return false;
  if (size <= kPart) {
    tail = head;
    return true;
  }
  return readAt(size - kPart, kPart, tail);
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

std::string SystemFolder() {
  wchar_t buf[MAX_PATH + 1] = L"";
  const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? win32::Narrow(std::wstring_view(buf, n)) : std::string();
}

std::string UpperHex(const BYTE* bytes, DWORD size) {
  std::string text = HexText(bytes, size);
  for (char& c : text)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 32);
  return text;
}

std::string CertificateName(PCCERT_CONTEXT cert) {
  if (!cert) return {};
  wchar_t name[512] = L"";
  const DWORD n = CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 512);
  return n > 1 ? win32::Narrow(std::wstring_view(name, n - 1)) : std::string();
}

// The signer and the root of its chain, from a verification's state.
void ReadSigner(HANDLE state, SignatureInfo& info) {
  CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state);
  if (!provider) return;
  CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  if (!signer || signer->csCertChain == 0) return;
  const CRYPT_PROVIDER_CERT* leaf = WTHelperGetProvCertFromChain(signer, 0);
  const CRYPT_PROVIDER_CERT* root = WTHelperGetProvCertFromChain(signer, signer->csCertChain - 1);
  if (leaf) info.signer = CertificateName(leaf->pCert);
  if (root && root->pCert) {
    Sha256 hash;
    hash.Update(root->pCert->pbCertEncoded, root->pCert->cbCertEncoded);
    const auto digest = hash.Final();
    info.rootThumbprint = UpperHex(digest.data(), static_cast<DWORD>(digest.size()));
  }
}

std::string StatusText(LONG status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
  return text;
}

// One verification, of a file or of a catalog member; the state is always closed.
SignatureInfo Verify(WINTRUST_DATA& data) {
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // Revocation is checked from what the system has cached, never fetched.
  data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  SetLastError(0);
  const LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  const DWORD lastError = GetLastError();
  SignatureInfo info;
  info.state = SignatureStateOf(status, lastError);
  if (info.state != SignatureState::Verified) info.detail = StatusText(status);
  if (info.state != SignatureState::NotSigned) ReadSigner(data.hWVTStateData, info);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return info;
}

using AcquireContext2Fn = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR, PCCERT_STRONG_SIGN_PARA, DWORD);
using CalcHash2Fn = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

struct CatalogAdmin {
  HCATADMIN admin = nullptr;
  ~CatalogAdmin() {
    if (admin) CryptCATAdminReleaseContext(admin, 0);
  }
};

struct CatalogContext {
  HCATADMIN admin = nullptr;
  HCATINFO info = nullptr;
  ~CatalogContext() {
    if (info) CryptCATAdminReleaseCatalogContext(admin, info, 0);
  }
};

std::optional<SignatureInfo> CatalogSignatureWith(const std::wstring& path, HANDLE file, bool sha256) {
  CatalogAdmin admin;
  std::vector<BYTE> hash;
  DWORD size = 0;
  if (sha256) {
    // Windows 8 and later keep SHA-256 catalogs; the calls are looked up.
    const HMODULE wintrust = GetModuleHandleW(L"wintrust.dll");
    const auto acquire2 = wintrust ? reinterpret_cast<AcquireContext2Fn>(reinterpret_cast<void*>(
                                         GetProcAddress(wintrust, "CryptCATAdminAcquireContext2")))
                                   : nullptr;
    const auto calc2 = wintrust ? reinterpret_cast<CalcHash2Fn>(reinterpret_cast<void*>(
                                      GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2")))
                                : nullptr;
    if (!acquire2 || !calc2) return std::nullopt;
    if (!acquire2(&admin.admin, nullptr, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) return std::nullopt;
    if (!calc2(admin.admin, file, &size, nullptr, 0) || size == 0 || size > 64) return std::nullopt;
    hash.resize(size);
    if (!calc2(admin.admin, file, &size, hash.data(), 0)) return std::nullopt;
  } else {
    if (!CryptCATAdminAcquireContext(&admin.admin, nullptr, 0)) return std::nullopt;
    if (!CryptCATAdminCalcHashFromFileHandle(file, &size, nullptr, 0) || size == 0 || size > 64) return std::nullopt;
    hash.resize(size);
    if (!CryptCATAdminCalcHashFromFileHandle(file, &size, hash.data(), 0)) return std::nullopt;
  }
  CatalogContext catalog;
  catalog.admin = admin.admin;
  catalog.info = CryptCATAdminEnumCatalogFromHash(admin.admin, hash.data(), size, 0, nullptr);
  if (!catalog.info) return std::nullopt;
  CATALOG_INFO where{};
  where.cbStruct = sizeof where;
  if (!CryptCATCatalogInfoFromContext(catalog.info, &where, 0)) return std::nullopt;
  const std::wstring tag = win32::Widen(UpperHex(hash.data(), size));
  WINTRUST_CATALOG_INFO member{};
  member.cbStruct = sizeof member;
  member.pcwszCatalogFilePath = where.wszCatalogFile;
  member.pcwszMemberFilePath = path.c_str();
  member.pcwszMemberTag = tag.c_str();
  member.hMemberFile = file;
  member.pbCalculatedFileHash = hash.data();
  member.cbCalculatedFileHash = size;
  member.hCatAdmin = admin.admin;
  WINTRUST_DATA data{};
  data.dwUnionChoice = WTD_CHOICE_CATALOG;
  data.pCatalog = &member;
  SignatureInfo info = Verify(data);
  info.catalog = true;
  return info;
}

bool CatalogsPresent(const std::string& systemFolder) {
  if (systemFolder.empty()) return false;
  const std::string pattern = systemFolder + "\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\*.cat";
  WIN32_FIND_DATAW found;
  win32::UniqueFind find(FindFirstFileW(win32::ApiPath(pattern).c_str(), &found));
  return static_cast<bool>(find);
}

}  // namespace

SignatureState SignatureStateOf(long status, unsigned long lastError) {
  switch (static_cast<HRESULT>(status)) {
    case ERROR_SUCCESS:
    // The chain is good; only its revocation could not be checked offline.
    case CERT_E_REVOCATION_FAILURE:
    case CRYPT_E_NO_REVOCATION_CHECK:
    case CRYPT_E_REVOCATION_OFFLINE: return SignatureState::Verified;
    case TRUST_E_NOSIGNATURE:
      // The same answer comes for a signature that is there but damaged.
      if (lastError == static_cast<unsigned long>(TRUST_E_NOSIGNATURE) ||
          lastError == static_cast<unsigned long>(TRUST_E_SUBJECT_FORM_UNKNOWN) ||
          lastError == static_cast<unsigned long>(TRUST_E_PROVIDER_UNKNOWN) || lastError == 0)
        return SignatureState::NotSigned;
      return SignatureState::Broken;
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
    case TRUST_E_PROVIDER_UNKNOWN: return SignatureState::NotSigned;
    case TRUST_E_BAD_DIGEST:
    case CRYPT_E_HASH_VALUE:
    case TRUST_E_CERT_SIGNATURE: return SignatureState::Broken;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return SignatureState::Unreadable;
    default: return SignatureState::Untrusted;
  }
}

SignatureInfo VerifyEmbeddedSignature(const std::string& path) {
  const std::wstring wide = win32::ApiPath(path);
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = wide.c_str();
  WINTRUST_DATA data{};
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  return Verify(data);
}

std::optional<SignatureInfo> VerifyCatalogSignature(const std::string& path) {
  const std::wstring wide = win32::ApiPath(path);
  win32::UniqueHfile file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  if (auto info = CatalogSignatureWith(wide, file.get(), true)) return info;
  SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
  return CatalogSignatureWith(wide, file.get(), false);
}

WindowsFacts::WindowsFacts(CatalogCheck catalog) : catalog_(std::move(catalog)), ownCatalogCheck_(catalog_ != nullptr) {
  if (!catalog_) catalog_ = VerifyCatalogSignature;
  folders_.windows = WithoutTrailingSlash(GetWindowsDir());
  // Program Files of 64-bit programs (as a 32-bit program sees it too), then of 32-bit ones.
  for (const wchar_t* name : {L"ProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)"}) {
    std::string folder = WithoutTrailingSlash(Variable(name));
    if (!folder.empty() && std::find(folders_.programFiles.begin(), folders_.programFiles.end(), folder) ==
                               folders_.programFiles.end())
      folders_.programFiles.push_back(std::move(folder));
  }
  folders_.programData = WithoutTrailingSlash(Variable(L"ProgramData"));
  if (folders_.programData.empty()) folders_.programData = WithoutTrailingSlash(Variable(L"ALLUSERSPROFILE"));
  // Where the users' profiles lie, as the system keeps it.
  if (const auto profiles = win32::RegKey::Open(HKEY_LOCAL_MACHINE,
                                                "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", KEY_READ))
    if (const auto directory = profiles->ReadString("ProfilesDirectory"))
      folders_.profiles = WithoutTrailingSlash(Expand(*directory));
  if (folders_.profiles.empty()) {
    // The parent of the user's own profile.
    const std::string own = WithoutTrailingSlash(Variable(L"USERPROFILE"));
    const std::size_t slash = own.find_last_of('\\');
    if (slash != std::string::npos && slash > 2) folders_.profiles = own.substr(0, slash);
  }
  wchar_t temp[MAX_PATH + 2] = L"";
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n > 0 && n <= MAX_PATH) folders_.temp.push_back(WithoutTrailingSlash(win32::Narrow(std::wstring_view(temp, n))));
  if (!folders_.windows.empty()) folders_.temp.push_back(folders_.windows + "\\Temp");

  const std::string system = SystemFolder();
  search_ = {system, folders_.windows.empty() ? std::string() : folders_.windows + "\\System", folders_.windows};
  const std::string path = Expand("%PATH%");
  if (path != "%PATH%") {
    std::size_t start = 0;
    while (start <= path.size()) {
      const std::size_t end = path.find(';', start);
      std::string folder = WithoutTrailingSlash(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') folder = folder.substr(1, folder.size() - 2);
      if (!folder.empty()) search_.push_back(std::move(folder));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  catalogsPresent_ = CatalogsPresent(system);
}

std::string WindowsFacts::Expand(std::string_view text) const {
  if (text.find('%') == std::string_view::npos) return std::string(text);
  const std::wstring wide = win32::Widen(text);
  DWORD size = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
  if (size == 0 || size > 32768) return std::string(text);
  std::wstring out(size, L'\0');
  size = ExpandEnvironmentStringsW(wide.c_str(), out.data(), size);
  if (size == 0) return std::string(text);
  out.resize(wcsnlen(out.c_str(), out.size()));
  return win32::Narrow(out);
}

std::string WindowsFacts::AppPath(const std::string& fileName) const {
  if (fileName.empty() || fileName.find('\\') != std::string::npos) return {};
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + fileName;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const auto opened = win32::RegKey::Open(root, key, KEY_READ);
    if (!opened) continue;
    const auto value = opened->ReadString("");
    if (value && !value->empty()) {
      std::string path = Expand(*value);
      if (path.size() >= 2 && path.front() == '"') path = path.substr(1, path.find('"', 1) - 1);
      return path;
    }
  }
  return {};
}

FileIdentity WindowsFacts::Stat(const std::string& path) const {
  FileIdentity stamp;
  if (path.empty()) return stamp;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(win32::ApiPath(path).c_str(), GetFileExInfoStandard, &data)) return stamp;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return stamp;
  stamp.exists = true;
  stamp.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  stamp.lastWrite = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  return stamp;
}

SignatureInfo WindowsFacts::Signature(const std::string& path) const {
  std::string head, tail;
  std::uint64_t size = 0;
  if (!ReadEnds(path, head, tail, size)) {
    SignatureInfo unreadable;
    unreadable.state = SignatureState::Unreadable;
    return unreadable;
  }
  // The verifier is asked only about a file that carries a signature of its
  // own: nothing to verify costs nothing (and asks nothing of the system).
  if (SignatureMarkOf(head, tail, size) != SignatureMark::None) {
    SignatureInfo embedded = VerifyEmbeddedSignature(path);
    if (embedded.state != SignatureState::NotSigned) return embedded;
  }
  // Windows' own files are mostly signed in the system's catalogs only.
  if (ownCatalogCheck_ || catalogsPresent_)
    if (auto catalog = catalog_(path)) return *catalog;
  SignatureInfo none;
  none.state = SignatureState::NotSigned;
  return none;
}

std::string WindowsFacts::CompanyName(const std::string& path) const {
  FileVersionInfo info;
  return ReadFileVersionInfo(path, "", info) ? info.companyName : std::string();
}

std::string WindowsFacts::Sha256(const std::string& path) const {
  win32::UniqueHfile file(CreateFileW(win32::ApiPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return {};
  wl::Sha256 hash;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return {};
    if (read == 0) break;
    hash.Update(buffer.data(), read);
  }
  const auto digest = hash.Final();
  return HexText(digest.data(), digest.size());
}

}  // namespace wl
