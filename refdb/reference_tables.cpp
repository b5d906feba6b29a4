#include "refdb/reference_tables.h"

#include "refdb/zlb_archive.h"

namespace wl {
namespace {

const char* MarkText(char mark) {
  switch (mark) {
    case '@': return "(System Process) ";
    case '$': return "(Virus/Trojan/Worm) ";
    case '#': return "(Spyware/Adware) ";
    case '%': return "(General Software) ";
    default: return nullptr;
  }
}

std::string VerdictFromValue(std::string_view value) {
  if (value.empty()) return "(Unknown)";
  if (const char* text = MarkText(value.front())) return std::string(text) + std::string(value.substr(1));
  return std::string(value);
}

}  // namespace

std::string_view StringTable::KeyOf(std::string_view line) {
  const auto pos = line.find('=');
  return pos == std::string_view::npos ? std::string_view() : line.substr(0, pos);
}

std::string_view StringTable::ValueOf(std::string_view line) {
  const auto pos = line.rfind('=');
  return pos == std::string_view::npos ? line : line.substr(pos + 1);
}

StringTable StringTable::FromText(std::string_view text) {
  StringTable table;
  std::size_t start = 0;
  const std::size_t n = text.size();
  while (start < n) {
    std::size_t end = start;
    while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
    table.lines_.emplace_back(text.substr(start, end - start));
    if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  table.lastByKey_.reserve(table.lines_.size());
  for (std::size_t i = 0; i < table.lines_.size(); ++i)
    table.lastByKey_[std::string(KeyOf(table.lines_[i]))] = i;
  return table;
}

const std::string* StringTable::LastLineWithKey(const std::string& key) const {
  const auto it = lastByKey_.find(key);
  return it == lastByKey_.end() ? nullptr : &lines_[it->second];
}

std::string LookupVerdict(const std::string& key, const StringTable& table) {
  const std::string* line = table.LastLineWithKey(key);
  return line ? VerdictFromValue(StringTable::ValueOf(*line)) : "(Unknown)";
}

std::string LookupVerdictLinear(const std::string& key, const StringTable& table) {
  std::string_view value;
  for (const std::string& line : table.Lines())
    if (StringTable::KeyOf(line) == key) value = StringTable::ValueOf(line);
  return VerdictFromValue(value);
}

std::string ClassifyProcess(const std::string& fileName, const ReferenceTables& tables) {
  return LookupVerdict(fileName, tables.process);
}

std::string DescribePort(const std::string& protocol, const std::string& serviceOrNumber,
                         const ReferenceTables& tables) {
  return LookupVerdict(protocol + serviceOrNumber, tables.ports);
}

std::string LookupClass(const std::string& classId, const ReferenceTables& tables) {
  return LookupVerdict(classId, tables.classes);
}

char VerdictCategory(const std::string& verdict) { return verdict.size() >= 2 ? verdict[1] : '\0'; }

std::optional<MainDbValues> ParseMainDb(std::string_view text) {
  const StringTable table = StringTable::FromText(text);
  if (table.Count() < 2) return std::nullopt;
  return MainDbValues{std::string(StringTable::ValueOf(table.Line(0))),
                      std::string(StringTable::ValueOf(table.Line(1)))};
}

bool LoadReferenceTables(TZLBArchive& archive, ReferenceTables& tables, MainDbValues& mainDb) {
  auto load = [&archive](const char* name) {
    std::string bytes;
    archive.ExtractByName(bytes, name);
    return bytes;
  };
  tables.process = StringTable::FromText(load(kProcessDb));
  tables.classes = StringTable::FromText(load(kClassDb));
  tables.ports = StringTable::FromText(load(kPortDb));
  const std::string mainText = load(kMainDb);
  tables.hijack = StringTable::FromText(load(kHijackDb));
  tables.sites = StringTable::FromText(load(kSiteDb));
  for (int i = 0; i < archive.Count(); ++i) {
    const std::string name = archive.Entry(i).fileName;
    if (name == kSignerDb) tables.signers = StringTable::FromText(load(kSignerDb));
    if (name == kCommandDb) tables.commands = StringTable::FromText(load(kCommandDb));
    if (name == kNetworkDb) tables.network = StringTable::FromText(load(kNetworkDb));
  }
  const auto values = ParseMainDb(mainText);
  if (!values) return false;
  mainDb = *values;
  return true;
}

}  // namespace wl
