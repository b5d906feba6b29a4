#include "undo/backup_manifest.h"

#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace wl::undo {
namespace {

using nlohmann::json;

// Registry keys nest at most 512 deep; a deeper document is not ours.
constexpr int kMaxTreeDepth = 512;

struct BadManifest : std::runtime_error {
  using std::runtime_error::runtime_error;
};

bool IsStrictUtf8(const std::string& s) {
  try {
    (void)json(s).dump();
    return true;
  } catch (const json::exception&) {
    return false;
  }
}

json TextJson(const std::string& s) {
  if (IsStrictUtf8(s)) return s;
  return json{{"bytes", HexText(std::vector<uint8_t>(s.begin(), s.end()))}};
}

std::string TextFrom(const json& j, const char* field) {
  if (j.is_string()) return j.get<std::string>();
  if (j.is_object() && j.contains("bytes") && j["bytes"].is_string()) {
    auto bytes = BytesFromHex(j["bytes"].get<std::string>());
    if (!bytes) throw BadManifest(std::string("bad bytes in ") + field);
    return std::string(bytes->begin(), bytes->end());
  }
  throw BadManifest(std::string("the field ") + field + " is not a text");
}

const json& Field(const json& j, const char* field) {
  if (!j.is_object()) throw BadManifest(std::string("an object was expected around ") + field);
  const auto it = j.find(field);
  if (it == j.end()) throw BadManifest(std::string("the field ") + field + " is missing");
  return *it;
}

std::string Text(const json& j, const char* field) { return TextFrom(Field(j, field), field); }

std::string OptionalText(const json& j, const char* field) {
  if (!j.is_object() || !j.contains(field)) return {};
  return TextFrom(j[field], field);
}

template <class T>
T Number(const json& j, const char* field) {
  const json& v = Field(j, field);
  if (!v.is_number_unsigned() && !(v.is_number_integer() && v.get<int64_t>() >= 0))
    throw BadManifest(std::string("the field ") + field + " is not a number");
  const uint64_t n = v.get<uint64_t>();
  if (n > static_cast<uint64_t>(std::numeric_limits<T>::max()))
    throw BadManifest(std::string("the field ") + field + " is out of range");
  return static_cast<T>(n);
}

bool Flag(const json& j, const char* field) {
  if (!j.is_object() || !j.contains(field)) return false;
  if (!j[field].is_boolean()) throw BadManifest(std::string("the field ") + field + " is not true or false");
  return j[field].get<bool>();
}

std::vector<uint8_t> Bytes(const json& j, const char* field) {
  const json& v = Field(j, field);
  if (!v.is_string()) throw BadManifest(std::string("the field ") + field + " is not hex text");
  auto bytes = BytesFromHex(v.get<std::string>());
  if (!bytes) throw BadManifest(std::string("the field ") + field + " is not hex text");
  return *bytes;
}

const json& Array(const json& j, const char* field) {
  const json& v = Field(j, field);
  if (!v.is_array()) throw BadManifest(std::string("the field ") + field + " is not a list");
  return v;
}

json ValueJson(const RegValueCopy& v) {
  return {{"name", TextJson(v.name)}, {"type", v.type}, {"data", HexText(v.data)}};
}

RegValueCopy ValueFrom(const json& j) {
  return {Text(j, "name"), Number<uint32_t>(j, "type"), Bytes(j, "data")};
}

json TreeJson(const RegTreeCopy& t) {
  json values = json::array(), keys = json::array();
  for (const auto& v : t.values) values.push_back(ValueJson(v));
  for (const auto& k : t.keys) keys.push_back(TreeJson(k));
  return {{"name", TextJson(t.name)}, {"values", std::move(values)}, {"keys", std::move(keys)}};
}

RegTreeCopy TreeFrom(const json& j, int depth) {
  if (depth > kMaxTreeDepth) throw BadManifest("the key tree is nested too deeply");
  RegTreeCopy t;
  t.name = Text(j, "name");
  for (const auto& v : Array(j, "values")) t.values.push_back(ValueFrom(v));
  for (const auto& k : Array(j, "keys")) t.keys.push_back(TreeFrom(k, depth + 1));
  return t;
}

json ServiceJson(const ServiceConfigCopy& s) {
  json deps = json::array();
  for (const auto& d : s.dependencies) deps.push_back(TextJson(d));
  return {{"name", TextJson(s.name)},          {"displayName", TextJson(s.displayName)},
          {"description", TextJson(s.description)}, {"binaryPath", TextJson(s.binaryPath)},
          {"account", TextJson(s.account)},    {"group", TextJson(s.group)},
          {"dependencies", std::move(deps)},   {"serviceType", s.serviceType},
          {"startType", s.startType},          {"errorControl", s.errorControl}};
}

ServiceConfigCopy ServiceFrom(const json& j) {
  ServiceConfigCopy s;
  s.name = Text(j, "name");
  s.displayName = Text(j, "displayName");
  s.description = Text(j, "description");
  s.binaryPath = Text(j, "binaryPath");
  s.account = Text(j, "account");
  s.group = Text(j, "group");
  for (const auto& d : Array(j, "dependencies")) s.dependencies.push_back(TextFrom(d, "dependencies"));
  s.serviceType = Number<uint32_t>(j, "serviceType");
  s.startType = Number<uint32_t>(j, "startType");
  s.errorControl = Number<uint32_t>(j, "errorControl");
  return s;
}

json FileJson(const FileCopy& f) {
  return {{"copy", TextJson(f.copyName)}, {"size", f.size},         {"crc32", f.crc32},
          {"created", f.created},         {"accessed", f.accessed}, {"written", f.written},
          {"attributes", f.attributes}};
}

// mayBeEmpty: an item that keeps no copy (a file put in place, a task
// without a definition file) names none.
FileCopy FileFrom(const json& f, bool mayBeEmpty) {
  FileCopy file;
  file.copyName = Text(f, "copy");
  // The copy lies in the change set's folder: a name that leads out of it
  // is refused.
  if ((file.copyName.empty() && !mayBeEmpty) || file.copyName.find("..") != std::string::npos ||
      file.copyName.find(':') != std::string::npos ||
      (!file.copyName.empty() && (file.copyName.front() == '\\' || file.copyName.front() == '/')))
    throw BadManifest("a file copy is named outside the change set's folder");
  file.size = Number<uint64_t>(f, "size");
  file.crc32 = Number<uint32_t>(f, "crc32");
  file.created = Number<uint64_t>(f, "created");
  file.accessed = Number<uint64_t>(f, "accessed");
  file.written = Number<uint64_t>(f, "written");
  file.attributes = Number<uint32_t>(f, "attributes");
  return file;
}

json WinsockJson(const WinsockProviderCopy& w) {
  json protocols = json::array();
  for (const auto& p : w.protocols) protocols.push_back(HexText(p));
  return {{"nameSpace", w.nameSpace},         {"wow32", w.wow32},
          {"providerId", TextJson(w.providerId)}, {"dllPath", TextJson(w.dllPath)},
          {"protocols", std::move(protocols)}, {"displayName", TextJson(w.displayName)},
          {"nameSpaceId", w.nameSpaceId},     {"version", w.version},
          {"enabled", w.enabled}};
}

WinsockProviderCopy WinsockFrom(const json& j) {
  WinsockProviderCopy w;
  w.nameSpace = Flag(j, "nameSpace");
  w.wow32 = Flag(j, "wow32");
  w.providerId = Text(j, "providerId");
  w.dllPath = Text(j, "dllPath");
  for (const auto& p : Array(j, "protocols")) {
    if (!p.is_string()) throw BadManifest("a protocol entry is not hex text");
    auto bytes = BytesFromHex(p.get<std::string>());
    if (!bytes) throw BadManifest("a protocol entry is not hex text");
    w.protocols.push_back(std::move(*bytes));
  }
  w.displayName = Text(j, "displayName");
  w.nameSpaceId = Number<uint32_t>(j, "nameSpaceId");
  w.version = Number<uint32_t>(j, "version");
  w.enabled = Flag(j, "enabled");
  return w;
}

json ItemJson(const BackupItem& item) {
  json j = {{"kind", std::string(ItemKindName(item.kind))},
            {"operation", TextJson(item.operation)},
            {"description", TextJson(item.description)},
            {"partial", item.partial}};
  if (item.failed) j["failed"] = true;
  switch (item.kind) {
    case ItemKind::RegistryValue:
    case ItemKind::RegistryTree:
    case ItemKind::RegistryKey:
      j["root"] = TextJson(item.root);
      j["key"] = TextJson(item.key);
      j["view"] = TextJson(item.view);
      j["existed"] = item.existed;
      if (item.kind == ItemKind::RegistryValue) {
        j["valueName"] = TextJson(item.valueName);
        if (item.existed) j["value"] = ValueJson(item.value);
        if (item.valueAfter) j["valueAfter"] = ValueJson(*item.valueAfter);
      }
      if (item.kind == ItemKind::RegistryTree && item.existed) j["tree"] = TreeJson(item.tree);
      if (item.service) j["service"] = ServiceJson(*item.service);
      break;
    case ItemKind::IniValue:
      j["path"] = TextJson(item.path);
      j["section"] = TextJson(item.section);
      j["entry"] = TextJson(item.entry);
      j["existed"] = item.existed;
      if (item.existed) j["text"] = TextJson(item.text);
      if (item.textAfter) j["textAfter"] = TextJson(*item.textAfter);
      break;
    case ItemKind::File:
      j["path"] = TextJson(item.path);
      j["existed"] = item.existed;
      j["file"] = FileJson(item.file);
      if (item.textAfter) j["textAfter"] = TextJson(*item.textAfter);
      break;
    case ItemKind::External:
      j["path"] = TextJson(item.path);
      break;
    case ItemKind::Folder:
      j["path"] = TextJson(item.path);
      j["existed"] = item.existed;
      break;
    case ItemKind::Certificate:
    case ItemKind::WmiInstance:
    case ItemKind::TransferJob:
      j["path"] = TextJson(item.path);
      j["entry"] = TextJson(item.entry);
      j["existed"] = item.existed;
      if (item.existed) j["text"] = TextJson(item.text);
      if (item.textAfter) j["textAfter"] = TextJson(*item.textAfter);
      break;
    case ItemKind::Winsock: {
      j["path"] = TextJson(item.path);
      j["entry"] = TextJson(item.entry);
      j["existed"] = item.existed;
      json providers = json::array();
      for (const auto& w : item.winsock) providers.push_back(WinsockJson(w));
      j["winsock"] = std::move(providers);
      break;
    }
    case ItemKind::Task:
      j["path"] = TextJson(item.path);
      j["existed"] = item.existed;
      j["enabled"] = item.enabled;
      j["definition"] = TextJson(item.definition);
      j["file"] = FileJson(item.file);
      break;
    case ItemKind::Service:
      j["existed"] = item.existed;
      if (item.service) j["service"] = ServiceJson(*item.service);
      j["root"] = TextJson(item.root);
      j["key"] = TextJson(item.key);
      j["view"] = TextJson(item.view);
      if (item.existed) j["tree"] = TreeJson(item.tree);
      break;
  }
  return j;
}

BackupItem ItemFrom(const json& j) {
  BackupItem item;
  const auto kind = ItemKindFromName(Text(j, "kind"));
  if (!kind) throw BadManifest("an item is of an unknown kind");
  item.kind = *kind;
  item.operation = Text(j, "operation");
  item.description = Text(j, "description");
  item.partial = Flag(j, "partial");
  item.failed = Flag(j, "failed");
  switch (item.kind) {
    case ItemKind::RegistryValue:
    case ItemKind::RegistryTree:
    case ItemKind::RegistryKey:
      item.root = Text(j, "root");
      item.key = Text(j, "key");
      item.view = Text(j, "view");
      if (item.view != "default" && item.view != "64" && item.view != "32")
        throw BadManifest("an item names an unknown registry view");
      item.existed = Flag(j, "existed");
      if (item.kind == ItemKind::RegistryValue) {
        item.valueName = Text(j, "valueName");
        if (item.existed) item.value = ValueFrom(Field(j, "value"));
        if (j.contains("valueAfter")) item.valueAfter = ValueFrom(j["valueAfter"]);
      }
      if (item.kind == ItemKind::RegistryTree && item.existed) item.tree = TreeFrom(Field(j, "tree"), 0);
      if (j.contains("service")) item.service = ServiceFrom(j["service"]);
      break;
    case ItemKind::IniValue:
      item.path = Text(j, "path");
      item.section = Text(j, "section");
      item.entry = Text(j, "entry");
      item.existed = Flag(j, "existed");
      if (item.existed) item.text = Text(j, "text");
      if (j.contains("textAfter")) item.textAfter = TextFrom(j["textAfter"], "textAfter");
      break;
    case ItemKind::File:
      item.path = Text(j, "path");
      item.existed = Flag(j, "existed");
      // Only a file put in place (it was not there) keeps no copy.
      item.file = FileFrom(Field(j, "file"), !item.existed);
      if (j.contains("textAfter")) item.textAfter = TextFrom(j["textAfter"], "textAfter");
      break;
    case ItemKind::External:
      item.path = OptionalText(j, "path");
      break;
    case ItemKind::Folder:
      item.path = Text(j, "path");
      item.existed = Flag(j, "existed");
      break;
    case ItemKind::Certificate:
    case ItemKind::WmiInstance:
    case ItemKind::TransferJob:
      item.path = Text(j, "path");
      item.entry = Text(j, "entry");
      item.existed = Flag(j, "existed");
      if (item.existed) item.text = Text(j, "text");
      if (j.contains("textAfter")) item.textAfter = TextFrom(j["textAfter"], "textAfter");
      break;
    case ItemKind::Winsock:
      item.path = Text(j, "path");
      item.entry = Text(j, "entry");
      item.existed = Flag(j, "existed");
      for (const auto& w : Array(j, "winsock")) item.winsock.push_back(WinsockFrom(w));
      break;
    case ItemKind::Task:
      item.path = Text(j, "path");
      item.existed = Flag(j, "existed");
      item.enabled = Flag(j, "enabled");
      item.definition = Text(j, "definition");
      item.file = FileFrom(Field(j, "file"), true);
      break;
    case ItemKind::Service:
      item.existed = Flag(j, "existed");
      if (j.contains("service")) item.service = ServiceFrom(j["service"]);
      item.root = Text(j, "root");
      item.key = Text(j, "key");
      item.view = Text(j, "view");
      if (item.view != "default" && item.view != "64" && item.view != "32")
        throw BadManifest("an item names an unknown registry view");
      if (item.existed) item.tree = TreeFrom(Field(j, "tree"), 0);
      break;
  }
  return item;
}

}  // namespace

std::string_view ItemKindName(ItemKind kind) {
  switch (kind) {
    case ItemKind::RegistryValue: return "registry-value";
    case ItemKind::RegistryTree: return "registry-tree";
    case ItemKind::RegistryKey: return "registry-key";
    case ItemKind::IniValue: return "ini-value";
    case ItemKind::File: return "file";
    case ItemKind::External: return "external";
    case ItemKind::Task: return "task";
    case ItemKind::Service: return "service";
    case ItemKind::Certificate: return "certificate";
    case ItemKind::Winsock: return "winsock";
    case ItemKind::WmiInstance: return "wmi-instance";
    case ItemKind::TransferJob: return "transfer-job";
    case ItemKind::Folder: return "folder";
  }
  return "";
}

std::optional<ItemKind> ItemKindFromName(std::string_view name) {
  for (ItemKind k : {ItemKind::RegistryValue, ItemKind::RegistryTree, ItemKind::RegistryKey, ItemKind::IniValue,
                     ItemKind::File, ItemKind::External, ItemKind::Task, ItemKind::Service, ItemKind::Certificate,
                     ItemKind::Winsock, ItemKind::WmiInstance, ItemKind::TransferJob, ItemKind::Folder})
    if (ItemKindName(k) == name) return k;
  return std::nullopt;
}

std::string RestorableText(const ChangeSetManifest& manifest) {
  bool any = false, partly = false;
  for (const auto& item : manifest.items) {
    if (item.failed) continue;  // its change was not made: nothing to put back
    any = true;
    partly = partly || item.partial;
  }
  return !any ? "no" : partly ? "partly" : "yes";
}

std::string ManifestToJson(const ChangeSetManifest& manifest) {
  json items = json::array();
  for (const auto& item : manifest.items) items.push_back(ItemJson(item));
  const json j = {{"format", manifest.format},         {"id", TextJson(manifest.id)},
                  {"created", TextJson(manifest.created)}, {"page", TextJson(manifest.page)},
                  {"action", TextJson(manifest.action)}, {"items", std::move(items)}};
  return j.dump(1, '\t') + "\n";
}

std::optional<ChangeSetManifest> ManifestFromJson(std::string_view text, std::string* error) {
  const json j = json::parse(text.begin(), text.end(), nullptr, false);
  if (j.is_discarded()) {
    if (error) *error = "the manifest is not valid JSON";
    return std::nullopt;
  }
  try {
    ChangeSetManifest m;
    m.format = Number<int>(j, "format");
    if (m.format != kManifestFormat) throw BadManifest("the manifest is of an unknown format");
    m.id = Text(j, "id");
    m.created = Text(j, "created");
    m.page = Text(j, "page");
    m.action = Text(j, "action");
    for (const auto& item : Array(j, "items")) m.items.push_back(ItemFrom(item));
    return m;
  } catch (const BadManifest& e) {
    if (error) *error = e.what();
  } catch (const json::exception& e) {
    if (error) *error = e.what();
  }
  return std::nullopt;
}

std::string ItemJournalLine(const BackupItem& item) { return ItemJson(item).dump() + "\n"; }

std::string FailedJournalLine(std::size_t index, bool failed) {
  return json{{"item", index}, {"failed", failed}}.dump() + "\n";
}

std::optional<std::vector<BackupItem>> ItemsFromJournal(std::string_view journal, std::string* error) {
  std::vector<BackupItem> items;
  std::size_t lines = 0;
  std::size_t start = 0;
  for (std::size_t end; (end = journal.find('\n', start)) != std::string_view::npos; start = end + 1) {
    const std::string_view line = journal.substr(start, end - start);
    const json j = json::parse(line.begin(), line.end(), nullptr, false);
    try {
      if (j.is_discarded()) throw BadManifest("it is not valid JSON");
      if (j.is_object() && j.contains("item") && !j.contains("kind")) {
        // What became of an item's write.
        const std::size_t index = Number<std::size_t>(j, "item");
        if (index >= items.size()) throw BadManifest("it names an item that is not there");
        if (!Field(j, "failed").is_boolean()) throw BadManifest("the field failed is not true or false");
        items[index].failed = Flag(j, "failed");
      } else {
        items.push_back(ItemFrom(j));
      }
      ++lines;
    } catch (const std::exception& e) {
      if (error) *error = "line " + std::to_string(lines + 1) + " of the journal is damaged: " + e.what();
      return std::nullopt;
    }
  }
  return items;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::optional<std::vector<uint8_t>> BytesFromHex(std::string_view hex) {
  if (hex.size() % 2) return std::nullopt;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<uint8_t> out(hex.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int hi = digit(hex[2 * i]), lo = digit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return out;
}

std::string SizeText(uint64_t bytes) {
  char buf[64];
  if (bytes < 1024) {
    std::snprintf(buf, sizeof buf, "%llu bytes", static_cast<unsigned long long>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::snprintf(buf, sizeof buf, "%.1f KB", static_cast<double>(bytes) / 1024.0);
  } else {
    std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  }
  return buf;
}

}  // namespace wl::undo
