// The pieces of the system a backup keeps, as plain portable types: a
// registry value, a key with everything below it, a service's
// configuration, a file's compressed copy, a Winsock provider. The kinds of
// change (undo/kinds/) are made of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wl::undo {

// One registry value: name, type and the raw bytes exactly as stored.
struct RegValueCopy {
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  bool operator==(const RegValueCopy&) const = default;
};

// A key with its values and sub-keys (empty ones included).
struct RegTreeCopy {
  std::string name;  // the key's own name (the last part of its path)
  std::vector<RegValueCopy> values;
  std::vector<RegTreeCopy> keys;
  bool operator==(const RegTreeCopy&) const = default;
};

// What the service control manager needs to create a removed service again.
struct ServiceConfigCopy {
  std::string name;  // the service's key name
  std::string displayName;
  std::string description;
  std::string binaryPath;
  std::string account;
  std::string group;
  std::vector<std::string> dependencies;  // services, and groups with a leading "+"
  uint32_t serviceType = 0;
  uint32_t startType = 0;
  uint32_t errorControl = 0;
  bool operator==(const ServiceConfigCopy&) const = default;
};

// A file kept in the change set's folder, compressed (never in a form that
// could be started by accident).
struct FileCopy {
  std::string copyName;  // the compressed copy, relative to the change set's folder
  uint64_t size = 0;
  uint32_t crc32 = 0;  // of the original bytes
  uint64_t created = 0, accessed = 0, written = 0;  // FILETIME values
  uint32_t attributes = 0;
  bool operator==(const FileCopy&) const = default;
};

// A Winsock provider as its catalog's setup routines list it: enough to
// install it again through them.
struct WinsockProviderCopy {
  bool nameSpace = false;  // a namespace provider (else a protocol provider)
  bool wow32 = false;      // of the 32-bit programs' catalog
  std::string providerId;  // "{GUID}"
  std::string dllPath;
  std::vector<std::vector<uint8_t>> protocols;  // each catalog entry's description, in order
  std::string displayName;                      // a namespace provider's
  uint32_t nameSpaceId = 0, version = 0;
  bool enabled = true;
  bool operator==(const WinsockProviderCopy&) const = default;
};

// A registry key a change names: "HKEY_LOCAL_MACHINE", the path below it and
// the view ("default", "64", "32").
struct RegPlace {
  std::string root, key, view = "default";
  bool operator==(const RegPlace&) const = default;
};

// An entry of a store that is kept as text: a certificate of a system store,
// a WMI instance, a transfer job. What the store is, the entry's name in it,
// whether it was there and its text then, and what the change wrote.
struct StoreEntry {
  std::string store;  // the certificate store, the WMI namespace; empty for a transfer job
  std::string entry;  // the thumbprint, the relative path, the job's identifier
  bool existed = false;
  std::string text;                      // what it was (when it existed)
  std::optional<std::string> textAfter;  // what was written (none: deleted)
  bool operator==(const StoreEntry&) const = default;
};

}  // namespace wl::undo
