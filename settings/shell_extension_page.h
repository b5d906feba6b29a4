// The shell extension page (page 14): ShellList with the verbs and
// context-menu handlers of files, folders, drives and the Recycle Bin.
// "Remove" deletes the selected entry's key, never one marked as a default
// setting.
#pragma once

#include "ui/list_page.h"
#include "settings/shell_extensions.h"

namespace wl {

class ShellExtensionPage : public ui::ListPage<ShellExtensionRow> {
 public:
  static constexpr int kToolButton32 = 1032;  // "Refresh"
  static constexpr int kToolButton33 = 1033;  // "Remove"

  explicit ShellExtensionPage(ui::PageContext& context);

  void ToolButton32Click();
  void ToolButton33Click();
  void ShellListClick();

  void RefreshPage() override { ToolButton32Click(); }

 protected:
  void OnCreate() override;
};

}  // namespace wl
