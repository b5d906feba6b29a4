#include "undo/backup_manifest.h"

#include <cstdio>
#include <type_traits>

#include "undo/manifest_json.h"

namespace wl::undo {
namespace {

using manifest::json;

json ItemJson(const BackupItem& item) {
  using namespace manifest;
  json j = {{"kind", std::string(item.KindName())},
            {"operation", TextJson(item.operation)},
            {"description", TextJson(item.description)},
            {"partial", item.partial}};
  if (item.failed) j["failed"] = true;
  std::visit([&j](const auto& change) { change.ToJson(j); }, item.change);
  return j;
}

BackupItem ItemFrom(const json& j) {
  using namespace manifest;
  const std::string kind = Text(j, "kind");
  Change (*read)(const json&) = nullptr;
  AnyKind([&]<class Kind>() {
    if (Kind::kName != kind) return false;
    read = [](const json& from) -> Change { return Kind::FromJson(from); };
    return true;
  });
  if (!read) throw BadManifest("an item is of an unknown kind");
  BackupItem item;
  item.operation = Text(j, "operation");
  item.description = Text(j, "description");
  item.partial = Flag(j, "partial");
  item.failed = Flag(j, "failed");
  item.change = read(j);
  return item;
}

}  // namespace

std::string_view BackupItem::KindName() const {
  return std::visit([](const auto& change) { return std::decay_t<decltype(change)>::kName; }, change);
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
  using undo::manifest::TextJson;
  json items = json::array();
  for (const auto& item : manifest.items) items.push_back(ItemJson(item));
  const json j = {{"format", manifest.format},         {"id", TextJson(manifest.id)},
                  {"created", TextJson(manifest.created)}, {"page", TextJson(manifest.page)},
                  {"action", TextJson(manifest.action)}, {"items", std::move(items)}};
  return j.dump(1, '\t') + "\n";
}

std::optional<ChangeSetManifest> ManifestFromJson(std::string_view text, std::string* error) {
  using namespace manifest;
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
  using namespace manifest;
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
