#include "process/process_rows.h"

#include <cstdio>

#include "core/ascii.h"
#include "core/path_text.h"

namespace wl {

std::string KilobyteText(uint64_t bytes) { return std::to_string(bytes >> 10) + " KB"; }

std::string AddressText(uint64_t address) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(address));
  return buf;
}

int ProcessVerdictImage(const std::string& verdict) {
  switch (VerdictCategory(verdict)) {
    case 'U': return kImageWarning;
    case 'V': return kImageVirus;
    case 'G':
    case 'S': return kImageCheck;
    default: return -1;
  }
}

int ModuleVerdictImage(const std::string& fileVerdict) {
  if (fileVerdict == "Windows System File" || fileVerdict == "Trusted File") return kImageCheck;
  return fileVerdict.starts_with("Malicious File") ? kImageVirus : kImageWarning;
}

int JudgementImage(Verdict verdict) {
  switch (verdict) {
    case Verdict::Trusted: return kImageCheck;
    case Verdict::Malicious: return kImageVirus;
    case Verdict::Unknown:
    case Verdict::Suspicious: return kImageWarning;
  }
  return kImageWarning;
}

int ProcessRowImage(const ProcessRow& row) {
  return row.judged ? JudgementImage(row.judgement.verdict) : ProcessVerdictImage(row.analysis);
}

std::string_view FileNamePart(std::string_view path) { return FileNameOf(path); }

std::string FolderPart(std::string_view path) {
  const auto pos = path.find_last_of('\\');
  if (pos == std::string_view::npos) return {};
  // "C:\x.exe" -> "C:\": a drive root keeps its backslash.
  if (pos == 2 && path[1] == ':') return std::string(path.substr(0, 3));
  return std::string(path.substr(0, pos));
}

std::string ProcessAnalysis(const std::string& processName, const ReferenceTables& tables) {
  return ClassifyProcess(AsciiLower(processName), tables);
}

TextRow ProcessListHeader() { return {"Process Name", "Process ID", "Size", "Analysis", "Signer"}; }

TextRow ProcessRowText(const ProcessRow& row) {
  return {row.name, std::to_string(row.id), KilobyteText(row.imageSize), row.analysis, row.judgement.signer};
}

TextRow ModuleListHeader() { return {"Module Files", "File SIze", "Address", "Analysis"}; }

TextRow ModuleRowText(const ModuleRecord& module, const std::string& fileVerdict) {
  return {module.path, KilobyteText(module.imageSize), AddressText(module.entryPoint), fileVerdict};
}

}  // namespace wl
