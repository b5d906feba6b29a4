#include "settings/association_rules.h"

#include <stdexcept>

#include "core/ascii.h"

namespace wl {
namespace {

constexpr std::size_t kCommandSuffix = 18;  // "shell\open\command"

}  // namespace

AssociationTables BuildAssociationTables(std::string_view windowsDir) {
  AssociationTables t;
  t.AssociationKeys = {
      "\\regedit\\shell\\open\\command",   "\\exefile\\shell\\open\\command",
      "\\comfile\\shell\\open\\command",   "\\batfile\\shell\\open\\command",
      "\\cmdfile\\shell\\open\\command",   "\\piffile\\shell\\open\\command",
      "\\scrfile\\shell\\open\\command",   "\\txtfile\\shell\\open\\command",
      "\\inifile\\shell\\open\\command",   "\\hlpfile\\shell\\open\\command",
      "\\chm.file\\shell\\open\\command",  "\\htmlfile\\shell\\open\\command",
      "\\Paint.Picture\\shell\\open\\command", "\\giffile\\shell\\open\\command",
      "\\jpegfile\\shell\\open\\command",  "\\pjpegfile\\shell\\open\\command",
      "\\SoundRec\\shell\\open\\command",  "\\mp3file\\shell\\open\\command",
      "\\Windows Media Video\\Shell\\Open\\Command", "\\AVIFile\\shell\\open\\command",
  };
  const std::string launcher = "\"%1\" %*";
  t.ExpectedCommands = {
      "REGEDIT.EXE %1", launcher, launcher, launcher, launcher, launcher, "\"%1\" /S",
      "NOTEPAD.EXE %1", "NOTEPAD.EXE %1", "WINHLP32.EXE %1",
      "\"" + std::string(windowsDir) + "\\HH.EXE\" %1",
  };
  return t;
}

const char* AssociationVerdictText(AssociationVerdict verdict) {
  switch (verdict) {
    case AssociationVerdict::AllRight: return "All Right";
    case AssociationVerdict::Distrustful: return "Distrustful setting.Be careful !";
    case AssociationVerdict::OwnVerdict: break;
  }
  return "On Your Own Verdict";
}

int AssociationVerdictImage(AssociationVerdict verdict) {
  switch (verdict) {
    case AssociationVerdict::AllRight: return 5;
    case AssociationVerdict::Distrustful: return 4;
    case AssociationVerdict::OwnVerdict: break;
  }
  return 7;
}

AssociationVerdict JudgeAssociation(const AssociationTables& tables, std::size_t index, std::string_view command) {
  if (index >= kExpectedCommandCount) return AssociationVerdict::OwnVerdict;
  const std::string c = AsciiUpper(command);
  bool ok = c == AsciiUpper(tables.ExpectedCommands[index]);
  if (index == 0) ok = ok || c == "REGEDIT.EXE \"%1\"";
  if (index == 7 || index == 8) ok = ok || c == "%SYSTEMROOT%\\SYSTEM32\\NOTEPAD.EXE %1";
  if (index == 9) ok = ok || c == "%SYSTEMROOT%\\SYSTEM32\\WINHLP32.EXE %1";
  return ok ? AssociationVerdict::AllRight : AssociationVerdict::Distrustful;
}

bool AssociationReportsHijack(std::size_t index) { return (index >= 1 && index <= 6) || index == 10; }

std::string AssociationClassKey(const std::string& key) {
  return key.size() >= kCommandSuffix ? key.substr(0, key.size() - kCommandSuffix) : std::string();
}

std::string AssociationBareName(const std::string& key) {
  if (key.size() < kCommandSuffix + 2) return std::string();
  return key.substr(1, key.size() - 1 - (kCommandSuffix + 1));
}

bool HasDefaultCommand(std::size_t index) { return index < kExpectedCommandCount; }

RestoreCommand DefaultCommandFor(const AssociationTables& tables, std::size_t index) {
  if (!HasDefaultCommand(index)) throw std::out_of_range("no default command for this association");
  switch (index) {
    case 0: return {"REGEDIT.EXE \"%1\"", false};
    case 7:
    case 8: return {"%SYSTEMROOT%\\SYSTEM32\\NOTEPAD.EXE %1", true};
    case 9: return {"%SYSTEMROOT%\\SYSTEM32\\WINHLP32.EXE %1", true};
    default: return {tables.ExpectedCommands[index], false};
  }
}

std::string CustomOpenCommand(std::string_view program) { return "\"" + std::string(program) + "\" \"%1\""; }

}  // namespace wl
