#include "core/hive_listing.h"

namespace wl {
namespace {

std::string Count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

PageText HiveListingText(const hive::Hive& hive) {
  PageText text;
  text.header = {"Row", "Key", "Last Write Time", "Name", "Type", "Data"};
  text.keys = {"row", "key", "lastWriteTime", "name", "type", "data"};
  hive::Walk(
      hive,
      [&](const hive::Key& key, const std::string& path) {
        text.rows.push_back({"key", "\\" + path, hive::FileTimeText(key.LastWriteTime()), "", "", ""});
        return true;
      },
      [&](const hive::Key&, const std::string& path, const hive::Value& value, const std::vector<uint8_t>& data) {
        const uint32_t type = value.Type();
        text.rows.push_back(
            {"value", "\\" + path, "", value.Name(), hive::TypeName(type), hive::ValueText(type, data)});
      });
  return text;
}

std::string HiveRecoveryText(const hive::Hive& hive, const std::string& name, bool logsWanted) {
  const hive::Recovery& r = hive.LogRecovery();
  if (!r.dirty) return {};
  if (r.logsApplied.empty()) {
    if (!logsWanted) return name + " is dirty; its transaction logs were not applied (--no-logs)";
    return name + " is dirty; " + r.note + ": its latest changes may be missing";
  }
  std::string logs;
  for (const auto& log : r.logsApplied) logs += (logs.empty() ? "" : ", ") + log;
  std::string text = name + " is dirty: applied " + logs + " (";
  if (r.newFormat)
    text += Count(r.entries, "log entry", "log entries") + ", " + Count(r.pages, "page", "pages") + ", sequence " +
            std::to_string(r.firstSequence) + " to " + std::to_string(r.lastSequence) + ")";
  else
    text += Count(r.pages, "page", "pages") + " of 512 bytes)";
  if (r.baseBlockFromLog) text += "; its base block was damaged and was taken from the log";
  if (!r.note.empty()) text += "; " + r.note;
  return text;
}

}  // namespace wl
