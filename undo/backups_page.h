// The "Backups" page: the change sets newest first (date, page, action,
// items, size, restorable); Restore, Delete Backup and Open Folder act on
// the selected set; a double-click opens a set to its items (and closes it).
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ui/list_page.h"
#include "undo/backup_store.h"
#include "undo/restore.h"

namespace wl::undo {

struct BackupRow {
  std::size_t set = 0;  // the change set (index into the page's sets)
  int item = -1;        // -1: the set itself, else the item's index
  std::string date, page, action, items, size, restorable;
};

class BackupsPage : public ui::ListPage<BackupRow> {
 public:
  static constexpr int kRefresh = 1701;
  static constexpr int kRestore = 1702;
  static constexpr int kDeleteBackup = 1703;
  static constexpr int kOpenFolder = 1704;
  static constexpr int kOpenSet = 1705;

  explicit BackupsPage(ui::PageContext& context);

  void RefreshClick();
  void BackupListPopup();
  void RestoreClick();
  void DeleteBackupClick();
  void OpenFolderClick();
  void BackupListDblClick();  // opens or closes the selected set

  void RefreshPage() override { RefreshClick(); }
  void OnShow() override { RefreshClick(); }

  // Seams (tests replace them).
  std::function<std::vector<StoredChangeSet>()> listSets = [] { return ListChangeSets(); };
  std::function<RestoreReport(const StoredChangeSet&, bool overwrite)> restore = [](const StoredChangeSet& s,
                                                                                    bool overwrite) {
    return RestoreChangeSet(s, overwrite);
  };
  std::function<bool(const std::string& folder)> shellOpen;

 protected:
  void OnCreate() override;

 private:
  const StoredChangeSet* SelectedSet() const;
  void ShowSets();

  std::vector<StoredChangeSet> sets_;
  std::set<std::string> opened_;  // ids of the sets shown with their items
};

}  // namespace wl::undo
