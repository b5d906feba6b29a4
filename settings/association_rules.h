// The file association check: the twenty open-command keys, the expected
// commands, and the rules that turn a stored command into a verdict.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace wl {

inline constexpr std::size_t kAssociationCount = 20;
inline constexpr std::size_t kExpectedCommandCount = 11;

// Filled once at start-up and never changed afterwards.
struct AssociationTables {
  // Key paths under HKEY_CLASSES_ROOT, each beginning with a backslash and
  // ending in "shell\open\command".
  std::array<std::string, kAssociationCount> AssociationKeys;
  // The expected commands of entries 0 to 10.
  std::array<std::string, kExpectedCommandCount> ExpectedCommands;
};

// The tables for a machine whose Windows directory is windowsDir (it goes into
// the help viewer's command).
AssociationTables BuildAssociationTables(std::string_view windowsDir);

enum class AssociationVerdict { AllRight, Distrustful, OwnVerdict };

// "All Right", "Distrustful setting.Be careful !", "On Your Own Verdict".
const char* AssociationVerdictText(AssociationVerdict verdict);
// Image of the verdict in the shared image list: 5, 4, 7.
int AssociationVerdictImage(AssociationVerdict verdict);

// The verdict for entry index whose stored command is command: an exact,
// whole-text comparison after upper-casing both sides.
AssociationVerdict JudgeAssociation(const AssociationTables& tables, std::size_t index, std::string_view command);

// Entries whose distrustful command also goes to the hijack report: the
// program launchers (1 to 6) and the compiled-help class (10).
bool AssociationReportsHijack(std::size_t index);

// The class key (the entry's key without "shell\open\command") and the
// caption shown when the class key has no description: the bare class name.
std::string AssociationClassKey(const std::string& key);
std::string AssociationBareName(const std::string& key);

// What "Restore Default" writes for entries 0 to 10: the command and whether
// it is stored as an expandable string. Rows 7 to 9 get the
// "%SYSTEMROOT%\SYSTEM32\…" form; row 0 the quoted form, which survives file
// names with blanks. Both are judged "All Right".
struct RestoreCommand {
  std::string command;
  bool expandable = false;
};
bool HasDefaultCommand(std::size_t index);  // 0 to 10
RestoreCommand DefaultCommandFor(const AssociationTables& tables, std::size_t index);

// What "Custom Set..." writes for a chosen program: "<program>" "%1".
std::string CustomOpenCommand(std::string_view program);

}  // namespace wl
