// What "wlscan hive FILE" prints: a row per key (its path below the root and
// its last-write time) and a row per value (its key's path, name, type and
// data), in the order of the hive's lists, the keys' paths starting with a
// backslash ("\" is the root).
#pragma once

#include <string>
#include <vector>

#include "core/hive.h"
#include "core/page_text.h"

namespace wl {

PageText HiveListingText(const hive::Hive& hive);

// Lines saying what the logs did to a dirty hive ("" for a clean one):
// "SYSTEM is dirty: applied SYSTEM.LOG1, SYSTEM.LOG2 (24 log entries, 315
// pages, sequence 2107 to 2130)".
std::string HiveRecoveryText(const hive::Hive& hive, const std::string& name, bool logsWanted);

}  // namespace wl
