#include "settings/shell_extension_page.h"

#include "settings/settings_repair.h"

namespace wl {

ShellExtensionPage::ShellExtensionPage(ui::PageContext& context)
    : ListPage(context, {{"Type", 175, [](const ShellExtensionRow& r) { return r.type; },
                          [](const ShellExtensionRow& r) { return r.image; }},
                         {"Item Name", 250, [](const ShellExtensionRow& r) { return r.itemName; }},
                         {"Value", 200, [](const ShellExtensionRow& r) { return r.value; }},
                         {"Key", 0, [](const ShellExtensionRow& r) { return r.key; }}}) {
  // A toolbar only: the list has no popup menu.
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Reload the system shell extensions.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kRemoveButton, .caption = "Remove", .hint = "Remove the select items.",
             .glyph = ui::Glyph::Delete, .handler = [this] { RemoveClick(); }, .menu = false});
  OnPopup([this] { ShellListClick(); });
}

void ShellExtensionPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.rowImages.get());
}

void ShellExtensionPage::RefreshClick() { ShowRows(ScanShellExtensions()); }

void ShellExtensionPage::ShellListClick() { EnableAction(kRemoveButton, List().Selected() != nullptr); }

void ShellExtensionPage::RemoveClick() {
  const ShellExtensionRow* selected = List().Selected();
  if (!selected) return;
  const ShellExtensionRow row = *selected;
  if (row.isDefault) {
    context_.ui.Message("The selected item is a default setting of the system.Do not remove it.", "Remove",
                        MB_OK | MB_ICONWARNING);
    return;
  }
  const std::string question = "Are you sure to remove the selected item?\r\n\r\n" + row.type + ": " +
                               row.itemName + "\r\nHKEY_CLASSES_ROOT" + row.key;
  if (context_.ui.Message(question, "Remove", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  const WriteResult result = RemoveShellExtension(row);
  if (!result) context_.ui.Message(result.message, "Remove", MB_OK | MB_ICONERROR);
  RefreshClick();
}

}  // namespace wl
