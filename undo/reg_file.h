// The registry part of a change set as a registry file (".reg") that the
// system's "reg import" and registry editor take as it is, so that a person
// can put the registry back by hand. Portable.
//
// The file is UTF-16LE with a byte-order mark and the "Windows Registry
// Editor Version 5.00" header. Every value is written in the hex(N) form,
// whatever its type, so an import gives the very bytes that were saved (odd
// sizes, strings without their terminating zero, unknown types). Names are
// written as they are (quotes and backslashes escaped, any other text as it
// is); a key or value whose name holds a line break or a zero, which the
// format cannot hold, is left out with a comment line naming it (a restore
// from the change set still puts it back).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "undo/backup_manifest.h"

namespace wl::undo {

struct RegFileValue {
  std::string name;     // "" is the key's default value ("@")
  bool remove = false;  // "name"=-
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

struct RegFileKey {
  std::string path;     // "HKEY_LOCAL_MACHINE\Software\…"
  bool remove = false;  // [-path]: the key and everything below it
  std::vector<RegFileValue> values;
};

// The file's bytes.
std::vector<uint8_t> WriteRegFile(const std::vector<RegFileKey>& keys);

// The keys that put the registry back as the change set found it: the
// items from the last to the first (each kind adds its own), so that where
// two items touched the same place the older state wins. A key of the
// 32-bit view is written under its "Wow6432Node" path.
std::vector<RegFileKey> RegFileKeysFor(const ChangeSetManifest& manifest);

// A key as it was, with everything below it (each key and its values).
void AddRegFileTree(const std::string& path, const RegTreeCopy& tree, std::vector<RegFileKey>& out);

// The full path a registry item names in a .reg file ("root\key", with the
// 32-bit view mapped to its "Wow6432Node" path).
std::string RegFilePath(const std::string& root, const std::string& key, const std::string& view);

}  // namespace wl::undo
