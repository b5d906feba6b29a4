// Texts read from the registry (uninstall commands, open commands, shell
// verbs) are outside bytes: split and judge arbitrary ones.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/association_rules.h"
#include "settings/shell_extension_rules.h"
#include "software/uninstall_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const wl::UninstallLaunch launch = wl::SplitUninstallCommand(text);
  // The program comes from the start of the command, the parameters from its end.
  if (text.find(launch.program) == std::string::npos) std::abort();
  if (!launch.parameters.empty() && !std::string_view(text).ends_with(launch.parameters)) std::abort();
  if (launch.wholeCommand && !launch.parameters.empty()) std::abort();
  (void)wl::TextBeforeLastBackslash(text);

  static const wl::AssociationTables tables = wl::BuildAssociationTables("C:\\WINDOWS");
  for (std::size_t i = 0; i < wl::kAssociationCount; ++i) {
    const auto verdict = wl::JudgeAssociation(tables, i, text);
    if ((i >= wl::kExpectedCommandCount) != (verdict == wl::AssociationVerdict::OwnVerdict)) std::abort();
  }
  for (const auto& source : wl::ShellExtensionSources()) {
    const auto row = wl::MakeShellExtensionRow(source, text, text, text);
    if (row && row->key != wl::ShellExtensionEntryKey(source, text)) std::abort();
  }
  return 0;
}
