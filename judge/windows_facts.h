// What the judge asks of this system: environment, files, the search order,
// the known folders, version information, and Authenticode signatures
// through the system's own verifier (the file's embedded signature, else
// the catalog that lists it; no user interface, no network: revocation only
// from what the system has cached).
//
// A file is opened once, sharing reading only (no program can change it
// while it is judged), and everything is read through that handle: its
// final path (long names, no ".."), its volume and id, its change stamp,
// its bytes for the hash, the version resource and the signature mark, and
// the verifier reads it through the same handle.
#pragma once

#include <functional>
#include <memory>
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
  ~WindowsFacts() override;

  std::string Expand(std::string_view text) const override;
  bool IsFile(const std::string& path) const override;
  const std::vector<std::string>& SearchFolders() const override { return search_; }
  std::string AppPath(const std::string& fileName) const override;
  const std::string& WindowsFolder() const override { return folders_.windows; }
  std::unique_ptr<OpenedFile> Open(const std::string& path) const override;
  FolderListing ListFolder(const std::string& folder) const override;
  std::string FolderFinalPath(const std::string& folder) const override;
  const KnownFolders& Folders() const override { return folders_; }
  bool SystemCatalogsPresent() const override { return catalogsPresent_; }
  // The machine's root stores (its own, the third-party roots, the group
  // policy's and the enterprise's) against the current user's.
  RootStore RootStoreOf(const std::string& rootThumbprint) const override;
  // The command-line hosts of the system folders (64- and 32-bit).
  std::vector<KnownHost> KnownHosts() const override;
  // The user's profile folder (ProfileList) and, where the user's hive is
  // loaded, its Volatile Environment and Environment; the profile's
  // defaults where it is not. A user the system lists no profile of gets
  // the machine's variables only.
  std::shared_ptr<const PathFacts> UserEnvironment(const std::string& sid) const override;
  void NewScan() const override;

  // One file's signature and hash as the judge reads them.
  SignatureInfo Signature(const std::string& path) const;
  std::string Sha256(const std::string& path) const;

 private:
  struct State;
  CatalogCheck catalog_;
  bool ownCatalogCheck_ = false;  // a catalog check was given (else the system's, where it has catalogs)
  KnownFolders folders_;
  std::vector<std::string> search_;
  bool catalogsPresent_ = false;
  std::unique_ptr<State> state_;
};

// The embedded signature of a file, as the system's verifier sees it.
SignatureInfo VerifyEmbeddedSignature(const std::string& path);
// The file's signature from the system's catalogs; nullopt when none lists it.
std::optional<SignatureInfo> VerifyCatalogSignature(const std::string& path);
// What a verifier's answer means.
SignatureState SignatureStateOf(long status, unsigned long lastError);

}  // namespace wl
