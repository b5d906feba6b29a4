#include "software/software_page.h"

#include <commctrl.h>

#include "software/software_actions.h"
#include "sysroutines/registry_viewer.h"
#include "sysroutines/shell_routines.h"
#include "win32/unicode.h"

namespace wl {

SoftwarePage::SoftwarePage(ui::PageContext& context)
    : ListPage(context, {{"Installed Software", 250, [](const SoftwareRow& r) { return r.displayName; },
                          [](const SoftwareRow&) { return ui::stock::kSoftware; }},
                         {"Help Info", 325, [](const SoftwareRow& r) { return r.helpInfo; }},
                         {"Version", 75, [](const SoftwareRow& r) { return r.version; }},
                         {"RegistryKey", 0, [](const SoftwareRow& r) { return r.registryKey; }},
                         {"Uninstall Command", 0, [](const SoftwareRow& r) { return r.uninstallCommand; }}}) {
  startUninstaller = [](const std::string& command, const std::string& registryKey) {
    return StartUninstaller(command, registryKey);
  };
  shellOpen = [](const std::string& target) { return ShellOpen(target); };
  jumpToRegistry = [](const std::string& key, const std::string& value) { return JumpToRegistryEntry(key, value); };

  // The popup menu PMSoft.
  AddAction({.id = kUninstallMenuItem, .caption = "Uninstall", .hint = "Uninstall the select program.",
             .handler = [this] { UninstallClick(); }, .toolbar = false});
  AddAction({.id = kLogOnMenuItem, .caption = "Log-On", .hint = "Log-on the installation info of the select program.",
             .handler = [this] { RemoveEntryClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kRefreshMenuItem, .caption = "Refresh", .hint = "Reload software list.",
             .handler = [this] { RefreshClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kOpenDirectoryMenuItem, .caption = "Open Directory", .hint = "Open the directory of the file.",
             .handler = [this] { OpenDirectoryClick(); }, .toolbar = false});
  AddAction({.id = kViewEntryMenuItem, .caption = "View Entry", .hint = "View the entry from registry.",
             .handler = [this] { ViewEntryClick(); }, .toolbar = false});
  // The toolbar.
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Reload software list.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kUninstallButton, .caption = "Uninstall", .hint = "Uninstall a program from you computer.",
             .glyph = ui::Glyph::Run, .handler = [this] { UninstallClick(); }, .menu = false});
  AddAction({.id = kRemoveEntryButton, .caption = "Remove Entry", .hint = "Remove the installation entry.",
             .glyph = ui::Glyph::Delete, .handler = [this] { RemoveEntryClick(); }, .menu = false});

  OnPopup([this] { PMSoftPopup(); });
  OnColumnClick([this](int) { SoftListColumnClick(); });
  OnDoubleClick([this] { SoftListDblClick(); });
}

void SoftwarePage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.categoryImages.get());
}

void SoftwarePage::SetHeader(const std::string& text) {
  const std::wstring title = win32::Widen(text);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = const_cast<wchar_t*>(title.c_str());
  SendMessageW(List().hwnd(), LVM_SETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
}

std::string SoftwarePage::HeaderText() const {
  wchar_t buf[256] = {};
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = buf;
  column.cchTextMax = 256;
  SendMessageW(List().hwnd(), LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  return win32::Narrow(buf);
}

void SoftwarePage::RefreshClick() {
  SoftwareScanResult result = scan();
  ShowRows(std::move(result.rows));
  SetHeader(result.header);
}

void SoftwarePage::PMSoftPopup() {
  const bool selected = List().Selected() != nullptr;
  for (int id : {kUninstallMenuItem, kLogOnMenuItem, kOpenDirectoryMenuItem, kViewEntryMenuItem, kUninstallButton,
                 kRemoveEntryButton})
    EnableAction(id, selected);
}

void SoftwarePage::UninstallClick() {
  const SoftwareRow* row = List().Selected();
  if (!row) return;
  const WriteResult result = startUninstaller(row->uninstallCommand, row->registryKey);
  if (!result) context_.ui.Message(result.message, "Uninstall", MB_OK | MB_ICONERROR);
  // The uninstaller runs on its own; the list is read again at once.
  RefreshClick();
}

void SoftwarePage::RemoveEntryClick() {
  const SoftwareRow* selected = List().Selected();
  if (!selected) return;
  const SoftwareRow row = *selected;
  if (context_.ui.Message("Are you sure to log-on the installation info?", "Log-on Installation info",
                          MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  const WriteResult result = RemoveSoftwareEntry(row);
  if (!result) context_.ui.Message(result.message, "Log-on Installation info", MB_OK | MB_ICONERROR);
  RefreshClick();
}

void SoftwarePage::OpenDirectoryClick() {
  const SoftwareRow* row = List().Selected();
  if (!row) return;
  const std::string folder = SoftwareFolder(row->uninstallCommand);
  if (folder.empty()) {
    ShowStatus("The folder of " + row->displayName + " was not found.");
    return;
  }
  if (!shellOpen(folder)) ShowStatus("Cannot open the folder " + folder + ".");
}

void SoftwarePage::ViewEntryClick() {
  const SoftwareRow* row = List().Selected();
  if (!row) return;
  if (!jumpToRegistry(row->registryKey, "DisplayName"))
    ShowStatus("The registry editor could not be opened.");
}

}  // namespace wl
