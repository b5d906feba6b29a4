// What a change set keeps about the system before it changed it: the types
// of the manifest (manifest.json in the change set's folder), its JSON form
// and the reader of that form. Portable: the recorder and the restore (Win32)
// fill and read these plain types.
//
// Names travel as this program's UTF-8 (lone surrogates in the generalised
// 3-byte form). Such a text is no valid JSON string, so a text that is not
// strict UTF-8 is stored as {"bytes": "<hex>"} and read back unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wl::undo {

inline constexpr int kManifestFormat = 1;

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

enum class ItemKind {
  RegistryValue,  // one value (deleted or overwritten)
  RegistryTree,   // a key with everything below it (deleted)
  RegistryKey,    // a key that was created
  IniValue,       // one INI entry
  File,           // a file deleted, moved to the Recycle Bin, changed (a shortcut) or put in place
  External,       // a step that ran outside this program: recorded as far as possible
  Task,           // a scheduled task deleted, disabled, enabled or registered
  Service,        // a service removed or created
  Certificate,    // a certificate deleted from or added to a system store
  Winsock,        // Winsock providers removed from or installed into a catalog
  WmiInstance,    // a WMI instance deleted or created: path its namespace, entry its relative path,
                  // text the instance (class and properties) as it was
  TransferJob,    // a background transfer job cancelled: entry its identifier, text the job as it
                  // was (it cannot be made again as it was: the item is partial)
  Folder,         // a folder made (existed false) or an empty one deleted: path names it
};

std::string_view ItemKindName(ItemKind kind);
std::optional<ItemKind> ItemKindFromName(std::string_view name);

// One recorded change.
struct BackupItem {
  ItemKind kind = ItemKind::RegistryValue;
  std::string operation;    // the write that followed ("DeleteRegValue" …)
  std::string description;  // one line for the user
  bool partial = false;     // only part of what the step changed can be put back
  bool failed = false;      // the write failed after it was recorded: its change was not made, or not in full

  // Registry: "HKEY_LOCAL_MACHINE", the key path below it, the view
  // ("default", "64", "32") and, for a value, its name.
  std::string root, key, view = "default", valueName;
  bool existed = false;                     // the value, key or INI entry existed before
  RegValueCopy value;                       // RegistryValue: what it held before
  std::optional<RegValueCopy> valueAfter;   // RegistryValue: what was written (none: deleted)
  RegTreeCopy tree;                         // RegistryTree: the whole key before
  std::optional<ServiceConfigCopy> service; // RegistryTree of a service key; Service: the service
                                            // (removed: as it was; created: its name)

  // INI entry. Certificate: path the store ("LocalMachine\\ROOT"), entry the
  // SHA-1 thumbprint, text the store's element as it was, in hex.
  std::string path, section, entry, text;  // path also names the file of a File item and a task's path
  std::optional<std::string> textAfter;    // what was written (none: deleted); a shortcut's new arguments

  // File: the copy (deleted, recycled or changed file), or only the size and
  // CRC of a file put in place (no copy). Task: the copy of its definition
  // file in the task store, when it had one (no copy name otherwise).
  FileCopy file;

  // Task: its definition as the task service gave it, and whether it was
  // enabled.
  std::string definition;
  bool enabled = false;

  // Winsock: path the catalog, entry the provider's GUID; the providers
  // (removed: as they were; installed: what went in).
  std::vector<WinsockProviderCopy> winsock;
  bool operator==(const BackupItem&) const = default;
};

struct ChangeSetManifest {
  int format = kManifestFormat;
  std::string id;       // the folder name; sorts by time
  std::string created;  // "YYYY-MM-DD hh:mm:ss", local time
  std::string page;     // the page the action ran on ("wlscan" for the console)
  std::string action;   // the action ("Remove", "Apply" …)
  std::vector<BackupItem> items;
  bool operator==(const ChangeSetManifest&) const = default;
};

// "yes", "partly" or "no" (no items).
std::string RestorableText(const ChangeSetManifest& manifest);

std::string ManifestToJson(const ChangeSetManifest& manifest);
// Reads a manifest; a damaged or foreign document gives nullopt and, when
// error is given, why.
std::optional<ChangeSetManifest> ManifestFromJson(std::string_view json, std::string* error = nullptr);

// While a change set is being filled, each item is appended to its journal
// as one line of compact JSON (so that recording stays linear in the number
// of items); the manifest gets them all when the set is closed.
std::string ItemJournalLine(const BackupItem& item);
// A line that marks the item at index (in the order of the journal) as
// failed, or as made after all (a retry of the same write).
std::string FailedJournalLine(std::size_t index, bool failed);
// The items of a journal. A last line without its line break (a write cut
// short) is left out: its change was never made. nullopt and why on a
// damaged line.
std::optional<std::vector<BackupItem>> ItemsFromJournal(std::string_view journal, std::string* error = nullptr);

// Lower-case hex without separators, and back (nullopt on a bad digit or an
// odd length).
std::string HexText(const std::vector<uint8_t>& bytes);
std::optional<std::vector<uint8_t>> BytesFromHex(std::string_view hex);

// A size the way the lists show it: "812 bytes", "14.2 KB", "3.0 MB".
std::string SizeText(uint64_t bytes);

}  // namespace wl::undo
