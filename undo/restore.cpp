#include "undo/restore.h"

#include <variant>

#include "undo/restore_steps.h"
#include "undo/system_model.h"

namespace wl::undo {
namespace {

ItemCheck Check(const StoredChangeSet& set, const BackupItem& item, const SystemModel& system) {
  const CheckContext context{set, system, item.operation};
  ItemCheck c = std::visit([&context](const auto& change) { return change.Check(context); }, item.change);
  // A write that failed while the system still holds what it held before
  // left nothing to put back.
  if (item.failed && c.state == ItemState::InPlace) c.state = ItemState::NotMade;
  return c;
}

bool WillPutBack(const ItemCheck& c, bool overwriteChanged) {
  return c.state == ItemState::Restorable || (c.state == ItemState::Changed && overwriteChanged);
}

// What the item leaves once it is put back, laid over the model, and the
// places whose loss the impact counts.
void PutBack(const BackupItem& item, SystemModel& system, ImpactCounter& impact) {
  std::visit(
      [&](const auto& change) {
        if constexpr (requires { change.PutBack(system); }) change.PutBack(system);
        if constexpr (requires { change.Impact(impact, item.operation); }) change.Impact(impact, item.operation);
      },
      item.change);
}

}  // namespace

bool RestoreImpact::None() const {
  return valuesOverwritten + valuesDeleted + keysDeleted + filesReplaced + filesDeleted + tasksReplaced + tasksDeleted +
             servicesRemoved ==
         0;
}

std::string RestoreImpact::Text() const {
  if (None()) return "Restoring overwrites or deletes nothing that is there now.";
  std::vector<std::string> parts;
  auto count = [&parts](std::size_t n, const char* verb, const char* one, const char* many) {
    if (n) parts.push_back(std::string(verb) + " " + std::to_string(n) + " " + (n == 1 ? one : many));
  };
  count(valuesOverwritten, "overwrites", "value", "values");
  count(valuesDeleted, "deletes", "value", "values");
  count(keysDeleted, "deletes", "key", "keys");
  count(filesReplaced, "replaces", "file", "files");
  count(filesDeleted, "deletes", "file", "files");
  count(tasksReplaced, "replaces", "scheduled task", "scheduled tasks");
  count(tasksDeleted, "deletes", "scheduled task", "scheduled tasks");
  count(servicesRemoved, "removes", "service", "services");
  std::string text = "Restoring ";
  for (std::size_t i = 0; i < parts.size(); ++i)
    text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  return text + " (each is backed up first, so the restore can be undone).";
}

RestorePlan PlanRestore(const StoredChangeSet& set, bool overwriteChanged) {
  RestorePlan plan;
  SystemModel system;
  ImpactCounter loss;
  const auto& items = set.manifest.items;
  plan.checks.resize(items.size());
  for (std::size_t n = items.size(); n-- > 0;) {
    ItemCheck c = Check(set, items[n], system);
    c.index = n;
    if (WillPutBack(c, overwriteChanged)) PutBack(items[n], system, loss);
    plan.checks[n] = std::move(c);
  }
  plan.impact = loss.Count(system);
  return plan;
}

std::vector<ItemCheck> CheckChangeSet(const StoredChangeSet& set, bool overwriteChanged) {
  return PlanRestore(set, overwriteChanged).checks;
}

bool RestoreReport::AllRestored() const {
  for (const auto& i : items)
    if (!i.restored) return false;
  return true;
}

std::string RestoreReport::Text() const {
  std::string out;
  for (const auto& i : items) out += i.description + ": " + i.message + "\n";
  return out;
}

RestoreReport RestoreChangeSet(const StoredChangeSet& set, bool overwriteChanged) {
  // What the restore changes is backed up like any change: it can be undone.
  ScopedBackupRecording recording;
  ChangeSet own("Backups", "Restore " + set.manifest.id);
  RestoreReport report;
  const SystemModel system;  // nothing laid over: the system as each step finds it
  const auto& items = set.manifest.items;
  report.items.resize(items.size());
  for (std::size_t n = items.size(); n-- > 0;) {
    const BackupItem& item = items[n];
    ItemOutcome& out = report.items[n];
    out.description = item.description;
    const ItemCheck check = Check(set, item, system);
    switch (check.state) {
      case ItemState::InPlace:
        out.restored = true;
        out.message = "already as in the backup";
        continue;
      case ItemState::NotMade:
        out.restored = true;
        out.message = "nothing to put back: the change was not made";
        continue;
      case ItemState::Unrestorable:
        out.message = "cannot be restored: " + check.detail;
        continue;
      case ItemState::Changed:
        if (!overwriteChanged) {
          out.message = "skipped: changed since the backup (" + check.detail + ")";
          continue;
        }
        break;
      case ItemState::Restorable:
        break;
    }
    RestoreContext context{set, item.operation, check.state};
    const WriteResult r = std::visit([&context](const auto& change) { return change.Restore(context); }, item.change);
    const std::string& note = context.note;
    out.restored = r.ok();
    out.message = r.ok() ? (context.inPart ? note : item.partial ? "restored in part" : note.empty() ? "restored" : note)
                         : "failed: " + r.message;
    if (r.ok() && (item.partial || context.inPart)) out.restored = false;
  }
  report.backupId = own.Id();
  return report;
}

}  // namespace wl::undo
