#include "undo/manifest_json.h"

#include "undo/backup_manifest.h"

namespace wl::undo::manifest {
namespace {

// Registry keys nest at most 512 deep; a deeper document is not ours.
constexpr int kMaxTreeDepth = 512;

bool IsStrictUtf8(const std::string& s) {
  try {
    (void)json(s).dump();
    return true;
  } catch (const json::exception&) {
    return false;
  }
}

RegTreeCopy TreeAt(const json& j, int depth) {
  if (depth > kMaxTreeDepth) throw BadManifest("the key tree is nested too deeply");
  RegTreeCopy t;
  t.name = Text(j, "name");
  for (const auto& v : Array(j, "values")) t.values.push_back(ValueFrom(v));
  for (const auto& k : Array(j, "keys")) t.keys.push_back(TreeAt(k, depth + 1));
  return t;
}

}  // namespace

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

std::optional<std::string> TextAfter(const json& j, const char* field) {
  if (!j.contains(field)) return std::nullopt;
  return TextFrom(j[field], field);
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

RegTreeCopy TreeFrom(const json& j) { return TreeAt(j, 0); }

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

void PlaceToJson(const RegPlace& place, json& j) {
  j["root"] = TextJson(place.root);
  j["key"] = TextJson(place.key);
  j["view"] = TextJson(place.view);
}

RegPlace PlaceFrom(const json& j) {
  RegPlace place;
  place.root = Text(j, "root");
  place.key = Text(j, "key");
  place.view = Text(j, "view");
  if (place.view != "default" && place.view != "64" && place.view != "32")
    throw BadManifest("an item names an unknown registry view");
  return place;
}

void StoreEntryToJson(const StoreEntry& e, json& j) {
  j["path"] = TextJson(e.store);
  j["entry"] = TextJson(e.entry);
  j["existed"] = e.existed;
  if (e.existed) j["text"] = TextJson(e.text);
  if (e.textAfter) j["textAfter"] = TextJson(*e.textAfter);
}

StoreEntry StoreEntryFrom(const json& j) {
  StoreEntry e;
  e.store = Text(j, "path");
  e.entry = Text(j, "entry");
  e.existed = Flag(j, "existed");
  if (e.existed) e.text = Text(j, "text");
  e.textAfter = TextAfter(j);
  return e;
}

}  // namespace wl::undo::manifest
