#include "process/process_scan.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <unordered_map>

#include "process/operate_process.h"
#include "win32/handles.h"
#include "win32/system_error.h"
#include "win32/unicode.h"

namespace wl {
namespace {

using win32::Narrow;
using win32::UniqueHandle;
using win32::UniqueSnapshot;

// Pseudo-processes that are no programs: the idle process and the kernel.
bool IsPseudoProcess(DWORD id) { return id == 0 || id == 4; }

std::unordered_map<DWORD, std::string> SnapshotNames() {
  std::unordered_map<DWORD, std::string> names;
  UniqueSnapshot snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return names;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry))
    names.emplace(entry.th32ProcessID, Narrow(entry.szExeFile));
  return names;
}

std::vector<ModuleRecord> ReadModules(HANDLE process) {
  std::vector<ModuleRecord> modules;
  std::vector<HMODULE> handles(kMaxModules);
  DWORD bytes = 0;
  if (!EnumProcessModulesEx(process, handles.data(), static_cast<DWORD>(handles.size() * sizeof(HMODULE)), &bytes,
                            LIST_MODULES_ALL))
    return modules;
  const std::size_t count = std::min<std::size_t>(bytes / sizeof(HMODULE), kMaxModules);
  std::wstring path(32768, L'\0');
  for (std::size_t i = 0; i < count; ++i) {
    ModuleRecord m;
    const DWORD len = GetModuleFileNameExW(process, handles[i], path.data(), static_cast<DWORD>(path.size()));
    m.path = Narrow(std::wstring_view(path.data(), len));
    MODULEINFO info{};
    if (GetModuleInformation(process, handles[i], &info, sizeof info)) {
      m.imageSize = info.SizeOfImage;
      m.entryPoint = reinterpret_cast<uintptr_t>(info.EntryPoint);
    }
    modules.push_back(std::move(m));
  }
  return modules;
}

ProcessRow BuildRow(DWORD id, const ReferenceTables& tables, const std::unordered_map<DWORD, std::string>* snapshot) {
  ProcessRow row;
  row.id = id;
  // Only the rights the module queries need, so that more processes can be read.
  UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
  if (process) {
    row.modules = ReadModules(process.get());
    if (!row.modules.empty()) {
      wchar_t base[MAX_PATH + 1];
      const DWORD len = GetModuleBaseNameW(process.get(), nullptr, base, MAX_PATH + 1);
      row.name = len ? Narrow(std::wstring_view(base, len)) : std::string(FileNamePart(row.modules.front().path));
      row.imageSize = row.modules.front().imageSize;
    }
  }
  if (row.name.empty()) {
    // Not readable (a protected or vanished process): name it from the
    // snapshot so that it is still listed.
    std::unordered_map<DWORD, std::string> own;
    if (!snapshot) {
      own = SnapshotNames();
      snapshot = &own;
    }
    if (const auto it = snapshot->find(id); it != snapshot->end()) row.name = it->second;
  }
  row.analysis = ProcessAnalysis(row.name, tables);
  return row;
}

}  // namespace

std::string SystemErrorMessage(DWORD code) {
  return "System Error.  Code: " + std::to_string(code) + ".\r\n" + win32::SystemErrorText(code);
}

ProcessRow ReadProcessRow(DWORD id, const ReferenceTables& tables) { return BuildRow(id, tables, nullptr); }

ProcessScan ScanProcesses(const ReferenceTables& tables) {
  ProcessScan scan;
  DWORD error = 0;
  const std::vector<DWORD> ids = EnumerateProcessIds(&error);
  if (ids.empty() && error != ERROR_SUCCESS) {
    scan.error = SystemErrorMessage(error);
    return scan;
  }
  const auto snapshot = SnapshotNames();
  scan.rows.reserve(ids.size());
  for (DWORD id : ids) {
    if (IsPseudoProcess(id)) continue;
    ProcessRow row = BuildRow(id, tables, &snapshot);
    // A process that ended between the two queries has neither modules nor a name.
    if (row.name.empty() && row.modules.empty() && !snapshot.contains(id)) continue;
    scan.rows.push_back(std::move(row));
  }
  return scan;
}

void JudgeProcessRows(std::vector<ProcessRow>& rows, const Judge& judge) {
  std::vector<JudgeRequest> requests;
  std::vector<std::size_t> judged;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string program = rows[i].MainExecutable();
    if (program.empty()) continue;
    requests.emplace_back(program, Origin::Process, true);
    judged.push_back(i);
  }
  std::vector<Judgement> judgements = judge.AssessAll(requests);
  for (std::size_t k = 0; k < judged.size(); ++k) {
    ProcessRow& row = rows[judged[k]];
    row.judgement = std::move(judgements[k]);
    row.judged = true;
    row.analysis = VerdictText(row.judgement);
  }
}

ProcessScan ScanProcesses(const Judge& judge) {
  ProcessScan scan = ScanProcesses(judge.Tables());
  JudgeProcessRows(scan.rows, judge);
  return scan;
}

PageText ProcessPageText(const Judge& judge) {
  PageText text;
  text.header = ProcessListHeader();
  text.keys = {"name", "pid", "size", "analysis", "signer"};
  for (const auto& row : ScanProcesses(judge).rows) {
    text.rows.push_back(ProcessRowText(row));
    text.judgements.push_back(RowJudgementOf(row.judgement));
  }
  return text;
}

}  // namespace wl
