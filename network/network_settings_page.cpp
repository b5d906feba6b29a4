#include "network/network_settings_page.h"

namespace wl {

NetworkSettingsPage::NetworkSettingsPage(ui::PageContext& context)
    : ListPage(context,
               {{"Kind", 110, [](const NetworkSettingRow& r) { return r.kind; },
                 [](const NetworkSettingRow& r) {
                   if (r.problem) return ui::stock::kCross;
                   return r.flagged ? ui::stock::kWarning : ui::stock::kCheck;
                 }},
                {"Name", 200, [](const NetworkSettingRow& r) { return r.name; }},
                {"Value", 200, [](const NetworkSettingRow& r) { return r.value; }},
                {"Stored In", 280, [](const NetworkSettingRow& r) { return r.location; }},
                {"Verdict", 260, [](const NetworkSettingRow& r) { return r.verdict; }}}) {
  scan = [this] { return ScanNetworkSettings(context_.tables, NetworkSettingsPlaces::OfThisSystem(), &PageJudge()); };

  // The popup menu PMNetworkSettings.
  AddAction({.id = kRepairMenuItem, .caption = "&Repair",
             .hint = "Comment out the selected hosts line, delete the setting or remove the provider.",
             .handler = [this] { RepairClick(); }, .toolbar = false});
  AddSeparator();
  AddAction({.id = kRefreshMenuItem, .caption = "Re&fresh", .hint = "Read the network settings again.",
             .handler = [this] { RefreshClick(); }, .toolbar = false});
  // The toolbar.
  AddAction({.id = kRefreshButton, .caption = "Refresh", .hint = "Read the network settings again.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }, .menu = false});
  AddAction({.id = kRepairButton, .caption = "Repair",
             .hint = "Comment out the selected hosts line, delete the setting or remove the provider.", .glyph = ui::Glyph::Delete,
             .handler = [this] { RepairClick(); }, .menu = false});

  OnPopup([this] { PMNetworkSettingsPopup(); });
  OnColumnClick([this](int) { NetworkSettingsListColumnClick(); });
  OnDoubleClick([this] { RepairClick(); });
}

void NetworkSettingsPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.rowImages.get());
}

void NetworkSettingsPage::RefreshClick() {
  std::vector<NetworkSettingRow> rows = scan();
  context_.hijack.Append(NetworkSettingsHijackRows(rows));
  std::size_t flagged = 0;
  for (const auto& r : rows) flagged += r.flagged ? 1 : 0;
  const std::size_t count = rows.size();
  ShowRows(std::move(rows));
  context_.ui.ShowStatus(std::to_string(count) + " network settings, " + std::to_string(flagged) + " distrustful.");
}

void NetworkSettingsPage::PMNetworkSettingsPopup() {
  const NetworkSettingRow* row = List().Selected();
  const bool canRepair = row && CanRepair(*row);
  for (int id : {kRepairMenuItem, kRepairButton}) EnableAction(id, canRepair);
}

void NetworkSettingsPage::RepairClick() {
  const NetworkSettingRow* selected = List().Selected();
  if (!selected || !CanRepair(*selected)) return;
  const NetworkSettingRow row = *selected;
  std::string question;
  if (row.repair == NetworkRepair::CommentOutHostsLine) {
    question = "Comment out line " + std::to_string(row.line) + " of " + row.file + " (" + row.value + " " + row.name +
               ")?";
    if (row.readOnlyFile)
      question += "\n\nThe file is read-only (unwanted software sets that to keep its lines): the attribute is "
                  "cleared for the change and set again right after.";
  } else if (row.repair == NetworkRepair::RemoveWinsockProvider) {
    question = "Remove the Winsock provider " + row.name + " (" + row.providerId + ", " + row.value +
               ") from its catalog? Protocol chains built over it are removed with it; programs that use them "
               "reach the network through the providers below again.";
  } else if (row.repair == NetworkRepair::DeleteCertificate) {
    question = "Delete the certificate " + row.name + " (" + row.thumbprint + ") from " + row.certStore + "?";
  } else {
    std::string names;
    for (const auto& n : row.valueNames) names += (names.empty() ? "" : ", ") + n;
    question = "Delete " + names + " from " + row.registryKey + "?";
  }
  if (context_.ui.Message(question, "Repair", MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  const WriteResult result = repair(row);
  if (!result) context_.ui.Message(result.message, "Repair", MB_OK | MB_ICONERROR);
  RefreshClick();
}

}  // namespace wl
