#include "browser/other_browsers_page.h"

#include "browser/other_browsers_actions.h"

namespace wl {

OtherBrowsersPage::OtherBrowsersPage(ui::PageContext& context)
    : ListPage(context,
               {{"Browser", 130, [](const BrowserRow& r) { return r.browser; },
                 [](const BrowserRow& r) {
                   if (r.verdict == kUnreadableFile) return ui::stock::kCross;
                   return r.flagged ? ui::stock::kWarning : ui::stock::kCheck;
                 }},
                {"Profile", 90, [](const BrowserRow& r) { return r.profile; }},
                {"Kind", 110, [](const BrowserRow& r) { return r.kind; }},
                {"Name", 170, [](const BrowserRow& r) { return r.name; }},
                {"Value", 260, [](const BrowserRow& r) { return r.value; }},
                {"Stored In", 260, [](const BrowserRow& r) { return r.location; }},
                {"Verdict", 120, [](const BrowserRow& r) { return r.verdict; }}}) {
  repair = [](const BrowserRow& row) { return RepairBrowserRow(row); };
  openSettings = [](const BrowserRow& row, std::string& error) { return OpenBrowserSettings(row, error); };
  isRunning = [](const std::string& program) { return IsProgramRunning(program); };

  // The popup menu PMOtherBrowsers.
  AddAction({.id = kRepairMenuItem, .caption = "&Repair",
             .hint = "Remove the selected policy, extension entry or shortcut switch.",
             .handler = [this] { RepairClick(); }, .toolbar = false});
  AddAction({.id = kOpenSettingsMenuItem, .caption = "Open &Settings Page",
             .hint = "Open the browser's own settings page for this entry.",
             .handler = [this] { OpenSettingsClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kRefreshMenuItem, .caption = "Re&fresh", .hint = "Reload the settings of the other browsers.",
             .handler = [this] { RefreshClick(); }, .toolbar = false});
  // The toolbar.
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Reload the settings of the other browsers.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kRepairButton, .caption = "Repair",
             .hint = "Remove the selected policy, extension entry or shortcut switch.", .glyph = ui::Glyph::Delete,
             .handler = [this] { RepairClick(); }, .menu = false});
  AddAction({.id = kSettingsButton, .caption = "Settings Page",
             .hint = "Open the browser's own settings page for this entry.", .glyph = ui::Glyph::Properties,
             .handler = [this] { OpenSettingsClick(); }, .menu = false});

  OnPopup([this] { PMOtherBrowsersPopup(); });
  OnColumnClick([this](int) { OtherBrowsersListColumnClick(); });
  OnDoubleClick([this] { OtherBrowsersListDblClick(); });
}

void OtherBrowsersPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.rowImages.get());
}

void OtherBrowsersPage::RefreshClick() {
  std::vector<BrowserRow> rows = scan();
  std::vector<HijackRow> hijack = OtherBrowsersHijackRows(rows);
  std::size_t flagged = 0;
  for (const auto& r : rows) flagged += r.flagged ? 1 : 0;
  const std::size_t count = rows.size();
  // The hijack rows name each row by its place in the list, sorted or not.
  ShowRowsOfScan(std::move(rows), hijack, &BrowserRow::scanIndex);
  context_.hijack.Append(hijack);
  ShowStatus(std::to_string(count) + " browser settings and add-ons, " + std::to_string(flagged) +
                         " distrustful.");
}

void OtherBrowsersPage::PMOtherBrowsersPopup() {
  const BrowserRow* row = List().Selected();
  const bool canRepair = row && CanRepair(*row);
  const bool canOpen = row && CanOpenSettings(*row);
  for (int id : {kRepairMenuItem, kRepairButton}) EnableAction(id, canRepair);
  for (int id : {kOpenSettingsMenuItem, kSettingsButton}) EnableAction(id, canOpen);
}

void OtherBrowsersPage::RepairClick() {
  const BrowserRow* selected = List().Selected();
  if (!selected) return;
  const BrowserRow row = *selected;
  if (!CanRepair(row)) {
    context_.ui.Message(RepairBrowserRow(row).message, "Repair", MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::string question;
  switch (row.repair) {
    case BrowserRepair::ResetShortcutArguments:
      question = "Reset the arguments of the shortcut \"" + row.name + "\" to \"" + row.newArguments + "\"?";
      break;
    case BrowserRepair::DeleteRegistryKey:
      question = "Remove the extension entry \"" + row.name + "\" of " + row.browser + "?";
      break;
    default:
      question = "Delete \"" + row.name + "\" of " + row.browser + "?";
      break;
  }
  if (context_.ui.Message(question, "Repair", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  const WriteResult result = repair(row);
  if (!result) {
    context_.ui.Message(result.message, "Repair", MB_OK | MB_ICONERROR);
  } else {
    // A running browser keeps what it read at start-up.
    const std::string program = BrowserProgramName(row.browser);
    if (!program.empty() && isRunning(program))
      context_.ui.Message(row.browser + " is running: close it and start it again for the change to take effect.",
                          "Repair", MB_OK | MB_ICONINFORMATION);
  }
  RefreshClick();
}

void OtherBrowsersPage::OpenSettingsClick() {
  const BrowserRow* row = List().Selected();
  if (!row) return;
  std::string error;
  if (!openSettings(*row, error)) ShowStatus(error.empty() ? "The settings page could not be opened." : error);
}

}  // namespace wl
