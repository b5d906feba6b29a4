#include "process/process_actions.h"

#include "process/operate_process.h"

namespace wl {

bool KillProcess(const ProcessRow& row) { return TerminateProcessById(row.id); }

WriteResult DeleteProcessFile(const ProcessRow& row, EndProgramResult* ended) {
  const std::string program = row.MainExecutable();
  EndProgramResult result;
  if (!program.empty()) result = EndProcessesOfFile(program);
  if (ended) *ended = result;
  return RecycleFile(program);
}

}  // namespace wl
