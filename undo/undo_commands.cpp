#include "undo/undo_commands.h"

#include "undo/backup_store.h"
#include "undo/restore.h"

namespace wl::undo {

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
  bool overwrite = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--overwrite") {
      overwrite = true;
    } else if (id.empty()) {
      id = args[i];
    } else {
      out.status = 2;
      out.err = "usage: wlscan restore ID [--overwrite]";
      return out;
    }
  }
  if (id.empty()) {
    out.status = 2;
    out.err = "usage: wlscan restore ID [--overwrite]";
    return out;
  }
  std::string error;
  const auto set = FindChangeSet(id, &error);
  if (!set) {
    out.status = 2;
    out.err = error;
    return out;
  }
  const RestoreReport report = RestoreChangeSet(*set, overwrite);
  out.out = report.Text();
  out.status = report.AllRestored() ? 0 : 1;
  return out;
}

}  // namespace wl::undo
