// The console's side of the backups: the change sets as a page listing
// ("wlscan backups") and "wlscan restore ID".
#pragma once

#include <string>
#include <vector>

#include "core/page_text.h"
#include "refdb/reference_tables.h"

namespace wl::undo {

// The change sets newest first, the set's id in the first column.
PageText BackupsPageText(const ReferenceTables& tables);

struct CommandOutput {
  int status = 0;  // 0 all done, 1 something not done, 2 error
  std::string out, err;
};

// restore ID [--overwrite] [--dry-run]: says first what the restore would
// overwrite or delete, then puts the change set back, one line per item, and
// names the change set that keeps what it overwrote ("Backup: ID"); items
// changed since the backup are skipped unless --overwrite is given. With
// --dry-run nothing is changed: each item's state is listed instead.
CommandOutput RestoreCommand(const std::vector<std::string>& args);

}  // namespace wl::undo
