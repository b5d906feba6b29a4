// What a change set keeps about the system before it changed it: the
// manifest (manifest.json in the change set's folder), its items (a common
// header and the data of the item's kind, undo/kinds/), their JSON form and
// the reader of that form. Portable: the recorder and the restore (Win32)
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

#include "undo/kept_state.h"
#include "undo/kinds/kind_list.h"

namespace wl::undo {

inline constexpr int kManifestFormat = 1;

// One recorded change: what every item has, and the kind's own data.
struct BackupItem {
  std::string operation;    // the write that followed ("DeleteRegValue" …)
  std::string description;  // one line for the user
  bool partial = false;     // only part of what the step changed can be put back
  bool failed = false;      // the write failed after it was recorded: its change was not made, or not in full
  Change change;

  // The kind's name in the manifest ("registry-value" …).
  std::string_view KindName() const;
  template <class Kind>
  bool Is() const {
    return std::holds_alternative<Kind>(change);
  }
  // The kind's data; nullptr when the item is of another kind.
  template <class Kind>
  const Kind* As() const {
    return std::get_if<Kind>(&change);
  }
  template <class Kind>
  Kind* As() {
    return std::get_if<Kind>(&change);
  }
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
