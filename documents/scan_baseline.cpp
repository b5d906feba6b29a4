#include "documents/scan_baseline.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <unordered_map>

namespace wl {
namespace {

using Json = nlohmann::json;

bool IsBaselineField(const std::string& key) {
  const auto& fields = BaselineFields();
  return std::find(fields.begin(), fields.end(), key) != fields.end();
}

// The compared fields of a scan item as its document would hold them (the
// last of two details of one key, as written).
std::vector<std::pair<std::string, std::string>> CurrentFields(const ScanItem& item) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& field : BaselineFields())
    for (auto d = item.details.rbegin(); d != item.details.rend(); ++d)
      if (d->first == field) {
        out.emplace_back(field, AsWrittenInDocument(d->second));
        break;
      }
  return out;
}

// The fields both have that differ, with the baseline's text.
std::vector<std::pair<std::string, std::string>> Differences(const BaselineItem& was,
                                                             const std::vector<std::pair<std::string, std::string>>& now) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [field, text] : was.fields)
    for (const auto& [nowField, nowText] : now)
      if (nowField == field && nowText != text) out.emplace_back(field, text);
  return out;
}

std::string Quoted(const std::string& key) { return "\"" + key + "\""; }

}  // namespace

const std::vector<std::string>& BaselineFields() {
  static const std::vector<std::string> fields = {"value", "command", "path", "sha256", "verdict"};
  return fields;
}

bool ReadBaseline(const std::string& bytes, Baseline& out, std::string& error) {
  out = {};
  if (bytes.size() > kMaxBaselineBytes) {
    error = "too large for a scan document (" + std::to_string(bytes.size()) + " bytes)";
    return false;
  }
  const Json doc = Json::parse(bytes, nullptr, false);
  if (doc.is_discarded()) {
    error = "not a JSON document (damaged or cut short)";
    return false;
  }
  if (!doc.is_object()) {
    error = "not a scan document: not a JSON object";
    return false;
  }
  const auto program = doc.find("program");
  if (program == doc.end() || !program->is_string() || program->get_ref<const std::string&>() != "Wardenlake") {
    error = "not a scan document of Wardenlake: no \"program\": \"Wardenlake\" (save one with "
            "\"wlscan scan --format json\")";
    return false;
  }
  // Documents written before the layout had a version are of the first one.
  if (const auto version = doc.find("formatVersion"); version != doc.end()) {
    if (!version->is_number_integer()) {
      error = "\"formatVersion\" is not a whole number";
      return false;
    }
    if (version->get<long long>() != kScanFormatVersion) {
      error = "written in format " + std::to_string(version->get<long long>()) + "; this wlscan reads format " +
              std::to_string(kScanFormatVersion);
      return false;
    }
  }
  if (doc.contains("baseline")) {
    error = "lists only what was new or changed since another baseline; save a whole scan as the baseline";
    return false;
  }
  Baseline read;
  for (const char* key : {"computer", "time"}) {
    const auto at = doc.find(key);
    if (at == doc.end()) continue;
    if (!at->is_string()) {
      error = Quoted(key) + " is not a text";
      return false;
    }
    (std::string(key) == "computer" ? read.computer : read.time) = at->get<std::string>();
  }
  const auto items = doc.find("items");
  if (items == doc.end() || !items->is_array()) {
    error = "not a scan document: it has no \"items\" list";
    return false;
  }
  read.items.reserve(items->size());
  for (std::size_t n = 0; n < items->size(); ++n) {
    const Json& j = (*items)[n];
    const std::string where = "item " + std::to_string(n + 1);
    if (!j.is_object()) {
      error = where + " is not an object";
      return false;
    }
    BaselineItem item;
    std::string page;
    for (const auto& [key, value] : j.items()) {
      if (key == "reasons") {
        const bool texts = value.is_array() && std::all_of(value.begin(), value.end(), [](const Json& r) {
                             return r.is_string();
                           });
        if (!texts) {
          error = where + ": \"reasons\" is not a list of texts";
          return false;
        }
        continue;
      }
      if (!value.is_string()) {
        error = where + ": " + Quoted(key) + " is not a text";
        return false;
      }
      const std::string& text = value.get_ref<const std::string&>();
      if (key == "id") item.id = text;
      else if (key == "page") page = text;
      else if (IsBaselineField(key)) item.fields.emplace_back(key, text);
    }
    if (item.id.empty() || page.empty()) {
      error = where + " has no \"id\" or \"page\"";
      return false;
    }
    if (!item.id.starts_with(page + "/")) {
      error = where + ": the id " + item.id + " is not of the page " + page;
      return false;
    }
    read.items.push_back(std::move(item));
  }
  out = std::move(read);
  return true;
}

BaselineComparison CompareWithBaseline(const Baseline& baseline, const std::vector<ScanItem>& items) {
  BaselineComparison result;
  result.items.assign(items.size(), SinceBaseline::New);
  result.was.resize(items.size());
  std::unordered_map<std::string, std::vector<std::size_t>> byId;
  for (std::size_t b = 0; b < baseline.items.size(); ++b) byId[baseline.items[b].id].push_back(b);
  std::vector<bool> taken(baseline.items.size(), false);
  std::vector<std::vector<std::pair<std::string, std::string>>> fields(items.size());
  std::vector<const std::vector<std::size_t>*> candidates(items.size(), nullptr);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto found = byId.find(AsWrittenInDocument(items[i].id));
    if (found == byId.end()) continue;
    candidates[i] = &found->second;
    fields[i] = CurrentFields(items[i]);
  }
  // Equal ones first, so that an id listed twice pairs each item with its
  // own entry; what is left of the id's entries is then what changed.
  for (int pass = 0; pass < 2; ++pass)
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (!candidates[i] || (pass == 1 && result.items[i] == SinceBaseline::Same)) continue;
      for (std::size_t b : *candidates[i]) {
        if (taken[b]) continue;
        auto differences = Differences(baseline.items[b], fields[i]);
        if (pass == 0 && !differences.empty()) continue;
        taken[b] = true;
        result.items[i] = pass == 0 ? SinceBaseline::Same : SinceBaseline::Changed;
        result.was[i] = std::move(differences);
        break;
      }
      if (pass == 0 && result.items[i] == SinceBaseline::Same) candidates[i] = nullptr;
    }
  for (SinceBaseline s : result.items) {
    if (s == SinceBaseline::New) ++result.newCount;
    if (s == SinceBaseline::Changed) ++result.changedCount;
  }
  result.goneCount = static_cast<std::size_t>(std::count(taken.begin(), taken.end(), false));
  return result;
}

std::vector<ScanItem> NewAndChangedItems(std::vector<ScanItem> items, const BaselineComparison& comparison) {
  std::vector<ScanItem> out;
  for (std::size_t i = 0; i < items.size() && i < comparison.items.size(); ++i) {
    if (comparison.items[i] == SinceBaseline::Same) continue;
    ScanItem item = std::move(items[i]);
    item.change = comparison.items[i] == SinceBaseline::New ? "new" : "changed";
    item.was = comparison.was[i];
    out.push_back(std::move(item));
  }
  return out;
}

std::string BaselineSummary(const BaselineComparison& comparison, const std::string& file) {
  return std::to_string(comparison.newCount) + " new, " + std::to_string(comparison.changedCount) +
         " changed since " + file;
}

}  // namespace wl
