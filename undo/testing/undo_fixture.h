// What the round-trip tests of the backups share: a scratch store with the
// recorder on, a sorted dump of a key, and the one change set a test made.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "undo/backup_store.h"
#include "undo/restore.h"
#include "undo/system_state.h"

namespace wl::undo::test_support {

struct Store {
  test::ScratchDir dir{"wlundo"};
  ScopedBackupStoreRoot root{dir.File("store")};
  ScopedBackupRecording recording;
};

inline RegTreeCopy Dump(HKEY root, const std::string& path, win32::RegView view = win32::RegView::Default) {
  RegTreeCopy t;
  if (DumpRegTree(root, path, view, t) != ERROR_SUCCESS) return {"(missing)", {}, {}};
  return SortedTree(t);
}

inline StoredChangeSet OnlySet() {
  auto sets = ListChangeSets();
  EXPECT_EQ(sets.size(), 1u);
  return sets.empty() ? StoredChangeSet{} : sets[0];
}

inline void RestoreAll() {
  const RestoreReport report = RestoreChangeSet(OnlySet(), false);
  EXPECT_TRUE(report.AllRestored()) << report.Text();
}

}  // namespace wl::undo::test_support
