// A system for the judge's tests: files, environment and folders as a test
// sets them, signatures as it says.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "judge/judge.h"

namespace wl::testing {

struct FakeFile {
  FileIdentity stamp;
  SignatureInfo signature;
  std::string company;
};

class FakeFacts : public SystemFacts {
 public:
  FakeFacts() {
    folders.windows = "C:\\Windows";
    folders.programFiles = {"C:\\Program Files", "C:\\Program Files (x86)"};
    folders.programData = "C:\\ProgramData";
    folders.profiles = "C:\\Users";
    folders.temp = {"C:\\Users\\me\\AppData\\Local\\Temp", "C:\\Windows\\Temp"};
    search = {"C:\\Windows\\System32", "C:\\Windows\\System", "C:\\Windows"};
  }

  FakeFile& AddFile(const std::string& path, SignatureState state = SignatureState::NotSigned,
                    const std::string& signer = {}, const std::string& root = {}) {
    FakeFile& file = files[ComparablePath(path)];
    file.stamp = {true, 1000, 1};
    file.signature.state = state;
    file.signature.signer = signer;
    file.signature.rootThumbprint = root;
    return file;
  }

  std::string Expand(std::string_view text) const override {
    std::string out(text);
    for (const auto& [name, value] : env) {
      const std::string token = "%" + name + "%";
      for (std::size_t at; (at = out.find(token)) != std::string::npos;) out.replace(at, token.size(), value);
    }
    return out;
  }
  const std::vector<std::string>& SearchFolders() const override { return search; }
  std::string AppPath(const std::string& fileName) const override {
    const auto it = appPaths.find(fileName);
    return it == appPaths.end() ? std::string() : it->second;
  }
  const std::string& WindowsFolder() const override { return folders.windows; }
  FileIdentity Stat(const std::string& path) const override {
    const auto it = files.find(ComparablePath(path));
    return it == files.end() ? FileIdentity{} : it->second.stamp;
  }
  const KnownFolders& Folders() const override { return folders; }
  bool SystemCatalogsPresent() const override { return catalogs; }
  SignatureInfo Signature(const std::string& path) const override {
    ++signatureCalls;
    const auto it = files.find(ComparablePath(path));
    if (it == files.end()) {
      SignatureInfo unreadable;
      unreadable.state = SignatureState::Unreadable;
      return unreadable;
    }
    return it->second.signature;
  }
  std::string CompanyName(const std::string& path) const override {
    const auto it = files.find(ComparablePath(path));
    return it == files.end() ? std::string() : it->second.company;
  }
  std::string Sha256(const std::string& path) const override { return "sha-of-" + ComparablePath(path); }

  std::map<std::string, FakeFile> files;
  std::map<std::string, std::string> env;
  std::map<std::string, std::string> appPaths;
  KnownFolders folders;
  std::vector<std::string> search;
  bool catalogs = false;
  mutable std::atomic<int> signatureCalls{0};
};

}  // namespace wl::testing
