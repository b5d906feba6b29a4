#include "undo/undo_commands.h"

#include "undo/backup_store.h"
#include "undo/restore.h"

namespace wl::undo {
namespace {

std::string CheckText(const ItemCheck& c) {
  switch (c.state) {
    case ItemState::Restorable: return "would be restored";
    case ItemState::InPlace: return "already as in the backup";
    case ItemState::NotMade: return "nothing to put back: the change was not made";
    case ItemState::Changed: return "changed since the backup (" + c.detail + ")";
    case ItemState::Unrestorable: return "cannot be restored: " + c.detail;
  }
  return {};
}

}  // namespace

PageText BackupsPageText(const ReferenceTables&) {
  PageText text;
  text.header = {"Id", "Date", "Page", "Action", "Items", "Size", "Restorable"};
  for (const auto& set : ListChangeSets()) {
    const auto& m = set.manifest;
    text.rows.push_back({m.id, m.created, m.page, m.action, std::to_string(m.items.size()), SizeText(set.size),
                         set.error.empty() ? RestorableText(m) : "no: " + set.error});
  }
  return text;
}

CommandOutput RestoreCommand(const std::vector<std::string>& args) {
  CommandOutput out;
  std::string id;
  bool overwrite = false, dryRun = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--overwrite") {
      overwrite = true;
    } else if (args[i] == "--dry-run") {
      dryRun = true;
    } else if (id.empty()) {
      id = args[i];
    } else {
      out.status = 2;
      out.err = "usage: wlscan restore ID [--overwrite] [--dry-run]";
      return out;
    }
  }
  if (id.empty()) {
    out.status = 2;
    out.err = "usage: wlscan restore ID [--overwrite] [--dry-run]";
    return out;
  }
  std::string error;
  const auto set = FindChangeSet(id, &error);
  if (!set) {
    out.status = 2;
    out.err = error;
    return out;
  }
  // What it would overwrite or delete, said before it starts.
  out.out = PlanRestore(*set, overwrite).impact.Text() + "\n";
  if (dryRun) {
    for (const auto& c : CheckChangeSet(*set, overwrite))
      out.out += set->manifest.items[c.index].description + ": " + CheckText(c) + "\n";
    return out;
  }
  ChangeSet own("wlscan", "restore " + id);
  const RestoreReport report = RestoreChangeSet(*set, overwrite);
  out.out += report.Text();
  if (!report.backupId.empty()) out.out += "Backup: " + report.backupId + "\n";
  out.status = report.AllRestored() ? 0 : 1;
  return out;
}

}  // namespace wl::undo
