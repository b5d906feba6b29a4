// What the judge asks of this system: environment, files, the search order,
// the known folders, version information, and Authenticode signatures
// through the system's own verifier (the file's embedded signature, else
// the catalog that lists it; no user interface, no network: revocation only
// from what the system has cached).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "judge/judge.h"

namespace wl {

class WindowsFacts : public SystemFacts {
 public:
  // How the catalog signature of a file that has none of its own is found
  // and checked: nullopt when no catalog lists it. The system's catalogs
  // unless another check is given (tests: the emulation layer has no
  // catalogs of Windows' files to test against).
  using CatalogCheck = std::function<std::optional<SignatureInfo>(const std::string& path)>;
  explicit WindowsFacts(CatalogCheck catalog = {});

  std::string Expand(std::string_view text) const override;
  const std::vector<std::string>& SearchFolders() const override { return search_; }
  std::string AppPath(const std::string& fileName) const override;
  const std::string& WindowsFolder() const override { return folders_.windows; }
  FileIdentity Stat(const std::string& path) const override;
  const KnownFolders& Folders() const override { return folders_; }
  bool SystemCatalogsPresent() const override { return catalogsPresent_; }
  SignatureInfo Signature(const std::string& path) const override;
  std::string CompanyName(const std::string& path) const override;
  std::string Sha256(const std::string& path) const override;

 private:
  CatalogCheck catalog_;
  bool ownCatalogCheck_ = false;  // a catalog check was given (else the system's, where it has catalogs)
  KnownFolders folders_;
  std::vector<std::string> search_;
  bool catalogsPresent_ = false;
};

// The embedded signature of a file, as the system's verifier sees it.
SignatureInfo VerifyEmbeddedSignature(const std::string& path);
// The file's signature from the system's catalogs; nullopt when none lists it.
std::optional<SignatureInfo> VerifyCatalogSignature(const std::string& path);
// What a verifier's answer means.
SignatureState SignatureStateOf(long status, unsigned long lastError);

}  // namespace wl
