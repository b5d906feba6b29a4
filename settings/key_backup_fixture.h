// For tests that change real registry locations: copies a key with all its
// values and sub-keys when created, and puts it back exactly (or removes it,
// when it did not exist) when destroyed.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "win32/registry.h"

namespace wl::test {

// Test programs run in parallel: tests that change the same shared registry
// place hold this named, machine-wide lock while they run.
class RegistryLock {
 public:
  explicit RegistryLock(const std::string& name = "WardenlakeTestClassesRoot");
  ~RegistryLock();
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;

 private:
  HANDLE mutex_ = nullptr;
};

class KeyBackup {
 public:
  KeyBackup(HKEY root, std::string path);
  ~KeyBackup();
  KeyBackup(const KeyBackup&) = delete;
  KeyBackup& operator=(const KeyBackup&) = delete;

 private:
  struct Node {
    std::vector<win32::RegValue> values;
    std::map<std::string, std::unique_ptr<Node>> children;
  };
  static std::unique_ptr<Node> Capture(HKEY root, const std::string& path);
  static void Restore(HKEY root, const std::string& path, const Node& node);

  HKEY root_;
  std::string path_;
  std::unique_ptr<Node> saved_;  // null: the key did not exist
};

}  // namespace wl::test
