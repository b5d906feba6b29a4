#include "settings/key_backup_fixture.h"

#include "win32/registry_write.h"
#include "win32/unicode.h"

namespace wl::test {

using win32::RegKey;
using win32::RegWriteKey;

RegistryLock::RegistryLock(const std::string& name) {
  mutex_ = CreateMutexW(nullptr, FALSE, win32::Widen("Local\\" + name).c_str());
  if (mutex_) WaitForSingleObject(mutex_, 120000);
}

RegistryLock::~RegistryLock() {
  if (mutex_) {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
}

KeyBackup::KeyBackup(HKEY root, std::string path) : root_(root), path_(std::move(path)) {
  saved_ = Capture(root_, path_);
}

KeyBackup::~KeyBackup() {
  RegWriteKey::DeleteTree(root_, path_);
  if (saved_) Restore(root_, path_, *saved_);
}

std::unique_ptr<KeyBackup::Node> KeyBackup::Capture(HKEY root, const std::string& path) {
  const auto key = RegKey::Open(root, path, KEY_READ);
  if (!key) return nullptr;
  auto node = std::make_unique<Node>();
  node->values = key->Values();
  for (const auto& name : key->SubKeyNames()) {
    auto child = Capture(root, path + "\\" + name);
    if (child) node->children[name] = std::move(child);
  }
  return node;
}

void KeyBackup::Restore(HKEY root, const std::string& path, const Node& node) {
  const auto key = RegWriteKey::Create(root, path);
  if (!key) return;
  for (const auto& v : node.values) key->WriteRaw(v.name, v.type, v.data);
  for (const auto& [name, child] : node.children) Restore(root, path + "\\" + name, *child);
}

}  // namespace wl::test
