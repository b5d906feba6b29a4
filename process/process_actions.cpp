#include "process/process_actions.h"

#include "process/operate_process.h"

namespace wl {

bool KillProcess(const ProcessRow& row) { return TerminateProcessById(row.id); }

WriteResult DeleteProcessFile(const ProcessRow& row) {
  if (!row.name.empty()) TerminateProcessByName(row.name);
  return RecycleFile(row.MainExecutable());
}

}  // namespace wl
