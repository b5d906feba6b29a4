#include "undo/backups_page.h"

#include "sysroutines/shell_routines.h"

namespace wl::undo {
namespace {

constexpr char kCaption[] = "Backups";
// At most this many item lines in a message; the rest is counted.
constexpr std::size_t kMessageLines = 12;

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < kMessageLines; ++i) text += lines[i] + "\n";
  if (lines.size() > kMessageLines) text += "… and " + std::to_string(lines.size() - kMessageLines) + " more\n";
  return text;
}

std::string StateText(ItemState state) {
  switch (state) {
    case ItemState::Restorable: return "yes";
    case ItemState::InPlace: return "in place";
    case ItemState::Changed: return "changed since";
    case ItemState::Unrestorable: return "no";
    case ItemState::NotMade: return "failed (not made)";
  }
  return "";
}

}  // namespace

BackupsPage::BackupsPage(ui::PageContext& context)
    : ListPage(context, {{"Date", 150, [](const BackupRow& r) { return r.date; },
                          [](const BackupRow& r) { return r.item < 0 ? ui::stock::kDocumentGear : -1; }},
                         {"Page", 180, [](const BackupRow& r) { return r.page; }},
                         {"Action", 150, [](const BackupRow& r) { return r.action; }},
                         {"Items", 50, [](const BackupRow& r) { return r.items; }},
                         {"Size", 75, [](const BackupRow& r) { return r.size; }},
                         {"Restorable", 90, [](const BackupRow& r) { return r.restorable; }}}) {
  shellOpen = [](const std::string& folder) { return ShellOpen(folder); };
  AddAction({.id = kRefresh, .caption = "Refresh", .hint = "Reload the list of backups.",
             .glyph = ui::Glyph::Refresh, .handler = [this] { RefreshClick(); }});
  AddSeparator();
  AddAction({.id = kRestore, .caption = "Restore", .hint = "Put back what the selected change set changed.",
             .glyph = ui::Glyph::Run, .handler = [this] { RestoreClick(); }});
  AddAction({.id = kDeleteBackup, .caption = "Delete Backup", .hint = "Delete the selected backup for good.",
             .glyph = ui::Glyph::Delete, .handler = [this] { DeleteBackupClick(); }});
  AddAction({.id = kOpenFolder, .caption = "Open Folder", .hint = "Open the folder of the selected backup.",
             .glyph = ui::Glyph::Folder, .handler = [this] { OpenFolderClick(); }});
  AddAction({.id = kOpenSet, .caption = "Show Items", .hint = "Show or hide the items of the selected change set.",
             .handler = [this] { BackupListDblClick(); }, .toolbar = false});
  OnPopup([this] { BackupListPopup(); });
  OnDoubleClick([this] { BackupListDblClick(); });
}

void BackupsPage::OnCreate() {
  ListPage::OnCreate();
  List().View().SetSmallImages(context_.images.rowImages.get());
}

void BackupsPage::ShowSets() {
  std::vector<BackupRow> rows;
  for (std::size_t s = 0; s < sets_.size(); ++s) {
    const auto& set = sets_[s];
    const auto& m = set.manifest;
    const bool open = opened_.count(m.id) > 0;
    rows.push_back({s, -1, (open ? "− " : "+ ") + (m.created.empty() ? m.id : m.created), m.page, m.action,
                    std::to_string(m.items.size()), SizeText(set.size),
                    set.error.empty() ? RestorableText(m) : "no (" + set.error + ")"});
    if (!open) continue;
    const auto checks = set.error.empty() ? CheckChangeSet(set) : std::vector<ItemCheck>();
    for (std::size_t i = 0; i < m.items.size(); ++i) {
      const auto& item = m.items[i];
      std::string state = i < checks.size() ? StateText(checks[i].state) : "";
      if (item.partial) state = "partly";
      if (item.failed && (i >= checks.size() || checks[i].state != ItemState::NotMade))
        state = "failed, " + state;
      rows.push_back({s, static_cast<int>(i), "      " + item.description, "", item.operation, "", "", state});
    }
  }
  ShowRows(std::move(rows));
}

void BackupsPage::RefreshClick() {
  sets_ = listSets();
  // A folder of the store that someone else made first was set aside.
  if (const std::string notice = TakeStoreNotice(); !notice.empty())
    context_.ui.Message(notice, kCaption, MB_OK | MB_ICONWARNING);
  ShowSets();
  uint64_t total = 0;
  for (const auto& set : sets_) total += set.size;
  ShowStatus(std::to_string(sets_.size()) + (sets_.size() == 1 ? " change set, " : " change sets, ") +
                         SizeText(total) + " in all.");
}

const StoredChangeSet* BackupsPage::SelectedSet() const {
  const BackupRow* row = List().Selected();
  if (!row || row->set >= sets_.size()) return nullptr;
  return &sets_[row->set];
}

void BackupsPage::BackupListPopup() {
  const StoredChangeSet* set = SelectedSet();
  EnableAction(kRestore, set && set->error.empty() && !set->manifest.items.empty());
  EnableAction(kDeleteBackup, set != nullptr);
  EnableAction(kOpenFolder, set != nullptr);
  EnableAction(kOpenSet, set && set->error.empty());
}

void BackupsPage::BackupListDblClick() {
  const StoredChangeSet* set = SelectedSet();
  if (!set) return;
  const std::string id = set->manifest.id;
  if (!opened_.erase(id)) opened_.insert(id);
  ShowSets();
  for (std::size_t i = 0; i < List().Rows().size(); ++i)
    if (List().Rows()[i].item < 0 && sets_[List().Rows()[i].set].manifest.id == id) List().View().Select(i);
}

void BackupsPage::RestoreClick() {
  const StoredChangeSet* selected = SelectedSet();
  if (!selected) return;
  const StoredChangeSet set = *selected;
  const auto& m = set.manifest;
  // What the restore would overwrite or delete is said before it starts.
  const RestorePlan plan = PlanRestore(set, false);
  if (context_.ui.Message("Restore the change set of " + m.created + " (" + m.page + ", " + m.action + ")?\n" +
                              "The " + std::to_string(m.items.size()) + " items it recorded are put back.\n" +
                              plan.impact.Text(),
                          kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  std::vector<std::string> changed;
  for (const auto& c : plan.checks)
    if (c.state == ItemState::Changed) changed.push_back(m.items[c.index].description + " (" + c.detail + ")");
  bool overwrite = false;
  if (!changed.empty()) {
    const int answer = context_.ui.Message(
        std::to_string(changed.size()) + (changed.size() == 1 ? " item" : " items") +
            " changed since the backup:\n" + Lines(changed) +
            "\nOverwrite them with the backup? (No restores the other items only.)\nWith them: " +
            PlanRestore(set, true).impact.Text(),
        kCaption, MB_YESNOCANCEL | MB_ICONWARNING);
    if (answer == IDCANCEL) return;
    overwrite = answer == IDYES;
  }
  const RestoreReport report = restore(set, overwrite);
  if (report.AllRestored()) {
    context_.ui.Message("Every item of the change set was restored." +
                            (report.backupId.empty() ? std::string()
                                                     : "\nWhat the restore overwrote is kept in a change set of its own."),
                        kCaption, MB_OK | MB_ICONINFORMATION);
  } else {
    std::vector<std::string> lines;
    for (const auto& i : report.items)
      if (!i.restored) lines.push_back(i.description + ": " + i.message);
    context_.ui.Message("Some items were not restored:\n" + Lines(lines), kCaption, MB_OK | MB_ICONWARNING);
  }
  RefreshClick();
}

void BackupsPage::DeleteBackupClick() {
  const StoredChangeSet* set = SelectedSet();
  if (!set) return;
  const std::string id = set->manifest.id;
  if (context_.ui.Message("Delete the backup of " + (set->manifest.created.empty() ? id : set->manifest.created) +
                              "? Its change set can no longer be restored.",
                          kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  std::string error;
  if (!DeleteChangeSet(id, &error)) context_.ui.Message(error, kCaption, MB_OK | MB_ICONERROR);
  opened_.erase(id);
  RefreshClick();
}

void BackupsPage::OpenFolderClick() {
  const StoredChangeSet* set = SelectedSet();
  if (!set) return;
  if (!shellOpen(set->folder)) ShowStatus("Cannot open the folder " + set->folder + ".");
}

}  // namespace wl::undo
