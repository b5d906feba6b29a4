// The backup store's own parts, shared by the files that make it up: where
// the store lives (store_root.cpp), the change set being filled and its
// journal (change_set_recorder.cpp), listing and reading the sets
// (change_set_list.cpp) and deleting them (change_set_delete.cpp).
#pragma once

#include <string>

namespace wl::undo {

inline constexpr char kManifestName[] = "manifest.json";
inline constexpr char kRegFileName[] = "registry.reg";
inline constexpr char kJournalName[] = "journal.jsonl";
inline constexpr char kFilesFolder[] = "files";

struct RootInfo {
  std::string path;          // empty when there is no store
  bool machineWide = false;  // judged by its owners
};

// The store's root; a listing (create false) finds it without making or
// re-securing anything, and a store that is not there has no path.
RootInfo StoreRoot(bool create = true);

// A change set's id is its folder's name: digits and dashes only.
bool IsSetId(const std::string& id);

// Deletes a folder of the store with what it holds. Every item is opened
// without following a link and deleted through its handle; the folder is
// held open while its items go (it cannot be swapped for a link meanwhile);
// a link found inside is removed itself, never followed.
bool DeleteStoreFolder(const std::string& folder, int depth, std::string* error);

}  // namespace wl::undo
