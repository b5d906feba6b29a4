#include "judge/windows_facts.h"

#include <windows.h>
// In this order: each needs the ones before it.
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>

#include <winioctl.h>
#include <sddl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_set>

#include "core/ascii.h"
#include "core/sha256.h"
#include "judge/version_resource.h"
#include "judge/signature_marks.h"
#include "sysroutines/system_info.h"
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


SignatureInfo VerifyEmbeddedWith(const std::wstring& path, HANDLE file) {
  WINTRUST_FILE_INFO info{};
  info.cbStruct = sizeof info;
  info.pcwszFilePath = path.c_str();
  info.hFile = file;
  WINTRUST_DATA data{};
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  return Verify(data);
}

// The file's catalog signature: the SHA-256 catalogs of Windows 8 and
// later, then the SHA-1 ones.
std::optional<SignatureInfo> CatalogSignatureOf(const std::wstring& path, HANDLE file) {
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  if (auto info = CatalogSignatureWith(path, file, true)) return info;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  return CatalogSignatureWith(path, file, false);
}

std::uint64_t Ticks(LARGE_INTEGER time) { return static_cast<std::uint64_t>(time.QuadPart); }

// The path the system gives for an opened file or folder; empty when it gives none.
std::string FinalPathOf(HANDLE handle) {
  for (DWORD volume : {DWORD{VOLUME_NAME_DOS}, DWORD{VOLUME_NAME_NT}}) {
    std::wstring buf(512, L'\0');
    DWORD n = GetFinalPathNameByHandleW(handle, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED | volume);
    if (n >= buf.size() && n < 32768) {
      buf.resize(n + 1);
      n = GetFinalPathNameByHandleW(handle, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED | volume);
    }
    if (n > 0 && n < buf.size()) return PlainFinalPath(win32::Narrow(std::wstring_view(buf.data(), n)));
  }
  return {};
}

// The change journal's number of a file's last change; 0 where the volume
// keeps no journal (kept false when it keeps none at all).
std::int64_t UsnOf(HANDLE file, bool& kept) {
  alignas(8) BYTE record[1024];
  DWORD got = 0;
  struct {
    WORD min, max;
  } versions{2, 3};
  if (!DeviceIoControl(file, FSCTL_READ_FILE_USN_DATA, &versions, sizeof versions, record, sizeof record, &got,
                       nullptr) &&
      !DeviceIoControl(file, FSCTL_READ_FILE_USN_DATA, nullptr, 0, record, sizeof record, &got, nullptr)) {
    const DWORD error = GetLastError();
    kept = error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED && error != ERROR_JOURNAL_NOT_ACTIVE &&
           error != ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (got < 8) return 0;
  const WORD major = *reinterpret_cast<const WORD*>(record + 4);
  // The number follows the two file references: of 8 bytes each in version
  // 2, of 16 in version 3.
  const std::size_t at = major >= 3 ? 40 : 24;
  if (got < at + 8) return 0;
  std::int64_t usn = 0;
  std::memcpy(&usn, record + at, sizeof usn);
  return usn;
}

// The volume part of a final path: "c:", "\\\\server\\share", "\\device\\x".
std::string VolumeKeyOf(std::string_view path) {
  std::size_t end = std::string_view::npos;
  if (path.size() >= 2 && path[1] == ':')
    end = 2;
  else if (path.starts_with("\\\\"))
    end = path.find('\\', path.find('\\', 2) + 1);
  else if (path.starts_with("\\"))
    end = path.find('\\', path.find('\\', 1) + 1);
  return AsciiLower(path.substr(0, end));
}

using NtQueryInformationFileFn = LONG(WINAPI*)(HANDLE, void* ioStatus, void* info, ULONG length, ULONG infoClass);
constexpr ULONG kFileInternalInformation = 6;

// The file's 64-bit index on its volume (NTFS's file reference number);
// nullopt where the system does not give it.
std::optional<std::uint64_t> FileIndexOf(HANDLE file) {
  static const auto query = reinterpret_cast<NtQueryInformationFileFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  if (!query) return std::nullopt;
  struct {
    void* pointer;
    ULONG_PTR information;
  } ioStatus{};
  std::uint64_t index = 0;
  if (query(file, &ioStatus, &index, sizeof index, kFileInternalInformation) < 0) return std::nullopt;
  return index;
}

// What one scan knows of each volume: asked of the first file opened on it
// (the volume's own information is slow to ask for each file under an
// emulation layer, which asks its mount manager every time).
class Volumes {
 public:
  struct Volume {
    std::uint64_t serial = 0;
    bool wideIds = false;  // its file ids take 128 bits (ReFS): the 64-bit index may repeat
    bool journal = true;   // it keeps a change journal (until asking shows otherwise)
  };
  Volume Of(const std::string& key, HANDLE file) {
    {
      std::lock_guard lock(mutex_);
      if (const auto it = volumes_.find(key); it != volumes_.end()) return it->second;
    }
    Volume volume;
    DWORD serial = 0, flags = 0;
    wchar_t system[MAX_PATH + 1] = L"";
    if (GetVolumeInformationByHandleW(file, nullptr, 0, &serial, nullptr, &flags, system, MAX_PATH + 1)) {
      volume.serial = serial;
      volume.wideIds = _wcsicmp(system, L"ReFS") == 0;
    }
    std::lock_guard lock(mutex_);
    return volumes_.emplace(key, volume).first->second;
  }
  void NoJournal(const std::string& key) {
    std::lock_guard lock(mutex_);
    volumes_[key].journal = false;
  }
  // Asked again after a few seconds (a drive letter may lead to another
  // volume later), not for each judgement of a page that judges one at a time.
  void Refresh() {
    std::lock_guard lock(mutex_);
    if (GetTickCount64() - since_ < 5000) return;
    volumes_.clear();
    since_ = GetTickCount64();
  }

 private:
  std::mutex mutex_;
  std::map<std::string, Volume> volumes_;
  ULONGLONG since_ = 0;
};

// One file opened for judging; see the header.
class WindowsOpenedFile final : public OpenedFile {
 public:
  WindowsOpenedFile(Volumes& volumes, bool catalogs, const WindowsFacts::CatalogCheck* ownCatalog,
                    const std::string& path)
      : catalogs_(catalogs), ownCatalog_(ownCatalog), path_(path), wide_(win32::ApiPath(path)) {
    file_.reset(CreateFileW(wide_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file_ && GetLastError() == ERROR_SHARING_VIOLATION) {
      // Another program holds it open for writing: read all the same.
      id_.held = false;
      file_.reset(CreateFileW(wide_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    }
    if (!file_) {
      WIN32_FILE_ATTRIBUTE_DATA data;
      if (GetFileAttributesExW(wide_.c_str(), GetFileExInfoStandard, &data) &&
          !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        id_.exists = true;
        id_.readable = false;
        id_.finalPath = LexicalPath(path);
      }
      return;
    }
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(file_.get(), FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(file_.get(), FileStandardInfo, &standard, sizeof standard) ||
        standard.Directory) {
      file_.reset();
      return;
    }
    id_.exists = true;
    id_.stamp.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
    id_.stamp.lastWrite = Ticks(basic.LastWriteTime);
    id_.stamp.changeTime = Ticks(basic.ChangeTime);
    id_.finalPath = FinalPathOf(file_.get());
    if (id_.finalPath.empty()) id_.finalPath = LexicalPath(path);
    const std::string volumeKey = VolumeKeyOf(id_.finalPath);
    const Volumes::Volume volume = volumes.Of(volumeKey, file_.get());
    id_.volume = volume.serial;
    if (volume.journal) {
      bool kept = true;
      id_.stamp.usn = UsnOf(file_.get(), kept);
      if (!kept) volumes.NoJournal(volumeKey);
    }
    const std::optional<std::uint64_t> index = volume.wideIds ? std::nullopt : FileIndexOf(file_.get());
    FILE_ID_INFO fileId{};
    if (index) {
      id_.idLow = *index;
    } else if (GetFileInformationByHandleEx(file_.get(), FileIdInfo, &fileId, sizeof fileId)) {
      std::memcpy(&id_.idLow, fileId.FileId.Identifier, 8);
      std::memcpy(&id_.idHigh, fileId.FileId.Identifier + 8, 8);
    }
  }

  const FileIdentity& Identity() const override { return id_; }

  std::string Sha256() override {
    if (!file_) return {};
    wl::Sha256 hash;
    std::string chunk;
    std::uint64_t at = 0;
    for (;;) {
      // As much as the file holds, up to 1 MiB at a time, and where others
      // may write it, a last small read that finds its end should it have
      // grown (a file none may write ends where its size says).
      const std::uint64_t left = id_.stamp.size > at ? id_.stamp.size - at : 0;
      if (left == 0 && id_.held) break;
      if (!ReadAt(at, static_cast<std::size_t>(std::clamp<std::uint64_t>(left, 4096, 1 << 20)), chunk)) return {};
      if (chunk.empty()) break;
      hash.Update(chunk.data(), chunk.size());
      KeepEnds(at, chunk);
      at += chunk.size();
    }
    endsRead_ = at == id_.stamp.size;
    const auto digest = hash.Final();
    return HexText(digest.data(), digest.size());
  }

  SignatureInfo Signature() override {
    SignatureInfo info;
    if (!file_ || !ReadEnds()) {
      info.state = SignatureState::Unreadable;
      return info;
    }
    // The verifier is asked only about a file that carries a signature of
    // its own: nothing to verify costs nothing (and asks nothing of the system).
    if (SignatureMarkOf(head_, tail_, id_.stamp.size) != SignatureMark::None) {
      SetFilePointer(file_.get(), 0, nullptr, FILE_BEGIN);
      SignatureInfo embedded = VerifyEmbeddedWith(wide_, file_.get());
      if (embedded.state != SignatureState::NotSigned) return embedded;
    }
    // Windows' own files are mostly signed in the system's catalogs only.
    if (ownCatalog_) {
      if (auto catalog = (*ownCatalog_)(path_)) return *catalog;
    } else if (catalogs_) {
      if (auto catalog = CatalogSignatureOf(wide_, file_.get())) return *catalog;
    }
    info.state = SignatureState::NotSigned;
    return info;
  }

  VersionFacts Version() override {
    VersionFacts facts;
    if (!file_) return facts;
    // The version resource lies mostly in the first or last 64 KiB the hash
    // already read (all of a small file): those bytes are not read again.
    const bool ends = ReadEnds();
    const auto read = [this, ends](std::uint64_t offset, std::size_t size) {
      const std::uint64_t fileSize = id_.stamp.size;
      const std::uint64_t tailStart = fileSize > tail_.size() ? fileSize - tail_.size() : 0;
      const std::uint64_t end = std::min<std::uint64_t>(offset + size, fileSize);
      if (ends && offset <= end && end <= head_.size())
        return head_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(end - offset));
      if (ends && offset >= tailStart && offset <= end)
        return tail_.substr(static_cast<std::size_t>(offset - tailStart), static_cast<std::size_t>(end - offset));
      std::string out;
      if (!ReadAt(offset, size, out)) out.clear();
      return out;
    };
    const auto block = FindVersionResource(read, id_.stamp.size);
    if (!block) return facts;
    if (const auto strings = ParseVersionResource(*block)) {
      facts.companyName = strings->companyName;
      facts.originalFilename = strings->originalFilename;
    }
    return facts;
  }

 private:
  static constexpr std::size_t kEnd = 1 << 16;

  // Reads up to size bytes at offset (fewer at the end of the file).
  bool ReadAt(std::uint64_t offset, std::size_t size, std::string& out) {
    out.resize(size);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(file_.get(), out.data(), static_cast<DWORD>(size), &got, &at)) {
      out.clear();
      return GetLastError() == ERROR_HANDLE_EOF;
    }
    out.resize(got);
    return true;
  }

  void KeepEnds(std::uint64_t at, const std::string& chunk) {
    if (at < kEnd) head_.append(chunk, 0, std::min<std::size_t>(chunk.size(), kEnd - at));
    const std::uint64_t size = id_.stamp.size;
    const std::uint64_t tailStart = size > kEnd ? size - kEnd : 0;
    // Bytes past the size it had when opened (it grew meanwhile) are no part of it.
    const std::uint64_t end = std::min<std::uint64_t>(at + chunk.size(), size);
    if (end > tailStart && end > at) {
      const std::size_t from = at >= tailStart ? 0 : static_cast<std::size_t>(tailStart - at);
      tail_.append(chunk, from, static_cast<std::size_t>(end - at) - from);
    }
  }

  // The first and last 64 KiB, read unless the hash read them.
  bool ReadEnds() {
    if (endsRead_) return true;
    head_.clear();
    tail_.clear();
    const std::uint64_t size = id_.stamp.size;
    if (!ReadAt(0, static_cast<std::size_t>(std::min<std::uint64_t>(size, kEnd)), head_)) return false;
    if (size <= kEnd) {
      tail_ = head_;
    } else if (!ReadAt(size - kEnd, kEnd, tail_)) {
      return false;
    }
    endsRead_ = true;
    return true;
  }

  bool catalogs_;
  const WindowsFacts::CatalogCheck* ownCatalog_;
  std::string path_;
  std::wstring wide_;
  win32::UniqueHfile file_;
  FileIdentity id_;
  std::string head_, tail_;
  bool endsRead_ = false;
};

// The SHA-256 thumbprints of the certificates of a system store, opened
// for reading only (never made where missing).
void AddStoreThumbprints(DWORD location, const wchar_t* name, std::unordered_set<std::string>& out) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   location | CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG, name);
  if (!store) return;
  PCCERT_CONTEXT cert = nullptr;
  while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr) {
    wl::Sha256 hash;
    hash.Update(cert->pbCertEncoded, cert->cbCertEncoded);
    const auto digest = hash.Final();
    out.insert(UpperHex(digest.data(), static_cast<DWORD>(digest.size())));
  }
  CertCloseStore(store, 0);
}

std::string CurrentUserSid() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  win32::UniqueHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
  std::string sid = win32::Narrow(text);
  LocalFree(text);
  return sid;
}

std::string AccountNameOf(const std::string& sid) {
  PSID binary = nullptr;
  if (!ConvertStringSidToSidW(win32::Widen(sid).c_str(), &binary)) return {};
  wchar_t name[256], domain[256];
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  std::string text;
  if (LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use)) text = win32::Narrow(name);
  LocalFree(binary);
  return text;
}

// Variables that belong to the user the process runs as, not the machine.
constexpr std::array<std::string_view, 17> kUserVariables = {
    "USERPROFILE", "APPDATA",     "LOCALAPPDATA", "HOMEDRIVE",    "HOMEPATH",        "HOMESHARE",
    "USERNAME",    "USERDOMAIN",  "USERDOMAIN_ROAMINGPROFILE",    "USERDNSDOMAIN",   "LOGONSERVER",
    "TEMP",        "TMP",         "ONEDRIVE",     "ONEDRIVECONSUMER", "ONEDRIVECOMMERCIAL", "SESSIONNAME"};

// One user's environment: variables, search folders and App Paths.
class UserPaths final : public PathFacts {
 public:
  UserPaths(const WindowsFacts& facts, std::string sid) : facts_(facts), sid_(std::move(sid)) {}

  std::string Expand(std::string_view text) const override {
    return ExpandVariables(text, [this](std::string_view name) -> const std::string* {
      const auto it = vars_.find(AsciiUpper(name));
      return it == vars_.end() ? nullptr : &it->second;
    });
  }
  bool IsFile(const std::string& path) const override { return facts_.IsFile(path); }
  const std::vector<std::string>& SearchFolders() const override { return search_; }
  std::string AppPath(const std::string& fileName) const override {
    if (fileName.empty() || fileName.find('\\') != std::string::npos) return {};
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + fileName;
    std::optional<win32::RegKey> opened = win32::RegKey::Open(HKEY_USERS, sid_ + "\\" + key, KEY_READ);
    if (!opened) opened = win32::RegKey::Open(HKEY_LOCAL_MACHINE, key, KEY_READ);
    const auto value = opened ? opened->ReadString("") : std::nullopt;
    if (!value || value->empty()) return {};
    std::string path = Expand(*value);
    if (path.size() >= 2 && path.front() == '"') path = path.substr(1, path.find('"', 1) - 1);
    return path;
  }
  const std::string& WindowsFolder() const override { return facts_.WindowsFolder(); }

  void Set(std::string_view name, std::string value) { vars_[AsciiUpper(name)] = std::move(value); }
  void Erase(std::string_view name) { vars_.erase(AsciiUpper(name)); }
  const std::string* Get(std::string_view name) const {
    const auto it = vars_.find(AsciiUpper(name));
    return it == vars_.end() ? nullptr : &it->second;
  }
  std::vector<std::string>& Search() { return search_; }

 private:
  const WindowsFacts& facts_;
  std::string sid_;
  std::map<std::string, std::string> vars_;  // by upper-case name
  std::vector<std::string> search_;
};

// The folders of a PATH text, in order.
std::vector<std::string> PathFolders(const std::string& path) {
  std::vector<std::string> folders;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = path.find(';', start);
    std::string folder = WithoutTrailingSlash(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') folder = folder.substr(1, folder.size() - 2);
    if (!folder.empty()) folders.push_back(std::move(folder));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return folders;
}

// The string values of a key: the plain ones first, then those to be
// expanded (which may name the plain ones), each in the registry's order.
std::vector<std::pair<std::string, std::string>> StringValues(HKEY root, const std::string& path) {
  std::vector<std::pair<std::string, std::string>> out;
  const auto key = win32::RegKey::Open(root, path, KEY_READ);
  if (!key) return out;
  const std::vector<win32::RegValue> values = key->Values();
  for (DWORD type : {DWORD{REG_SZ}, DWORD{REG_EXPAND_SZ}})
    for (const win32::RegValue& value : values)
      if (value.type == type)
        if (auto text = win32::RegValueString(value)) out.emplace_back(value.name, std::move(*text));
  return out;
}

std::shared_ptr<UserPaths> BuildUserPaths(const WindowsFacts& facts, const std::string& sid,
                                          const std::vector<std::string>& systemSearch) {
  auto user = std::make_shared<UserPaths>(facts, sid);
  // The machine's variables: this process's, less what belongs to the user
  // it runs as.
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
      const std::string entry = win32::Narrow(p);
      const std::size_t equals = entry.find('=', 1);
      if (entry.empty() || entry.front() == '=' || equals == std::string::npos) continue;
      user->Set(entry.substr(0, equals), entry.substr(equals + 1));
    }
    FreeEnvironmentStringsW(block);
  }
  for (std::string_view name : kUserVariables) user->Erase(name);
  for (const char* own : {"Environment", "Volatile Environment"})
    for (const auto& [name, value] : StringValues(HKEY_CURRENT_USER, own)) user->Erase(name);
  const auto machine = StringValues(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
  for (const auto& [name, value] : machine)
    if (EqualsNoCase(name, "Path")) user->Set("PATH", user->Expand(value));

  // The profile, and the folders Windows makes in it.
  std::string profile;
  if (const auto entry =
          win32::RegKey::Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid, KEY_READ))
    if (const auto path = entry->ReadString("ProfileImagePath")) profile = WithoutTrailingSlash(user->Expand(*path));
  const bool loaded = win32::RegKey::Exists(HKEY_USERS, sid);
  if (profile.empty() && loaded)
    if (const auto key = win32::RegKey::Open(HKEY_USERS, sid + "\\Volatile Environment", KEY_READ))
      if (const auto path = key->ReadString("USERPROFILE")) profile = WithoutTrailingSlash(*path);
  if (!profile.empty()) {
    user->Set("USERPROFILE", profile);
    user->Set("APPDATA", profile + "\\AppData\\Roaming");
    user->Set("LOCALAPPDATA", profile + "\\AppData\\Local");
    user->Set("TEMP", profile + "\\AppData\\Local\\Temp");
    user->Set("TMP", profile + "\\AppData\\Local\\Temp");
    if (profile.size() > 2 && profile[1] == ':') {
      user->Set("HOMEDRIVE", profile.substr(0, 2));
      user->Set("HOMEPATH", profile.substr(2));
    }
  }
  if (const std::string name = AccountNameOf(sid); !name.empty()) user->Set("USERNAME", name);
  // What the user's own hive sets, where it is loaded.
  if (loaded) {
    for (const auto& [name, value] : StringValues(HKEY_USERS, sid + "\\Volatile Environment")) user->Set(name, value);
    for (const auto& [name, value] : StringValues(HKEY_USERS, sid + "\\Environment")) {
      std::string expanded = user->Expand(value);
      if (EqualsNoCase(name, "Path")) {
        const std::string* machinePath = user->Get("PATH");
        if (machinePath && !machinePath->empty()) expanded = *machinePath + ";" + expanded;
        user->Set("PATH", std::move(expanded));
      } else {
        user->Set(name, std::move(expanded));
      }
    }
  }
  user->Search() = systemSearch;
  if (const std::string* path = user->Get("PATH"))
    for (std::string& folder : PathFolders(*path)) user->Search().push_back(std::move(folder));
  return user;
}

// The registry keys of the root stores the machine and the user keep
// (their "Certificates" keys change with every root added or removed).
const std::pair<HKEY, const char*> kRootStoreKeys[] = {
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\SystemCertificates\\ROOT\\Certificates"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\SystemCertificates\\AuthRoot\\Certificates"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\Root\\Certificates"},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\EnterpriseCertificates\\Root\\Certificates"},
    {HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\SystemCertificates\\Root\\Certificates"},
    {HKEY_CURRENT_USER, "SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\Root\\Certificates"},
};
constexpr ULONGLONG kHostsCheckedFor = 5000;  // ms

// The hosts whose copies the judge knows by their contents: in the system
// folder, and in the 32-bit one where there is one.
std::vector<std::pair<std::string, std::string>> HostFiles() {
  std::vector<std::pair<std::string, std::string>> files;  // path, host's name
  std::vector<std::string> folders = {SystemFolder()};
  wchar_t wow[MAX_PATH + 1] = L"";
  const UINT n = GetSystemWow64DirectoryW(wow, MAX_PATH);
  if (n > 0 && n < MAX_PATH) folders.push_back(win32::Narrow(std::wstring_view(wow, n)));
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    files.emplace_back(folder + "\\WindowsPowerShell\\v1.0\\powershell.exe", "powershell.exe");
    for (const char* name :
         {"rundll32.exe", "regsvr32.exe", "mshta.exe", "wscript.exe", "cscript.exe", "cmd.exe", "msiexec.exe"})
      files.emplace_back(folder + "\\" + name, name);
  }
  files.emplace_back(SystemFolder() + "\\svchost.exe", "svchost.exe");
  return files;
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
  win32::UniqueHfile file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  return CatalogSignatureOf(wide, file.get());
}

// What the facts keep for a scan, read again for the next.
struct WindowsFacts::State {
  std::mutex mutex;
  std::string self;  // the current user's SID
  bool rootsRead = false;
  std::vector<std::uint64_t> rootStamps;  // when the stores' keys were last written, as read
  std::unordered_set<std::string> machineRoots, userRoots;
  struct Host {
    std::string path, name, sha256;
    ChangeStamp stamp;
    std::uint64_t idLow = 0, idHigh = 0, volume = 0;
  };
  std::vector<Host> hosts;
  bool hostsChecked = false;
  ULONGLONG hostsCheckedAt = 0;
  std::map<std::string, std::shared_ptr<const PathFacts>> users;  // by upper-case SID
  Volumes volumes;
};

WindowsFacts::WindowsFacts(CatalogCheck catalog)
    : catalog_(std::move(catalog)), ownCatalogCheck_(catalog_ != nullptr), state_(std::make_unique<State>()) {
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
  // The folders as the files in them are named once opened (a temporary
  // folder may be given by its short name).
  auto real = [this](std::string& folder) {
    if (std::string final = FolderFinalPath(folder); !final.empty()) folder = std::move(final);
  };
  real(folders_.windows);
  for (std::string& folder : folders_.programFiles) real(folder);
  real(folders_.programData);
  real(folders_.profiles);
  for (std::string& folder : folders_.temp) real(folder);

  const std::string system = SystemFolder();
  search_ = {system, folders_.windows.empty() ? std::string() : folders_.windows + "\\System", folders_.windows};
  const std::string path = Expand("%PATH%");
  if (path != "%PATH%")
    for (std::string& folder : PathFolders(path)) search_.push_back(std::move(folder));
  catalogsPresent_ = CatalogsPresent(system);
  state_->self = AsciiUpper(CurrentUserSid());
}

WindowsFacts::~WindowsFacts() = default;

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

bool WindowsFacts::IsFile(const std::string& path) const {
  if (path.empty()) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExW(win32::ApiPath(path).c_str(), GetFileExInfoStandard, &data) &&
         !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<OpenedFile> WindowsFacts::Open(const std::string& path) const {
  return std::make_unique<WindowsOpenedFile>(state_->volumes, catalogsPresent_, ownCatalogCheck_ ? &catalog_ : nullptr,
                                             path);
}

FolderListing WindowsFacts::ListFolder(const std::string& folder) const {
  FolderListing listing;
  WIN32_FIND_DATAW found;
  const std::string pattern = folder.ends_with('\\') ? folder + "*" : folder + "\\*";
  win32::UniqueFind find(FindFirstFileExW(win32::ApiPath(pattern).c_str(), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) {
    const DWORD error = GetLastError();
    // An empty drive's root has no entries at all; a missing folder has no files.
    if (error == ERROR_FILE_NOT_FOUND) listing.state = FolderListing::State::Listed;
    if (error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY) listing.state = FolderListing::State::Missing;
    return listing;
  }
  listing.state = FolderListing::State::Listed;
  do {
    // Files only: a folder is no program (IsFile says no to it too).
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    listing.names.push_back(win32::Narrow(found.cFileName));
  } while (FindNextFileW(find.get(), &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) return {};  // cut short: answer nothing from it
  return listing;
}

std::string WindowsFacts::FolderFinalPath(const std::string& folder) const {
  if (folder.empty()) return {};
  win32::UniqueHfile handle(CreateFileW(win32::ApiPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle ? FinalPathOf(handle.get()) : std::string();
}

RootStore WindowsFacts::RootStoreOf(const std::string& rootThumbprint) const {
  std::lock_guard lock(state_->mutex);
  if (!state_->rootsRead) {
    // Read again only when a store's certificates changed since they were read.
    std::vector<std::uint64_t> stamps;
    for (const auto& [root, path] : kRootStoreKeys) {
      FILETIME written{};
      if (const auto key = win32::RegKey::Open(root, path, KEY_QUERY_VALUE))
        RegQueryInfoKeyW(key->get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &written);
      stamps.push_back((std::uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime);
    }
    state_->rootsRead = stamps == state_->rootStamps && !state_->rootStamps.empty();
    state_->rootStamps = std::move(stamps);
  }
  if (!state_->rootsRead) {
    state_->machineRoots.clear();
    state_->userRoots.clear();
    AddStoreThumbprints(CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT", state_->machineRoots);
    AddStoreThumbprints(CERT_SYSTEM_STORE_LOCAL_MACHINE, L"AuthRoot", state_->machineRoots);
    AddStoreThumbprints(CERT_SYSTEM_STORE_LOCAL_MACHINE_GROUP_POLICY, L"ROOT", state_->machineRoots);
    AddStoreThumbprints(CERT_SYSTEM_STORE_LOCAL_MACHINE_ENTERPRISE, L"ROOT", state_->machineRoots);
    AddStoreThumbprints(CERT_SYSTEM_STORE_CURRENT_USER, L"ROOT", state_->userRoots);
    AddStoreThumbprints(CERT_SYSTEM_STORE_CURRENT_USER_GROUP_POLICY, L"ROOT", state_->userRoots);
    state_->rootsRead = true;
  }
  const std::string key = AsciiUpper(rootThumbprint);
  if (state_->machineRoots.count(key)) return RootStore::Machine;
  if (state_->userRoots.count(key)) return RootStore::UserOnly;
  return RootStore::None;
}

std::vector<KnownHost> WindowsFacts::KnownHosts() const {
  std::lock_guard lock(state_->mutex);
  // The hosts are Windows' own files: only an administrator changes them, and
  // they are looked at again at most every few seconds (a page that judges
  // one module at a time would otherwise open them for each).
  if (state_->hostsChecked && GetTickCount64() - state_->hostsCheckedAt > kHostsCheckedFor) state_->hostsChecked = false;
  if (!state_->hostsChecked) {
    state_->hostsCheckedAt = GetTickCount64();
    // Hashed again only where a host's file changed since it was hashed.
    std::vector<State::Host> hosts;
    for (const auto& [path, name] : HostFiles()) {
      WindowsOpenedFile file(state_->volumes, false, nullptr, path);
      const FileIdentity& id = file.Identity();
      if (!id.exists || !id.readable) continue;
      State::Host host{path, name, {}, id.stamp, id.idLow, id.idHigh, id.volume};
      for (const State::Host& known : state_->hosts)
        if (known.path == path && known.stamp == id.stamp && known.idLow == id.idLow && known.idHigh == id.idHigh &&
            known.volume == id.volume)
          host.sha256 = known.sha256;
      if (host.sha256.empty()) host.sha256 = file.Sha256();
      if (!host.sha256.empty()) hosts.push_back(std::move(host));
    }
    state_->hosts = std::move(hosts);
    state_->hostsChecked = true;
  }
  std::vector<KnownHost> out;
  for (const State::Host& host : state_->hosts) out.push_back({host.sha256, host.name});
  return out;
}

std::shared_ptr<const PathFacts> WindowsFacts::UserEnvironment(const std::string& sid) const {
  const std::string key = AsciiUpper(sid);
  if (key.empty() || key == state_->self) return nullptr;
  std::lock_guard lock(state_->mutex);
  auto& user = state_->users[key];
  if (!user) user = BuildUserPaths(*this, sid, {search_.begin(), search_.begin() + std::min<std::size_t>(3, search_.size())});
  return user;
}

void WindowsFacts::NewScan() const {
  std::lock_guard lock(state_->mutex);
  state_->rootsRead = false;
  state_->users.clear();
  state_->volumes.Refresh();
}

SignatureInfo WindowsFacts::Signature(const std::string& path) const {
  WindowsOpenedFile file(state_->volumes, catalogsPresent_, ownCatalogCheck_ ? &catalog_ : nullptr, path);
  if (!file.Identity().exists) {
    SignatureInfo unreadable;
    unreadable.state = SignatureState::Unreadable;
    return unreadable;
  }
  return file.Signature();
}

std::string WindowsFacts::Sha256(const std::string& path) const {
  WindowsOpenedFile file(state_->volumes, false, nullptr, path);
  return file.Sha256();
}

}  // namespace wl
