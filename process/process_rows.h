// Rows of the process page: one per running process, each owning the records
// of its loaded modules, and the texts and verdict images the lists show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ascii.h"
#include "core/table_text.h"
#include "judge/judge.h"
#include "refdb/reference_tables.h"

namespace wl {

// One loaded module of a listed process, in the order the module enumeration
// returns them (the main executable first).
struct ModuleRecord {
  std::string path;         // full path as the module file-name query returns it
  uint32_t imageSize = 0;   // size of image, bytes
  uint64_t entryPoint = 0;  // entry-point address
};

struct ProcessRow {
  std::string name;  // base name of the main executable; empty when unreadable
  uint32_t id = 0;
  uint32_t imageSize = 0;  // size of image of the main executable
  // The judge's verdict text on its program; ClassifyProcess of the
  // lower-cased name when its program cannot be read.
  std::string analysis;
  std::vector<ModuleRecord> modules;
  bool judged = false;  // judgement holds the judge's word on the program
  Judgement judgement;

  // Full path of the main executable: what the file actions act on.
  std::string MainExecutable() const { return modules.empty() ? std::string() : modules.front().path; }
};

// Images of the shared verdict image list.
inline constexpr int kProcessRowImage = 2;
inline constexpr int kModuleRowImage = 3;
inline constexpr int kImageWarning = 4;
inline constexpr int kImageCheck = 5;
inline constexpr int kImageVirus = 6;

// "1024 KB": whole kilobytes, fractions dropped.
std::string KilobyteText(uint64_t bytes);
// Eight upper-case hex digits, more when the address needs them.
std::string AddressText(uint64_t address);
// Verdict image of a process verdict, by its second character; -1 for none.
int ProcessVerdictImage(const std::string& verdict);
// Verdict image of a module verdict: the check mark for "Windows System
// File" and "Trusted File", the virus sign for "Malicious File…", else the
// warning sign.
int ModuleVerdictImage(const std::string& fileVerdict);
// Verdict image of a judgement.
int JudgementImage(Verdict verdict);
// A process row's image: its judgement's, else its name verdict's.
int ProcessRowImage(const ProcessRow& row);

// The text after the last backslash or slash; the whole text without one.
std::string_view FileNamePart(std::string_view path);
// The folder part of a path: the text before its last backslash, a drive
// root keeping its backslash ("C:\" for "C:\x.exe"); empty without one.
std::string FolderPart(std::string_view path);

// Verdict of a process by its executable name, as the list shows it.
std::string ProcessAnalysis(const std::string& processName, const ReferenceTables& tables);

// The text columns of the process list.
TextRow ProcessListHeader();
TextRow ProcessRowText(const ProcessRow& row);

// The text columns of the module list; fileVerdict is the module file's
// verdict ("Windows System File" or "Distrustful File").
TextRow ModuleListHeader();
TextRow ModuleRowText(const ModuleRecord& module, const std::string& fileVerdict);

}  // namespace wl
