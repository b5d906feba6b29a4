// The shell extension page ("Shell Extensions"): ShellList with the verbs and
// context-menu handlers of files, folders, drives and the Recycle Bin.
// "Remove" deletes the selected entry's key, never one marked as a default
// setting.
#pragma once

#include "ui/list_page.h"
#include "settings/shell_extensions.h"

namespace wl {

class ShellExtensionPage : public ui::ListPage<ShellExtensionRow> {
 public:
  static constexpr int kRefreshButton = 1032;  // "Refresh"
  static constexpr int kRemoveButton = 1033;   // "Remove"

  explicit ShellExtensionPage(ui::PageContext& context);

  void RefreshClick();
  void RemoveClick();
  void ShellListClick();

  void RefreshPage() override { RefreshClick(); }

 protected:
  void OnCreate() override;
};

}  // namespace wl
