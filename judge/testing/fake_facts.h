// A system for the judge's tests: files, environment and folders as a test
// sets them, signatures as it says; every lookup, listing and opening
// counted.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "judge/judge.h"

namespace wl::testing {

struct FakeFile {
  ChangeStamp stamp{1000, 1, 1, 0};
  std::uint64_t id = 0;  // given when added
  SignatureInfo signature;
  std::string company;
  std::string originalFilename;
  std::string sha256;     // empty: "sha-of-" and the path
  std::string finalPath;  // where the file is; the path it was added under when empty
  bool readable = true;
  bool held = true;
};

// Variables, search folders and App Paths of one user, for expansion.
class FakeEnvironment : public PathFacts {
 public:
  explicit FakeEnvironment(const PathFacts& files) : files_(files) {}
  std::string Expand(std::string_view text) const override {
    std::string out(text);
    for (const auto& [name, value] : env) {
      const std::string token = "%" + name + "%";
      for (std::size_t at; (at = out.find(token)) != std::string::npos;) out.replace(at, token.size(), value);
    }
    return out;
  }
  bool IsFile(const std::string& path) const override { return files_.IsFile(path); }
  const std::vector<std::string>& SearchFolders() const override { return search; }
  std::string AppPath(const std::string& fileName) const override {
    const auto it = appPaths.find(fileName);
    return it == appPaths.end() ? std::string() : it->second;
  }
  const std::string& WindowsFolder() const override { return files_.WindowsFolder(); }

  std::map<std::string, std::string> env;
  std::map<std::string, std::string> appPaths;
  std::vector<std::string> search;

 private:
  const PathFacts& files_;
};

class FakeFacts : public SystemFacts {
  FakeEnvironment own_{*this};  // the current user's variables and search folders

 public:
  FakeFacts() {
    folders.windows = "C:\\Windows";
    folders.programFiles = {"C:\\Program Files", "C:\\Program Files (x86)"};
    folders.programData = "C:\\ProgramData";
    folders.profiles = "C:\\Users";
    folders.temp = {"C:\\Users\\me\\AppData\\Local\\Temp", "C:\\Windows\\Temp"};
    own_.search = {"C:\\Windows\\System32", "C:\\Windows\\System", "C:\\Windows"};
  }

  FakeFile& AddFile(const std::string& path, SignatureState state = SignatureState::NotSigned,
                    const std::string& signer = {}, const std::string& root = {}) {
    FakeFile& file = files[ComparablePath(path)];
    file.id = ++lastId_;
    file.signature.state = state;
    file.signature.signer = signer;
    file.signature.rootThumbprint = root;
    return file;
  }
  // Another name of a file already added (a short name, a link).
  void AddAlias(const std::string& alias, const std::string& path) { aliases[ComparablePath(alias)] = ComparablePath(path); }
  FakeEnvironment& AddUser(const std::string& sid) {
    auto& user = users[sid];
    user = std::make_shared<FakeEnvironment>(*this);
    return *user;
  }

  std::string Expand(std::string_view text) const override { return own_.Expand(text); }
  const std::vector<std::string>& SearchFolders() const override { return own_.search; }
  std::string AppPath(const std::string& fileName) const override { return own_.AppPath(fileName); }
  const std::string& WindowsFolder() const override { return folders.windows; }
  bool IsFile(const std::string& path) const override {
    ++lookups;
    return Find(path) != nullptr;
  }
  FolderListing ListFolder(const std::string& folder) const override {
    ++listings;
    FolderListing listing;
    if (!listable) return listing;
    const std::string key = ComparablePath(folder);
    listing.state = FolderListing::State::Missing;
    for (const auto& [path, file] : files) {
      const std::size_t slash = path.find_last_of('\\');
      if (slash == std::string::npos || path.compare(0, slash, key) != 0 || slash != key.size()) continue;
      listing.state = FolderListing::State::Listed;
      listing.names.push_back(path.substr(slash + 1));
    }
    return listing;
  }
  std::unique_ptr<OpenedFile> Open(const std::string& path) const override {
    ++opens;
    auto opened = std::make_unique<Opened>(*this);
    if (const FakeFile* file = Find(path)) {
      opened->file = *file;
      opened->key = Key(path);
      FileIdentity& id = opened->identity;
      id.exists = true;
      id.readable = file->readable;
      id.held = file->held;
      id.finalPath = file->finalPath.empty() ? path : file->finalPath;
      id.volume = 7;
      id.idLow = file->id;
      id.stamp = file->stamp;
    }
    return opened;
  }
  std::string FolderFinalPath(const std::string& folder) const override {
    const auto it = folderAliases.find(ComparablePath(folder));
    return it == folderAliases.end() ? std::string() : it->second;
  }
  const KnownFolders& Folders() const override { return folders; }
  bool SystemCatalogsPresent() const override { return catalogs; }
  RootStore RootStoreOf(const std::string& root) const override {
    if (userRoots.count(root)) return RootStore::UserOnly;
    if (strayRoots.count(root)) return RootStore::None;
    return RootStore::Machine;
  }
  std::vector<KnownHost> KnownHosts() const override { return hosts; }
  std::shared_ptr<const PathFacts> UserEnvironment(const std::string& sid) const override {
    const auto it = users.find(sid);
    return it == users.end() ? nullptr : it->second;
  }
  void NewScan() const override { ++scans; }

  std::map<std::string, FakeFile> files;
  std::map<std::string, std::string> aliases;
  std::map<std::string, std::string> folderAliases;  // folder -> its real path
  std::map<std::string, std::shared_ptr<FakeEnvironment>> users;
  std::map<std::string, std::string>& env = own_.env;
  std::map<std::string, std::string>& appPaths = own_.appPaths;
  std::vector<std::string>& search = own_.search;
  KnownFolders folders;
  bool catalogs = false;
  bool listable = true;
  std::set<std::string> userRoots, strayRoots;
  std::vector<KnownHost> hosts;
  mutable std::atomic<int> signatureCalls{0};
  mutable std::atomic<int> lookups{0}, listings{0}, opens{0}, scans{0};

 private:
  struct Opened : OpenedFile {
    explicit Opened(const FakeFacts& facts) : facts_(facts) {}
    const FileIdentity& Identity() const override { return identity; }
    SignatureInfo Signature() override {
      ++facts_.signatureCalls;
      return file.signature;
    }
    VersionFacts Version() override { return {file.company, file.originalFilename}; }
    std::string Sha256() override { return file.sha256.empty() ? "sha-of-" + key : file.sha256; }
    const FakeFacts& facts_;
    FileIdentity identity;
    FakeFile file;
    std::string key;
  };

  std::string Key(const std::string& path) const {
    const std::string key = ComparablePath(path);
    const auto alias = aliases.find(key);
    return alias == aliases.end() ? key : alias->second;
  }
  const FakeFile* Find(const std::string& path) const {
    const auto it = files.find(Key(path));
    return it == files.end() ? nullptr : &it->second;
  }

  std::uint64_t lastId_ = 0;
};

}  // namespace wl::testing
