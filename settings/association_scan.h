// The file association check on the live registry: reads the open command of
// each of the twenty classes and judges it; flags the distrusted program
// launchers for the hijack report.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/hijack_list.h"
#include "settings/association_rules.h"

namespace wl {

inline constexpr const char* kSystemAssociationCategory = "System Association";

// The tables for this machine (the help viewer's command holds its Windows
// directory). Built once at start-up.
AssociationTables BuildAssociationTables();

struct AssociationRow {
  std::string caption;  // "File Association": the class description, else the bare class name
  std::string command;  // "Relative Program": the open command as stored (unexpanded)
  AssociationVerdict verdict = AssociationVerdict::Distrustful;
  std::string analysis;  // "Analysis": the verdict's text
  int image = 4;         // the verdict's image
};

struct AssociationScanResult {
  std::vector<AssociationRow> rows;  // row i belongs to AssociationKeys entry i
  std::vector<HijackRow> hijack;
};

// Reads HKEY_CLASSES_ROOT only; changes nothing.
AssociationScanResult ScanAssociations(const AssociationTables& tables);

std::vector<std::string> AssociationColumns();

// "HKEY_CLASSES_ROOT" followed by the entry's key: the text the registry
// editor jump takes.
std::string AssociationRegistryPath(const AssociationTables& tables, std::size_t index);

}  // namespace wl
