// The signed test programs (made by judge/testdata/make_signed.sh), copies
// of them where real ones would be, and their roots in the system's
// certificate stores while a test needs them there.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/utf8_path.h"
#include "tests/support/test_support.h"
#include "win32/unicode.h"

namespace wl::test {

inline std::string Signed(const std::string& name) { return BinaryDir() + "\\signed\\" + name; }

// The SHA-256 of the test root (upper-case hex).
inline std::string TestRoot() {
  std::string root = ReadBytes(Signed("root.sha256"));
  while (!root.empty() && (root.back() == '\n' || root.back() == '\r')) root.pop_back();
  return root;
}

// A folder the environment names ("ProgramFiles", "LOCALAPPDATA", "PUBLIC" …).
inline std::string KnownFolder(const char* variable) {
  wchar_t buf[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(win32::Widen(variable).c_str(), buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? win32::Narrow(std::wstring_view(buf, n)) : std::string();
}

// A copy of a program where a real one would be, its folder removed afterwards.
class PlacedCopy {
 public:
  PlacedCopy(const std::string& folder, const std::string& source, const std::string& name)
      : folder_(PathFromUtf8(folder)) {
    std::filesystem::create_directories(folder_);
    path_ = folder + "\\" + name;
    std::filesystem::copy_file(PathFromUtf8(source), PathFromUtf8(path_),
                               std::filesystem::copy_options::overwrite_existing);
  }
  ~PlacedCopy() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  PlacedCopy(const PlacedCopy&) = delete;
  PlacedCopy& operator=(const PlacedCopy&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::filesystem::path folder_;
  std::string path_;
};

// While held, no other test program puts the test root into the machine's
// root store (a test that needs it there, or needs it not there).
class MachineRootLock {
 public:
  MachineRootLock() : lock_(CreateMutexW(nullptr, FALSE, L"WardenlakeTestRootInMachineStore")) {
    if (lock_) WaitForSingleObject(lock_, INFINITE);
  }
  ~MachineRootLock() {
    if (lock_) {
      ReleaseMutex(lock_);
      CloseHandle(lock_);
    }
  }
  MachineRootLock(const MachineRootLock&) = delete;
  MachineRootLock& operator=(const MachineRootLock&) = delete;

 private:
  HANDLE lock_;
};

// A root certificate (DER file) in a system root store while held: the
// machine's (as a publisher's root is on a PC; one test program at a time
// holds the test root there) or the current user's.
class RootInStore {
 public:
  RootInStore(const std::string& derFile, DWORD location) : location_(location) {
    if (location_ == CERT_SYSTEM_STORE_LOCAL_MACHINE) lock_ = std::make_unique<MachineRootLock>();
    der_ = ReadBytes(derFile);
    Change(true);
  }
  ~RootInStore() { Change(false); }
  RootInStore(const RootInStore&) = delete;
  RootInStore& operator=(const RootInStore&) = delete;
  bool ok() const { return ok_; }

 private:
  void Change(bool add) {
    // The store's own registry part: what is added or deleted there stays so.
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, location_, L"ROOT");
    if (!store) return;
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der_.data()),
                                                       static_cast<DWORD>(der_.size()));
    if (cert) {
      if (add) {
        ok_ = CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
      } else if (PCCERT_CONTEXT found =
                     CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr)) {
        CertDeleteCertificateFromStore(found);
      }
      CertFreeCertificateContext(cert);
    }
    CertCloseStore(store, 0);
  }

  DWORD location_;
  std::unique_ptr<MachineRootLock> lock_;
  std::string der_;
  bool ok_ = false;
};

}  // namespace wl::test
